// Open replies written and read as a stream of frames: the same bytes and values as the map form
// of each frame, whole or in batches, the same refusals, and malformed bytes refused.
#include <QtEndian>
#include <QtTest>

#include "protocol/frame.h"
#include "protocol/packet_stream.h"

using protocol::Packet;
Q_DECLARE_METATYPE(Packet)

namespace {

// A packet as text that tells null, integer and text apart.
QStringList describe(const Packet& p) {
  QStringList out{QStringLiteral("columns ") + p.columns.join(u'|')};
  for (const QVariantList& row : p.rows) {
    QString line = QStringLiteral("row");
    for (const QVariant& v : row)
      line += v.isNull()
                  ? QStringLiteral(" null")
                  : QStringLiteral(" %1:%2").arg(QLatin1StringView(v.typeName()), v.toString());
    out << line;
  }
  for (qint64 rid : p.rids) out << QStringLiteral("rid %1").arg(rid);
  return out;
}

QByteArray body(const QCborValue& value) { return value.toCbor(); }

// One frame of a reply built as a CBOR tree, value by value: the reference the stream must
// equal. `rows` and `rids` are the frame's share; the first frame names the columns.
QCborMap mapForm(const Packet& p, qsizetype from, qsizetype count, bool first, bool more) {
  QCborArray rows;
  for (qsizetype r = from; r < from + count; ++r) {
    QCborArray values;
    for (const QVariant& v : p.rows[r]) values.append(protocol::toCbor(v));
    rows.append(values);
  }
  QCborArray rids;
  for (qsizetype r = from; r < from + count && r < p.rids.size(); ++r) rids.append(p.rids[r]);
  QCborMap m = protocol::okReply();
  if (first) m[QStringLiteral("columns")] = QCborArray::fromStringList(p.columns);
  m[QStringLiteral("rows")] = rows;
  m[QStringLiteral("rids")] = rids;
  m[QStringLiteral("more")] = more;
  return m;
}

Packet fromMapForm(const QCborMap& m) {
  Packet p;
  for (const QCborValue& c : m.value(QStringLiteral("columns")).toArray())
    p.columns << c.toString();
  for (const QCborValue& row : m.value(QStringLiteral("rows")).toArray()) {
    QVariantList values;
    for (const QCborValue& v : row.toArray()) values << protocol::fromCbor(v);
    p.rows << values;
  }
  for (const QCborValue& rid : m.value(QStringLiteral("rids")).toArray()) p.rids << rid.toInteger();
  return p;
}

}  // namespace

class PacketStreamTest : public QObject {
  Q_OBJECT

 private slots:
  void sameAsTheMapForm_data();
  void sameAsTheMapForm();
  void otherEncodingsReadAlike_data();
  void otherEncodingsReadAlike();
  void refusalsAsToday_data();
  void refusalsAsToday();
  void malformedIsRefused_data();
  void malformedIsRefused();
  void cutShortIsRefused();
};

void PacketStreamTest::sameAsTheMapForm_data() {
  QTest::addColumn<Packet>("packet");
  QTest::addColumn<bool>("canonical");  // values already null, qint64 or QString
  const qint64 kMin = std::numeric_limits<qint64>::min(), kMax = std::numeric_limits<qint64>::max();
  QTest::newRow("nothing") << Packet{} << true;
  QTest::newRow("no rows") << Packet{{"id", "name"}, {}, {}} << true;
  QTest::newRow("odd values") << Packet{{"a", "b", "c"},
                                        {{QVariant(), QString(""), QStringLiteral("张三，汉族")},
                                         {qint64(0), kMin, kMax},
                                         {qint64(-1), qint64(24), qint64(1) << 32},
                                         {QString(300, u'无'), QString(u'x'), QVariant()},
                                         {QStringLiteral("𠀀𪚥😀"), QString(70000, u'长'),
                                          qint64(7)}},
                                        {1, kMax, 0, 4, 9}}
                              << true;
  QTest::newRow("other kinds travel as integer or text")
      << Packet{{"n"}, {{int(7)}, {true}, {uint(9)}, {1.5}, {QDate(2001, 2, 3)}}, {}} << false;
}

