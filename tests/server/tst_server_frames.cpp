// Bad bytes on one connection end that connection only; the greeting is checked; a request
// missing a field or holding one of another type is refused and changes nothing; the number of
// connections is capped; the log tells a goodbye from a failure and ignores probes.
#include <QRandomGenerator>
#include <QtEndian>
#include <QtTest>

#include "protocol/frame.h"
#include "tests/server/requests.h"

using namespace requests;

namespace {

const QString kAdmin = QStringLiteral("110000000000000000");

QByteArray header(quint32 length) {
  QByteArray bytes(4, Qt::Uninitialized);
  qToBigEndian(length, bytes.data());
  return bytes;
}

QByteArray frameOf(const QByteArray& body) { return header(quint32(body.size())) + body; }

}  // namespace

class ServerFramesTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void badBytesEndOnlyThatConnection_data();
  void badBytesEndOnlyThatConnection();
  void stalledFrameBlocksNobody();
  void greetingIsChecked_data();
  void greetingIsChecked();
  void malformedRequestsAreRefused_data();
  void malformedRequestsAreRefused();
  void connectionsAreCapped();
  void goodbyesAndProbesInTheLog();

 private:
  void verifyServing();

  std::unique_ptr<TestServer> server_;
  std::unique_ptr<WireClient> bystander_;
};

void ServerFramesTest::initTestCase() {
  // Every client here comes from one address, most of them never signing in: let them hold
  // every place of a server of 256.
  server_ = std::make_unique<TestServer>(
      QString(), QStringList{"--max-connections", "256", "--max-per-address", "1000",
                             "--max-unsigned", "1000"});
  QVERIFY2(server_->running(), qPrintable(server_->log()));
  QVERIFY(server_->addAccount(kAdmin, QStringLiteral("管理员"), 0, QStringLiteral("admin")));
  bystander_ = signedIn(*server_, kAdmin, QStringLiteral("admin"));
  QVERIFY(bystander_);
}

// The connection that was there all along still works, and so does a new one.
void ServerFramesTest::verifyServing() {
  QVERIFY(server_->running());
  QVERIFY(bystander_->open(provider(QStringLiteral("DataSetProvider_count"))).ok());
  WireClient fresh;
  QVERIFY(fresh.connectTo(server_->host(), server_->port()));
  QVERIFY(fresh.signIn(kAdmin, QStringLiteral("admin")).ok());
}

void ServerFramesTest::badBytesEndOnlyThatConnection_data() {
  QTest::addColumn<bool>("signIn");
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<bool>("hangUp");  // the client closes after sending; else the server must
  QByteArray random(4096, Qt::Uninitialized);
  QRandomGenerator generator(7);
  for (char& b : random) b = char(generator.bounded(256));
  QTest::newRow("truncated frame") << false << (header(100) + QByteArray(10, 'x')) << true;
  QTest::newRow("random bytes") << false << random << false;
  QTest::newRow("random bytes, signed in") << true << random << false;
  QTest::newRow("huge length") << true << (header(0xFFFFFFF0u) + "abc") << false;
  QTest::newRow("over the limit") << true << header(protocol::kMaxFrameBytes + 1) << false;
  QTest::newRow("big before sign-in") << false << header(1024 * 1024) << false;
  QTest::newRow("not CBOR") << true << frameOf(QByteArray(16, '\xff')) << false;
  QTest::newRow("CBOR but not a map")
      << true << frameOf(QCborValue(QCborArray{1, 2}).toCbor()) << false;
  QTest::newRow("empty frame") << false << header(0) << false;
  QTest::newRow("bytes after the map")
      << true << frameOf(QCborValue(QCborMap{{"op", "draw"}, {"table", "shgx"}}).toCbor() + "\x01")
      << false;
}

