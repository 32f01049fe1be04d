// The value conventions every form and the server share: trim, GBK length, the year-month test.
#include <QtTest>

#include "schema/values.h"

class ValuesTest : public QObject {
  Q_OBJECT

 private slots:
  void trim_data();
  void trim();
  void gbkLength_data();
  void gbkLength();
  void isYearMonth_data();
  void isYearMonth();
};

void ValuesTest::trim_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("trimmed");
  QTest::newRow("nothing to do") << "abc"
                                 << "abc";
  QTest::newRow("spaces") << "  abc  "
                          << "abc";
  QTest::newRow("tabs, returns, control characters") << QString("\t\r\n\x01 abc\x1f\x0b") << "abc";
  QTest::newRow("inner blanks stay") << " a b\tc "
                                     << "a b\tc";
  QTest::newRow("only blanks") << " \t "
                               << "";
  QTest::newRow("empty") << ""
                         << "";
  QTest::newRow("ideographic space is kept")
      << QStringLiteral("\u3000张三\u3000") << QStringLiteral("\u3000张三\u3000");
  QTest::newRow("character 127 is kept") << QString("abc\x7f") << QString("abc\x7f");
  QTest::newRow("identity number") << " 11010119700101001X\t"
                                   << "11010119700101001X";
}

void ValuesTest::trim() {
  QFETCH(QString, text);
  QFETCH(QString, trimmed);
  QCOMPARE(schema::trim(text), trimmed);
}

void ValuesTest::gbkLength_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("bytes");
  QTest::newRow("ascii") << "198001" << 6;
  QTest::newRow("chinese") << QStringLiteral("三个字") << 6;
  QTest::newRow("mixed") << QStringLiteral("无a") << 3;
  QTest::newRow("full-width digits") << QStringLiteral("１９８") << 6;
  QTest::newRow("empty") << "" << 0;
}

void ValuesTest::gbkLength() {
  QFETCH(QString, text);
  QFETCH(int, bytes);
  QCOMPARE(schema::gbkLength(text), bytes);
}

void ValuesTest::isYearMonth_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("passes");
  QTest::newRow("year-month") << "198001" << true;
  QTest::newRow("padded") << "  198001\t" << true;
  QTest::newRow("any six letters") << "abcdef" << true;
  QTest::newRow("three chinese characters") << QStringLiteral("无无无") << true;
  QTest::newRow("placeholder alone") << QStringLiteral("无") << false;
  QTest::newRow("with a dash") << "1980-01" << false;
  QTest::newRow("five") << "19801" << false;
  QTest::newRow("empty") << "" << false;
  QTest::newRow("inner blank counts") << "1980 1" << true;
}

void ValuesTest::isYearMonth() {
  QFETCH(QString, text);
  QFETCH(bool, passes);
  QCOMPARE(schema::isYearMonth(text), passes);
}

QTEST_GUILESS_MAIN(ValuesTest)
#include "tst_values.moc"