// Whole, and one row to a frame: each frame is the bytes of its map form, and the frames read
// back as the packet.
void PacketStreamTest::sameAsTheMapForm() {
  QFETCH(Packet, packet);
  QFETCH(bool, canonical);
  for (qsizetype batch : {qsizetype(256 * 1024), qsizetype(1)}) {
    const QList<QByteArray> frames = protocol::encodePacketFrames(packet, batch);
    const qsizetype perFrame = batch == 1 ? 1 : packet.rows.size();
    QCOMPARE(frames.size(), std::max<qsizetype>(1, perFrame ? packet.rows.size() / perFrame : 1));
    QList<QByteArray> bodies;
    for (qsizetype f = 0; f < frames.size(); ++f) {
      const bool last = f + 1 == frames.size();
      const qsizetype count = last ? packet.rows.size() - f * perFrame : perFrame;
      QCOMPARE(frames[f],
               protocol::encodeFrame(mapForm(packet, f * perFrame, count, f == 0, !last)));
      QCOMPARE(qFromBigEndian<quint32>(frames[f].constData()), quint32(frames[f].size() - 4));
      bodies << frames[f].mid(4);
    }
    const protocol::PacketReply reply = protocol::readPacketReply(bodies);
    QVERIFY2(reply.packet, qPrintable(reply.error));
    if (canonical) QCOMPARE(describe(*reply.packet), describe(packet));
    if (frames.size() == 1)
      QCOMPARE(describe(*reply.packet),
               describe(fromMapForm(QCborValue::fromCbor(bodies.front()).toMap())));
  }
}

// Encodings the server does not write but CBOR allows (lengths not given, texts in chunks, longer
// heads than needed, entries of no interest) read as the map form reads them.
void PacketStreamTest::otherEncodingsReadAlike_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::newRow("lengths not given, texts in chunks, long heads") << QByteArray::fromHex(
      "bf 626f6b f5  67636f6c756d6e73 9f 6161 6162 ff"
      "  64726f7773 9f 9f 7f 63e5bca0 63e4b889 ff 1805 ff  82 f6 190007  ff"
      "  6472696473 9f 01 3b0000000000000001 ff  646d6f7265 f4 ff");
  QTest::newRow("entries of no interest") << QByteArray::fromHex(
      "a6 626f6b f5  01 820102"
      "  656578747261 a1 6178 84 c101 f93e00 4100 5f4101ff"
      "  67636f6c756d6e73 816161  64726f7773 818120  646d6f7265 f4");
}

void PacketStreamTest::otherEncodingsReadAlike() {
  QFETCH(QByteArray, bytes);
  const protocol::PacketReply reply = protocol::readPacketReply(bytes);
  QVERIFY2(reply.packet, qPrintable(reply.error));
  QCOMPARE(describe(*reply.packet), describe(fromMapForm(QCborValue::fromCbor(bytes).toMap())));
}

void PacketStreamTest::refusalsAsToday_data() {
  QTest::addColumn<QCborMap>("reply");
  QTest::newRow("error reply") << protocol::errorReply(QStringLiteral("无权读取该表"));
  QTest::newRow("empty reason") << protocol::errorReply(QString());
  QTest::newRow("no ok") << QCborMap{{"columns", QCborArray{"a"}}};
  QTest::newRow("ok not a bool") << QCborMap{{"ok", 1}, {"error", "x"}};
  QTest::newRow("reason after rows")
      << QCborMap{{"rows", QCborArray{}}, {"ok", false}, {"error", "晚到的原因"}};
}

void PacketStreamTest::refusalsAsToday() {
  QFETCH(QCborMap, reply);
  const protocol::PacketReply read = protocol::readPacketReply(body(reply));
  QVERIFY(!read.packet);
  QVERIFY(!read.malformed);
  QCOMPARE(read.error, *protocol::replyError(reply));
}