void ServerFramesTest::badBytesEndOnlyThatConnection() {
  QFETCH(bool, signIn);
  QFETCH(QByteArray, bytes);
  QFETCH(bool, hangUp);
  {
    WireClient bad;
    QVERIFY(bad.connectTo(server_->host(), server_->port()));
    if (signIn) QVERIFY(bad.signIn(kAdmin, QStringLiteral("admin")).ok());
    QVERIFY(bad.sendRaw(bytes));
    if (!hangUp) QVERIFY(bad.waitForClosed(10000));
  }
  verifyServing();
}

void ServerFramesTest::stalledFrameBlocksNobody() {
  WireClient stalled;
  QVERIFY(stalled.connectTo(server_->host(), server_->port()));
  QVERIFY(stalled.sendRaw(header(50) + "partial"));
  verifyServing();
}

void ServerFramesTest::greetingIsChecked_data() {
  QTest::addColumn<QCborMap>("greeting");
  QTest::addColumn<QString>("error");
  QTest::newRow("other object") << protocol::Hello{QStringLiteral("rirev.other"), 1}.toCbor()
                                << "服务器对象不存在：rirev.other";
  QTest::newRow("other version") << protocol::Hello{protocol::kServerObject, 1}.toCbor()
                                 << "协议版本不受支持：1";
  QTest::newRow("version as text")
      << QCborMap{{"op", "hello"}, {"object", protocol::kServerObject}, {"version", "2"}}
      << "请求格式错误：version 的类型不对";
  QTest::newRow("sign-in first")
      << protocol::SignInRequest{kAdmin, QStringLiteral("admin")}.toCbor() << "连接须以 hello 开始";
}

void ServerFramesTest::greetingIsChecked() {
  QFETCH(QCborMap, greeting);
  QFETCH(QString, error);
  WireClient client;
  QVERIFY(client.connectTo(server_->host(), server_->port(), false));
  const std::optional<QCborMap> reply = client.call(greeting);
  QVERIFY(reply);
  QCOMPARE(protocol::replyError(*reply), std::optional<QString>(error));
  QVERIFY(client.waitForClosed(10000));
}

void ServerFramesTest::malformedRequestsAreRefused_data() {
  QTest::addColumn<QCborMap>("request");
  QTest::addColumn<QString>("error");
  const QCborMap info{{"provider", "DataSetProvider_info"}};
  const auto change = [](const QCborValue& values) {
    return QCborMap{{"kind", "insert"}, {"rid", 0}, {"original", QCborMap{}}, {"values", values}};
  };
  const auto applying = [&](const QCborValue& changes) {
    QCborMap part = info;
    part.insert(QStringLiteral("changes"), changes);
    return QCborMap{{"op", "apply"}, {"parts", QCborArray{part}}};
  };
  const QCborMap good{{"id", "MALFORMED"}, {"name", "x"}};
  QTest::newRow("apply without parts") << QCborMap{{"op", "apply"}} << "请求格式错误：缺少 parts";
  QTest::newRow("apply with no part")
      << QCborMap{{"op", "apply"}, {"parts", QCborArray{}}} << "保存请求中没有任何修改";
  QTest::newRow("parts not a list")
      << QCborMap{{"op", "apply"}, {"parts", info}} << "请求格式错误：parts 的类型不对";
  QTest::newRow("part without provider")
      << QCborMap{{"op", "apply"}, {"parts", QCborArray{QCborMap{{"changes", QCborArray{}}}}}}
      << "请求格式错误：缺少 provider";
  QTest::newRow("part without changes")
      << QCborMap{{"op", "apply"}, {"parts", QCborArray{info}}} << "请求格式错误：缺少 changes";
  QTest::newRow("changes not a list")
      << applying(change(good)) << "请求格式错误：changes 的类型不对";
  QTest::newRow("values not a map")
      << applying(QCborArray{change(QCborArray{})}) << "请求格式错误：values 的类型不对";
  QCborMap nested = good;
  nested.insert(QStringLiteral("name"), QCborMap{{"a", 1}});
  QTest::newRow("a map as a value")
      << applying(QCborArray{change(nested)}) << "请求格式错误：values 的类型不对";
  QCborMap real = good;
  real.insert(QStringLiteral("name"), 1.5);
  QTest::newRow("a double as a value")
      << applying(QCborArray{change(real)}) << "请求格式错误：values 的类型不对";
  QCborMap noKind = change(good);
  noKind.remove(QStringLiteral("kind"));
  QTest::newRow("change without kind") << applying(QCborArray{noKind}) << "请求格式错误：缺少 kind";
  QTest::newRow("open without provider")
      << QCborMap{{"op", "open"}} << "请求格式错误：缺少 provider";
  QTest::newRow("params not a list") << QCborMap{{"op", "open"},
                                                 {"provider", "DataSetProvider_search"},
                                                 {"text", "select 1"},
                                                 {"params", "x"}}
                                     << "请求格式错误：params 的类型不对";
  QTest::newRow("draw without table") << QCborMap{{"op", "draw"}} << "请求格式错误：缺少 table";
  QTest::newRow("sign-in id as a number")
      << QCborMap{{"op", "signin"}, {"id", 1}, {"password", "admin"}}
      << "请求格式错误：id 的类型不对";
}

