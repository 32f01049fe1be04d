// Every message's encoding, pinned byte for byte for the protocol version that has it. A change
// of shape fails here: give the wire a new version (protocol::kVersion) and pin the new bytes
// under it, so that a client and a server of different shapes refuse each other at hello
// instead of misreading each other.
#include <QtTest>

#include "protocol/frame.h"
#include "protocol/packet_stream.h"
#include "protocol/request_reader.h"

namespace {

constexpr int kPinnedVersion = 3;

using protocol::Change;

protocol::OpenRequest textSource() {
  return {QStringLiteral("DataSetProvider_search"),
          QStringLiteral("select id from info where id=?"),
          {qint64(-1), QStringLiteral("甲"), QVariant()},
          std::nullopt};
}

}  // namespace

class WireShapesTest : public QObject {
  Q_OBJECT

 private slots:
  void encodingsArePinned_data();
  void encodingsArePinned();
  void requestsReadBack();
};

void WireShapesTest::encodingsArePinned_data() {
  QTest::addColumn<QList<QByteArray>>("frames");
  QTest::addColumn<QByteArray>("pinned");  // hex of the frames, one after another

  const auto one = [](const QCborMap& m) { return QList<QByteArray>{protocol::encodeFrame(m)}; };
  protocol::Packet packet{{QStringLiteral("id"), QStringLiteral("序号")},
                          {{QStringLiteral("X"), qint64(7)}, {QVariant(), qint64(-2)}},
                          {1, 2}};
  const protocol::ApplyRequest apply{
      {{textSource(),
        {Change{Change::Kind::Insert, 0, {}, {{"id", QStringLiteral("X")}, {"n", qint64(1)}}},
         Change{Change::Kind::Update, 5, {{"id", QStringLiteral("X")}}, {{"n", QVariant()}}},
         Change{Change::Kind::Delete, 6, {{"id", QStringLiteral("Y")}}, {}}}},
       {{QStringLiteral("DataSetProvider_info"), {}, {}, QStringLiteral("X")}, {}}}};

  QTest::newRow("hello")
      << one(protocol::Hello{}.toCbor())
      << QByteArray(
             "0000002ba3626f706568656c6c6f666f626a6563747072697265762e72697265765f717276746776"
             "657273696f6e03");
  QTest::newRow("signin")
      << one(protocol::SignInRequest{QStringLiteral("X"), QStringLiteral("密")}.toCbor())
      << QByteArray("0000001da3626f70667369676e696e62696461586870617373776f726463e5af86");
  QTest::newRow("open by key")
      << one(protocol::OpenRequest{
             QStringLiteral("DataSetProvider_info"), {}, {}, QStringLiteral("X")}
                 .toCbor())
      << QByteArray(
             "0000002da3626f70646f70656e6870726f7669646572744461746153657450726f76696465725f69"
             "6e666f636b65796158");
  QTest::newRow("open with text")
      << one(textSource().toCbor())
      << QByteArray(
             "0000005ca4626f70646f70656e6870726f7669646572764461746153657450726f76696465725f73"
             "65617263686474657874781e73656c6563742069642066726f6d20696e666f207768657265206964"
             "3d3f66706172616d73832063e794b2f6");
  QTest::newRow("apply")
      << one(apply.toCbor())
      << QByteArray(
             "0000011da2626f70656170706c7965706172747382a46870726f7669646572764461746153657450"
             "726f76696465725f7365617263686474657874781e73656c6563742069642066726f6d20696e666f"
             "2077686572652069643d3f66706172616d73832063e794b2f6676368616e67657383a4646b696e64"
             "66696e736572746372696400686f726967696e616ca06676616c756573a26269646158616e01a464"
             "6b696e64667570646174656372696405686f726967696e616ca162696461586676616c756573a161"
             "6ef6a4646b696e646664656c6574656372696406686f726967696e616ca162696461596676616c75"
             "6573a0a36870726f7669646572744461746153657450726f76696465725f696e666f636b65796158"
             "676368616e67657380");
  QTest::newRow("draw") << one(protocol::DrawRequest{QStringLiteral("shgx")}.toCbor())
                        << QByteArray("00000014a2626f706464726177657461626c656473686778");
  QTest::newRow("review") << one(protocol::ReviewRequest{QStringLiteral("X")}.toCbor())
                          << QByteArray("00000014a2626f706672657669657766706572736f6e6158");
  QTest::newRow("review reply") << one(protocol::ReviewReply{true}.toCbor())
                                << QByteArray("0000000fa2626f6bf5687265766965776564f5");
  QTest::newRow("bye") << one(protocol::byeRequest()) << QByteArray("00000008a1626f7063627965");
  QTest::newRow("ok") << one(protocol::okReply()) << QByteArray("00000005a1626f6bf5");
  QTest::newRow("error") << one(protocol::errorReply(QStringLiteral("不行")))
                         << QByteArray("00000012a2626f6bf4656572726f7266e4b88de8a18c");
  QTest::newRow("signin reply")
      << one(protocol::SignInReply{protocol::SignInOutcome::SignedIn, 1}.toCbor())
      << QByteArray("0000001da3626f6bf5676f7574636f6d65697369676e65642d696e64726f6c6501");
  QTest::newRow("apply reply") << one(protocol::ApplyReply{{3, 4}}.toCbor())
                               << QByteArray("00000011a2626f6bf568696e736572746564820304");
  QTest::newRow("draw reply") << one(protocol::DrawReply{9}.toCbor())
                              << QByteArray("0000000ca2626f6bf56576616c756509");
  QTest::newRow("open reply")
      << protocol::encodePacketFrames(packet, 1)
      << QByteArray(
             "0000002fa5626f6bf567636f6c756d6e738262696466e5ba8fe58fb764726f777381826158076472"
             "6964738101646d6f7265f50000001ba4626f6bf564726f77738182f62164726964738102646d6f72"
             "65f4");
}

