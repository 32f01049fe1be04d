// UTF-8 checked as Qt checks it: well-formed sequences pass; overlong forms, surrogates, code
// points past U+10FFFF, stray or missing continuation bytes fail, wherever they stand.
#include <QRandomGenerator>
#include <QtTest>

#include "protocol/utf8.h"

class Utf8Test : public QObject {
  Q_OBJECT

 private slots:
  void judged_data();
  void judged();
  void agreesWithQtOnRandomBytes();
};

void Utf8Test::judged_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<bool>("valid");
  const QByteArray ascii = "identity 110101197001010011";  // longer than a word
  QTest::newRow("empty") << QByteArray() << true;
  QTest::newRow("ascii") << ascii << true;
  QTest::newRow("two bytes") << QByteArray("\xc2\x80\xdf\xbf") << true;
  QTest::newRow("three bytes") << QStringLiteral("张三，汉族").toUtf8() << true;
  QTest::newRow("four bytes") << QStringLiteral("𠀀𪚥😀").toUtf8() << true;
  QTest::newRow("edges") << QByteArray("\xe0\xa0\x80\xed\x9f\xbf\xee\x80\x80\xf4\x8f\xbf\xbf")
                         << true;
  QTest::newRow("nul") << QByteArray("a\0b", 3) << true;
  QTest::newRow("overlong two") << QByteArray("\xc0\x80") << false;
  QTest::newRow("overlong c1") << QByteArray("\xc1\xbf") << false;
  QTest::newRow("overlong three") << QByteArray("\xe0\x9f\xbf") << false;
  QTest::newRow("overlong four") << QByteArray("\xf0\x8f\xbf\xbf") << false;
  QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80") << false;
  QTest::newRow("past 10FFFF") << QByteArray("\xf4\x90\x80\x80") << false;
  QTest::newRow("f5 lead") << QByteArray("\xf5\x80\x80\x80") << false;
  QTest::newRow("ff") << QByteArray("\xff") << false;
  QTest::newRow("lone continuation") << QByteArray("\x80") << false;
  QTest::newRow("cut at the end") << ascii + QByteArray("\xe5\xbc") << false;
  QTest::newRow("ascii where a continuation is due") << QByteArray("\xe5\x41\x80") << false;
  QTest::newRow("bad byte after a word") << ascii.left(8) + QByteArray("\xff") << false;
  QTest::newRow("bad byte in a word") << QByteArray(
                                             "abc\xff"
                                             "defghijk")
                                      << false;
  QTest::newRow("bad byte last") << ascii + QByteArray("\xc0") << false;
}

void Utf8Test::judged() {
  QFETCH(QByteArray, bytes);
  QFETCH(bool, valid);
  QCOMPARE(protocol::isValidUtf8(bytes), valid);
  QCOMPARE(QUtf8StringView(bytes).isValidUtf8(), valid);
}

// Short runs of bytes drawn mostly from the ranges UTF-8 is made of, so that near misses are
// common: both judgements agree on every one.
void Utf8Test::agreesWithQtOnRandomBytes() {
  QRandomGenerator random(7);
  const QByteArray pool = QByteArray(
      "az\x7f\x80\x8f\x90\x9f\xa0\xbf\xc0\xc1\xc2\xdf\xe0\xe1\xec\xed\xee\xef\xf0\xf1"
      "\xf3\xf4\xf5\xff");
  int valid = 0;
  for (int i = 0; i < 200000; ++i) {
    QByteArray bytes(random.bounded(1, 13), Qt::Uninitialized);
    for (char& b : bytes) b = pool[random.bounded(int(pool.size()))];
    const bool qt = QUtf8StringView(bytes).isValidUtf8();
    valid += qt;
    QVERIFY2(protocol::isValidUtf8(bytes) == qt, bytes.toHex().constData());
  }
  QVERIFY(valid > 1000);  // the draw reaches well-formed texts too
}

QTEST_GUILESS_MAIN(Utf8Test)
#include "tst_utf8.moc"