// Each is answered with its fault; nothing is written and the connection goes on.
void ServerFramesTest::malformedRequestsAreRefused() {
  QFETCH(QCborMap, request);
  QFETCH(QString, error);
  const QString written = QStringLiteral("select count(*) from info where id='MALFORMED'");
  const std::optional<QCborMap> reply = bystander_->call(request);
  QVERIFY(reply);
  QCOMPARE(protocol::replyError(*reply), std::optional<QString>(error));
  QCOMPARE(server_->sql(written).value(0).value(0).toInt(), 0);
  verifyServing();
}

void ServerFramesTest::connectionsAreCapped() {
  constexpr int kCap = 256;
  std::vector<std::unique_ptr<WireClient>> clients;
  // The bystander holds one place already.
  while (int(clients.size()) < kCap - 1) {
    clients.push_back(std::make_unique<WireClient>());
    QVERIFY(clients.back()->connectTo(server_->host(), server_->port()));
  }
  WireClient extra;
  QVERIFY(extra.connectTo(server_->host(), server_->port(), false));
  const std::optional<QCborMap> refusal = extra.readReply();
  QVERIFY(refusal);
  QCOMPARE(protocol::replyError(*refusal),
           std::optional<QString>(QStringLiteral("服务器连接数已满，请稍后再试")));
  QVERIFY(extra.waitForClosed(10000));

  clients.clear();
  for (int attempt = 0; attempt < 100; ++attempt) {
    WireClient again;
    if (again.connectTo(server_->host(), server_->port())) break;
    QTest::qWait(50);
  }
  verifyServing();
}

// A client that says bye and hangs up at once is logged as a goodbye, not a failed send; a
// connection that sends nothing (a readiness probe) leaves no line.
void ServerFramesTest::goodbyesAndProbesInTheLog() {
  quint16 probe = 0;
  {
    QTcpSocket socket;
    socket.connectToHost(server_->host(), server_->port());
    QVERIFY(socket.waitForConnected(5000));
    probe = socket.localPort();
  }
  WireClient leaving;
  QVERIFY(leaving.connectTo(server_->host(), server_->port()));
  QVERIFY(leaving.signIn(kAdmin, QStringLiteral("admin")).ok());
  QVERIFY(leaving.sendRaw(protocol::encodeFrame(QCborMap{{"op", "bye"}})));
  leaving.hangUp();
  QTRY_VERIFY_WITH_TIMEOUT(server_->log().contains(QStringLiteral(" disconnected (goodbye)")),
                           10000);
  QVERIFY(!server_->log().contains(QStringLiteral("send failed")));
  verifyServing();
  QVERIFY(!server_->log().contains(QStringLiteral(":%1 ").arg(probe)));
}

QTEST_GUILESS_MAIN(ServerFramesTest)
#include "tst_server_frames.moc"