void WireShapesTest::encodingsArePinned() {
  QFETCH(QList<QByteArray>, frames);
  QFETCH(QByteArray, pinned);
  QCOMPARE(protocol::kVersion, kPinnedVersion);
  QCOMPARE(frames.join().toHex(), pinned);
}

// What each request writes, the server reads back whole, and names its op first (the server
// sorts writes from reads by that alone).
void WireShapesTest::requestsReadBack() {
  const auto read = [](const QCborMap& message) {
    QString error;
    const QByteArray body = QCborValue(message).toCbor();
    std::optional<protocol::Request> request =
        protocol::readRequest(body, protocol::ListLimits{}, &error);
    if (!request) qWarning() << error;
    if (request && protocol::leadingOp(body) != request->op) {
      qWarning() << "op not first:" << protocol::leadingOp(body);
      return std::optional<protocol::Request>();
    }
    return request;
  };
  const QCborMap opLater{{QStringLiteral("object"), 1}, {QStringLiteral("op"), "apply"}};
  QCOMPARE(protocol::leadingOp(QCborValue(opLater).toCbor()), QString());
  QCOMPARE(protocol::leadingOp(QByteArray("\xa1\x62op", 4)), QString());
  QVERIFY(std::holds_alternative<protocol::Hello>(read(protocol::Hello{}.toCbor())->body));
  QVERIFY(std::holds_alternative<protocol::SignInRequest>(
      read(protocol::SignInRequest{"a", "b"}.toCbor())->body));
  QVERIFY(std::holds_alternative<protocol::DrawRequest>(
      read(protocol::DrawRequest{"shgx"}.toCbor())->body));
  QVERIFY(std::holds_alternative<protocol::ByeRequest>(read(protocol::byeRequest())->body));
  QVERIFY(std::holds_alternative<protocol::ReviewRequest>(
      read(protocol::ReviewRequest{"X"}.toCbor())->body));
  const std::optional<protocol::Request> open = read(textSource().toCbor());
  QVERIFY(open);
  QCOMPARE(std::get<protocol::OpenRequest>(open->body).params, textSource().params);
  const protocol::ApplyRequest apply{
      {{textSource(), {Change{Change::Kind::Update, 5, {{"id", "X"}}, {{"n", QVariant()}}}}}}};
  const std::optional<protocol::Request> applied = read(apply.toCbor());
  QVERIFY(applied);
  const Change& change =
      std::get<protocol::ApplyRequest>(applied->body).parts.value(0).changes.value(0);
  QCOMPARE(change.rid, 5);
  QCOMPARE(change.original, apply.parts[0].changes[0].original);
  QCOMPARE(change.values, apply.parts[0].changes[0].values);
}

QTEST_GUILESS_MAIN(WireShapesTest)
#include "tst_wire_shapes.moc"