void PacketStreamTest::malformedIsRefused_data() {
  QTest::addColumn<QByteArray>("bytes");
  const auto ok = [](const QString& key, const QCborValue& value) {
    return body(QCborMap{{"ok", true}, {"columns", QCborArray{"a"}}, {key, value}});
  };
  QTest::newRow("empty") << QByteArray();
  QTest::newRow("not CBOR") << QByteArray(8, '\xff');
  QTest::newRow("an array") << body(QCborArray{true});
  QTest::newRow("columns not texts") << ok("columns", QCborArray{1});
  QTest::newRow("row not an array") << ok("rows", QCborArray{1});
  QTest::newRow("value a double") << ok("rows", QCborArray{QCborArray{1.5}});
  QTest::newRow("value a bool") << ok("rows", QCborArray{QCborArray{false}});
  QTest::newRow("value an array") << ok("rows", QCborArray{QCborArray{QCborArray{}}});
  QTest::newRow("row too short") << ok("rows", QCborArray{QCborArray{}});
  QTest::newRow("rid per row or none") << ok("rids", QCborArray{1});
  QTest::newRow("rid a text") << body(QCborMap{{"ok", true}, {"rids", QCborArray{"1"}}});
  QTest::newRow("bad UTF-8") << ok("rows", QCborArray{}).replace("a", "\xff");
  QTest::newRow("integer over qint64")
      << ok("rows", QCborArray{}).replace("\x80", QByteArray::fromHex("81811b8000000000000000"));
  QTest::newRow("integer under qint64")
      << ok("rows", QCborArray{}).replace("\x80", QByteArray::fromHex("81813b8000000000000000"));
  QTest::newRow("huge length, few bytes")
      << ok("rows", QCborArray{}).replace("\x80", "\x9b\x7f\xff\xff\xff\xff\xff\xff\xff\x80");
  QTest::newRow("value tagged") << ok("rows", QCborArray{QCborArray{QCborValue(QCborTag(1), 5)}});
  QTest::newRow("break outside a list") << ok("rows", QCborArray{}).replace("\x80", "\xff");
  QTest::newRow("text chunk not a text")
      << ok("rows", QCborArray{}).replace("\x80", QByteArray::fromHex("81817f4161ff"));
  QTest::newRow("entry nested past any reason")
      << QByteArray::fromHex("a2 626f6b f5 6178") + QByteArray(100000, '\x81') + '\x01';
}

void PacketStreamTest::malformedIsRefused() {
  QFETCH(QByteArray, bytes);
  const protocol::PacketReply read = protocol::readPacketReply(bytes);
  QVERIFY(!read.packet);
  QVERIFY(read.malformed);
  QCOMPARE(read.error, protocol::kUnreadableFrame);
}

void PacketStreamTest::cutShortIsRefused() {
  const Packet packet{{"a", "b"}, {{QStringLiteral("张三"), qint64(1) << 40}}, {7}};
  const QByteArray whole = protocol::encodePacketFrames(packet).front().mid(4);
  for (qsizetype n = 0; n < whole.size(); ++n)
    QVERIFY2(protocol::readPacketReply(whole.left(n)).malformed, qPrintable(QString::number(n)));
  QVERIFY(protocol::readPacketReply(whole).packet);

  // A reply of several frames: stopped by the server with its reason, or ending before the last.
  const Packet three{{"a"}, {{qint64(1)}, {qint64(2)}, {qint64(3)}}, {}};
  const QList<QByteArray> frames = protocol::encodePacketFrames(three, 1);
  QCOMPARE(frames.size(), 3);
  const protocol::PacketReply stopped = protocol::readPacketReply(
      {frames[0].mid(4), body(protocol::errorReply(QStringLiteral("查询时间过长，已中止")))});
  QVERIFY(!stopped.packet && !stopped.malformed);
  QCOMPARE(stopped.error, QStringLiteral("查询时间过长，已中止"));
  QVERIFY(protocol::readPacketReply({frames[0].mid(4), frames[1].mid(4)}).malformed);
}

QTEST_GUILESS_MAIN(PacketStreamTest)
#include "tst_packet_stream.moc"
