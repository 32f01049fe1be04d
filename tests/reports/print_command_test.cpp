// `staffinfo print` against a real server: one PDF per person, all persons in one file, every
// person, a person with gaps in their record printed with those values empty, and the persons
// that could not be printed named with a failing exit status.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "tests/reports/print_support.h"
#include "tests/support/test_server.h"

using namespace print_test;

namespace {

const QString kAdmin = QStringLiteral("110101199001010000");
const QString kFirst = QStringLiteral("110101198001010011");
const QString kSecond = QStringLiteral("110101198001010022");
const QString kNoWycd = QStringLiteral("110101198001010033");
const QString kInfoOnly = QStringLiteral("110101198001010044");
const QString kUnknown = QStringLiteral("999999999999999999");

struct Run {
  int exitCode = -1;
  QString errors;  // standard error
};

}  // namespace

class PrintCommandTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QVERIFY(server_.addAccount(kAdmin, QStringLiteral("管理员"), 0, QStringLiteral("secret")));
    QVERIFY(server_.addAccount(kFirst, QStringLiteral("第一"), 2, QStringLiteral("pw")));
    // The accounts wrote the `info` rows.
    seed(server_, {kAdmin, QStringLiteral("a"), {"info"}});
    seed(server_, {kFirst, QStringLiteral("f"), {"info"}});
    seed(server_, {kSecond, QStringLiteral("s"), {}, 1, {}, QStringLiteral("第二")});
    seed(server_, {kNoWycd, QStringLiteral("w"), {"wycd"}});
    // An account alone, as an import writes it: the `info` row and nothing else.
    QVERIFY(server_.addAccount(kInfoOnly, QStringLiteral("仅信息"), 2, QStringLiteral("pw")));
  }

  void init() { QVERIFY(out_.isValid()); }

  void onePdfPerPersonNamedByIdentityNumber() {
    const QString folder = out_.filePath(QStringLiteral("each"));
    const Run run = print({"--out", folder, kFirst, QStringLiteral(" %1 ").arg(kSecond)});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.errors.contains(QStringLiteral("2/2")));
    QCOMPARE(QDir(folder).entryList(QDir::Files),
             (QStringList{kFirst + QStringLiteral(".pdf"), kSecond + QStringLiteral(".pdf")}));
    const QList<Word> second = words(QDir(folder).filePath(kSecond + QStringLiteral(".pdf")));
    QCOMPARE(pageCount(second), 2);
    QCOMPARE(pagesOf(second, QStringLiteral("第二")), QList<int>{1});
    QCOMPARE(pagesOf(second, historyValue("s", "jwpx", 1, "gj")), QList<int>{2});
    QVERIFY(find(second, QStringLiteral("第一")).isEmpty());
  }

  void oneFileHoldsEveryPersonInTurn() {
    const QString file = out_.filePath(QStringLiteral("all.pdf"));
    const Run run = print({"--one-file", "--out", file, kSecond, kFirst});
    QCOMPARE(run.exitCode, 0);
    const QList<Word> printed = words(file);
    // Each person starts on a page of their own.
    QCOMPARE(pageCount(printed), 4);
    QCOMPARE(pagesOf(printed, QStringLiteral("教职工基本信息表")), (QList<int>{1, 3}));
    QCOMPARE(pagesOf(printed, QStringLiteral("第二")), QList<int>{1});
    QCOMPARE(pagesOf(printed, QStringLiteral("第一")), QList<int>{3});
  }

  // A person with gaps in their record is printed; only one found nowhere is named as not printed.
  void personsNotPrintedAreNamed_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("printed");
    QTest::addColumn<QStringList>("named");
    QTest::newRow("an unknown person")
        << QStringList{kFirst, kUnknown} << QStringList{kFirst} << QStringList{kUnknown};
    QTest::newRow("a person without a wycd row")
        << QStringList{kNoWycd, kSecond} << QStringList{kNoWycd, kSecond} << QStringList{};
    QTest::newRow("every person") << QStringList{"--all"}
                                  << QStringList{kAdmin, kFirst, kSecond, kNoWycd, kInfoOnly}
                                  << QStringList{};
  }

  void personsNotPrintedAreNamed() {
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, printed);
    QFETCH(QStringList, named);
    const QString folder = out_.filePath(QString::fromLatin1(QTest::currentDataTag()));
    const Run run = print(QStringList{"--out", folder} + arguments);
    QCOMPARE(run.exitCode, named.isEmpty() ? 0 : 1);
    QStringList files;
    for (const QString& id : printed) files << id + QStringLiteral(".pdf");
    files.sort();
    QCOMPARE(QDir(folder).entryList(QDir::Files), files);
    const QString summary = run.errors.trimmed().split(u'\n').last();
    for (const QString& id : named) QVERIFY2(summary.contains(id), qPrintable(run.errors));
    for (const QString& id : printed) QVERIFY2(!summary.contains(id), qPrintable(run.errors));
  }

  // A person with an `info` row alone prints as the preview shows them: the name, and the other
  // tables' values empty rather than those of the person printed before.
  void personWithOnlyAnInfoRowPrintsEmptyValues() {
    const QString folder = out_.filePath(QStringLiteral("info-only"));
    const Run run = print({"--out", folder, kFirst, kInfoOnly});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.errors.contains(kInfoOnly + QStringLiteral(" 的记录不全")) &&
                 run.errors.contains(QStringLiteral("wycd信息不存在")),
             qPrintable(run.errors));
    const QList<Word> printed = words(QDir(folder).filePath(kInfoOnly + QStringLiteral(".pdf")));
    QCOMPARE(pagesOf(printed, QStringLiteral("仅信息")), QList<int>{1});
    QVERIFY(find(printed, value("f", "wycd", "zgxl")).isEmpty());
    QVERIFY(find(printed, historyValue("f", "jwpx", 1, "gj")).isEmpty());
  }

  void anOrdinaryUserPrintsOnlyTheirOwnRecord() {
    const QString folder = out_.filePath(QStringLiteral("own"));
    const Run own = print({"--out", folder, kFirst}, kFirst, QStringLiteral("pw"));
    QCOMPARE(own.exitCode, 0);
    const Run other = print({"--out", folder, kSecond}, kFirst, QStringLiteral("pw"));
    QCOMPARE(other.exitCode, 1);
    QVERIFY(other.errors.contains(kSecond));
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{kFirst + QStringLiteral(".pdf")});
  }

  void printingThatCannotStart_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("password");
    QTest::newRow("no --out") << QStringList{kFirst} << "secret";
    QTest::newRow("no person") << QStringList{"--out", out_.filePath("none")} << "secret";
    QTest::newRow("wrong password")
        << QStringList{"--out", out_.filePath("none"), kFirst} << "wrong";
  }

  void printingThatCannotStart() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, password);
    QCOMPARE(print(arguments, kAdmin, password).exitCode, 2);
    QVERIFY(!QFileInfo::exists(out_.filePath("none")));
  }

 private:
  // Runs `staffinfo print` as `user`, the password on standard input.
  Run print(const QStringList& arguments, const QString& user = kAdmin,
            const QString& password = QStringLiteral("secret")) {
    QProcess process;
    process.start(
        qEnvironmentVariable("STAFFINFO_CLIENT_BIN"),
        QStringList{"print", "--server", server_.host() + u':' + QString::number(server_.port()),
                    "--user", user} +
            arguments);
    process.write((password + u'\n').toUtf8());
    process.closeWriteChannel();
    if (!process.waitForFinished(120000)) return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
  }

  TestServer server_;
  QTemporaryDir out_;
};

QTEST_MAIN(PrintCommandTest)
#include "print_command_test.moc"
