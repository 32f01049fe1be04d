// The printed record through its only door, 打印 on the records page, against a real server:
// the preview's document saved as PDF and read back with pdftotext. Which tables were found,
// where the texts stand, the record reports running over pages, and nothing carried over from
// an earlier print.
#include <QAction>
#include <QApplication>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "records/jlkh.h"
#include "schema/tables.h"
#include "shell/forms.h"
#include "shell/signin.h"
#include "tests/reports/print_support.h"
#include "tests/support/client/client_fixture.h"

using namespace print_test;

namespace {

const QString kAdmin = QStringLiteral("110101199001010000");
const QString kFull = QStringLiteral("110101198001010011");
const QString kFullName = QStringLiteral("张三丰");
const QString kNoInfo = QStringLiteral("110101198001010022");
const QString kNoWycd = QStringLiteral("110101198001010033");
const QString kNoGrjs = QStringLiteral("110101198001010044");
const QString kSpaced = QStringLiteral("110101198001010055");
const QString kNoHistory = QStringLiteral("110101198001010066");
const QString kManyRows = QStringLiteral("110101198001010077");
const QString kOwn = QStringLiteral("110101198001010088");

const QStringList kTitles = {"教职工奖惩考核表", "教职工社会关系",     "教职工个人履历表",
                             "教职工受教育情况", "教职工境内培训情况", "教职工境外培训情况"};

QString missing(const char* table) {
  return QString::fromLatin1(table) + QStringLiteral("信息不存在，请联系相关负责人!");
}

bool near(double a, double b) { return qAbs(a - b) < 1; }

// The texts standing at (x, y) on `page`, within a pixel.
QStringList textsAt(const QList<Word>& words, int page, double x, double y) {
  QStringList found;
  for (const Word& w : words)
    if (w.page == page && near(w.x, x) && near(w.y, y)) found << w.text;
  return found;
}

// Whether any word on `page` (0: any page) begins with `tag`: a value seeded for that person.
bool anyValueOf(const QList<Word>& words, const QString& tag, int page = 0) {
  return std::any_of(words.begin(), words.end(), [&](const Word& w) {
    return (page == 0 || w.page == page) && w.text.startsWith(tag);
  });
}

// The first column after `id`: the value the tests look for in each one-row table.
QString firstValueColumn(const QString& table) { return schema::table(table)->columnNames()[1]; }

}  // namespace

class PrintTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    fixture_.addAccount(kAdmin, QStringLiteral("管理员"), 0, QStringLiteral("secret"));
    seed(fixture_.server, {kFull, QStringLiteral("f"), {}, 1, {}, kFullName});
    seed(fixture_.server, {kNoInfo, QStringLiteral("i"), {"info"}});
    seed(fixture_.server, {kNoWycd, QStringLiteral("w"), {"wycd"}});
    seed(fixture_.server, {kNoGrjs, QStringLiteral("g"), {"grjs"}});
    seed(fixture_.server, {kSpaced, QStringLiteral("s"), {}, 1, kSpaced + QStringLiteral("  ")});
    seed(fixture_.server, {kNoHistory, QStringLiteral("n"), {}, 0});
    seed(fixture_.server, {kManyRows, QStringLiteral("m"), {}, 40});
    fixture_.signIn(kAdmin, QStringLiteral("secret"));
  }

  void tablesWithoutThePersonsRow_data() {
    QTest::addColumn<QString>("person");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("printedTables");
    QTest::addColumn<QStringList>("emptyTables");
    QTest::addColumn<bool>("historyPrinted");
    QTest::newRow("all ten tables")
        << kFull << "f" << QStringList() << QStringList{"wycd", "grjs"} << QStringList() << true;
    QTest::newRow("no info row: the loading goes on")
        << kNoInfo << "i" << QStringList{missing("info")} << QStringList{"wycd", "zyjs", "grjs"}
        << QStringList{"info"} << true;
    QTest::newRow("no wycd row: the loading ends")
        << kNoWycd << "w" << QStringList{missing("wycd")} << QStringList{"info"}
        << QStringList{"wycd", "other_info", "grjs"} << false;
    QTest::newRow("no grjs row") << kNoGrjs << "g" << QStringList{missing("grjs")}
                                 << QStringList{"info", "zyjs"} << QStringList{"grjs"} << false;
    QTest::newRow("stored id with trailing spaces")
        << kSpaced << "s" << QStringList() << QStringList{"info", "wycd", "grjs"} << QStringList()
        << true;
  }

  void tablesWithoutThePersonsRow() {
    QFETCH(QString, person);
    QFETCH(QString, tag);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, printedTables);
    QFETCH(QStringList, emptyTables);
    QFETCH(bool, historyPrinted);

    int previewPages = 0;
    const QList<Word> printed = print(person, &previewPages);
    QCOMPARE(fixture_.dialogs.messages, messages);
    QCOMPARE(fixture_.dialogs.errors, QStringList());
    // The sheet fills page 1; the six reports follow in order on page 2.
    QCOMPARE(previewPages, 2);
    QCOMPARE(pageCount(printed), 2);
    QCOMPARE(pagesOf(printed, QStringLiteral("教职工基本信息表")), QList<int>{1});
    QList<double> titleTops;
    for (const QString& title : kTitles) {
      QCOMPARE(pagesOf(printed, title), QList<int>{2});
      titleTops << find(printed, title).first().y;
    }
    QVERIFY(std::is_sorted(titleTops.begin(), titleTops.end()));

    // The first value column of each table: `id` comes first, so column 1.
    for (const QString& table : printedTables)
      QVERIFY2(find(printed, value(tag, table, firstValueColumn(table))).size() == 1,
               qPrintable(table));
    for (const QString& table : emptyTables)
      QVERIFY2(find(printed, value(tag, table, firstValueColumn(table))).isEmpty(),
               qPrintable(table));
    QCOMPARE(!find(printed, historyValue(tag, "jwpx", 1, "gj")).isEmpty(), historyPrinted);
  }

  void textsStandWhereTheyBelong_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("page");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    // Page 1: the detail band starts under the 40 px title band.
    auto sheet = [](const char* name, const QString& text, double x, double y) {
      QTest::newRow(name) << text << 1 << x << 40 + y;
    };
    sheet("heading 基本信息", "基本信息", 23, 6);
    sheet("caption 姓名", "姓名", 24, 32);
    sheet("info.name", kFullName, 96, 32);
    sheet("info.id", kFull, 96, 56);
    sheet("caption 最高学历", "最高学历", 21, 208);
    sheet("最高学历 prints zgxl", value("f", "wycd", "zgxl"), 125, 208);
    sheet("caption 最高学位", "最高学位", 21, 280);
    sheet("最高学位 prints zgxw", value("f", "wycd", "zgxw"), 125, 280);
    sheet("caption 普通话等级", "普通话等级", 365, 304);
    sheet("gwxx.gwzgzs under its caption", value("f", "gwxx", "gwzgzs"), 125, 656);
    sheet("sub-title", "教职工职务职称与工资福利表", 206, 737);
    sheet("grjs.sj_gr", value("f", "grjs", "sj_gr"), 469, 949);
    // Page 2: title band 35 px, column-header band 33 px, detail bands 43 px.
    QTest::newRow("report title") << "教职工奖惩考核表" << 2 << 256.0 << 8.0;
    QTest::newRow("column heading 称号") << "称号" << 2 << 24.0 << 35.0 + 16;
    QTest::newRow("称号 prints ch")
        << historyValue("f", "jzgjckh", 1, "ch") << 2 << 32.0 << 68.0 + 16;
    QTest::newRow("next report right below") << "教职工社会关系" << 2 << 256.0 << 111.0 + 8;
    QTest::newRow("education column 学位授予国家")
        << historyValue("f", "jyqk", 1, "xwgj") << 2 << 536.0 << 3 * 111.0 + 68 + 16;
  }

  void textsStandWhereTheyBelong() {
    QFETCH(QString, text);
    QFETCH(int, page);
    QFETCH(double, x);
    QFETCH(double, y);
    if (full_.isEmpty()) full_ = print(kFull);
    QVERIFY2(textsAt(full_, page, x, y).contains(text),
             qPrintable(QStringLiteral("%1 not at (%2, %3); found at: %4")
                            .arg(text)
                            .arg(x)
                            .arg(y)
                            .arg(where(full_, text))));
  }

  void educationLeavesOutItsNote() {
    const QList<Word> printed = print(kFull);
    for (const char* column :
         {"rxny", "byny", "byxx", "xl", "zy", "xxfs", "xw", "xwsj", "xwgj", "xwdw"})
      QVERIFY2(!find(printed, historyValue("f", "jyqk", 1, column)).isEmpty(), column);
    QVERIFY(find(printed, historyValue("f", "jyqk", 1, "xlsm")).isEmpty());
  }

  void withoutHistoryRowsTitlesAndHeadingsStillPrint() {
    const QList<Word> printed = print(kNoHistory);
    QCOMPARE(pageCount(printed), 2);
    for (const QString& text : kTitles + QStringList{"称号", "学位授予国家", "国家/地区"})
      QCOMPARE(pagesOf(printed, text), QList<int>{2});
    QVERIFY(anyValueOf(printed, QStringLiteral("n"), 1));
    QVERIFY(!anyValueOf(printed, QStringLiteral("n"), 2));
  }

  void manyRowsRunOverPagesUnderRepeatedHeadings() {
    const QList<Word> printed = print(kManyRows);
    // 22 rows of 43 px fit under the 68 px of title and headings on page 2; the other 18 go on
    // page 3 under the headings again, and the next report starts right below them.
    QCOMPARE(pagesOf(printed, QStringLiteral("教职工奖惩考核表")), QList<int>{2});
    QCOMPARE(pagesOf(printed, QStringLiteral("称号")), (QList<int>{2, 3}));
    QVERIFY(near(find(printed, QStringLiteral("称号")).last().y, 16));
    QList<std::pair<int, double>> rowTops;
    for (int row = 1; row <= 40; ++row) {
      const QList<Word> found = find(printed, historyValue("m", "jzgjckh", row, "ch"));
      QCOMPARE(found.size(), 1);
      rowTops.append({found.first().page, found.first().y});
    }
    QVERIFY(std::is_sorted(rowTops.begin(), rowTops.end()));
    QCOMPARE(rowTops[21].first, 2);
    QCOMPARE(rowTops[22].first, 3);
    QVERIFY(near(rowTops[22].second, 33 + 16));
    const Word next = find(printed, QStringLiteral("教职工社会关系")).first();
    QCOMPARE(next.page, 3);
    QVERIFY(near(next.y, 33 + 18 * 43 + 8));
  }

  void chineseIsTextInEmbeddedFonts() {
    const QString path = dir_.filePath(QStringLiteral("chinese.pdf"));
    const QList<Word> printed = print(kFull, nullptr, path);
    for (const QString& text : {QStringLiteral("身份证号"), QStringLiteral("教职工基本信息表"),
                                QStringLiteral("工人技术等级情况"), kFullName})
      QVERIFY2(!find(printed, text).isEmpty(), qPrintable(text));
    const QStringList faces = fonts(path);
    QVERIFY(!faces.isEmpty());
    for (const QString& face : faces)
      QVERIFY2(face.contains(QStringLiteral(" yes ")), qPrintable(face));
    QVERIFY(faces.join(u'\n').contains(QStringLiteral("UKai")));
  }

  void aPrintShowsNothingOfTheOneBefore() {
    print(kFull);
    const QList<Word> printed = print(kNoWycd);
    QCOMPARE(fixture_.dialogs.messages, QStringList{missing("wycd")});
    QVERIFY(!anyValueOf(printed, QStringLiteral("f")));
    QVERIFY(find(printed, kFullName).isEmpty());
    QCOMPARE(find(printed, value("w", "info", "mz")).size(), 1);
  }

  void printsThePersonThePageShows() {
    SignIn::state().currentPersonId = kFull;
    forms::show(u"khjl");
    // Another person is chosen in the main window while the page stays open.
    SignIn::state().currentPersonId = kNoWycd;
    const QList<Word> printed = clickPrint(dir_.filePath(QStringLiteral("shown.pdf")));
    forms::close(u"khjl");
    QCOMPARE(fixture_.dialogs.messages, QStringList());
    QCOMPARE(find(printed, kFullName).size(), 1);
    QVERIFY(!anyValueOf(printed, QStringLiteral("w")));
  }

  void anOrdinaryUserPrintsTheirOwnRecord() {
    fixture_.restart();
    fixture_.addAccount(kOwn, QStringLiteral("本人"), 2);
    seed(fixture_.server, {kOwn, QStringLiteral("o"), {"info"}});
    fixture_.signIn(kOwn, QStringLiteral("pw"));
    const QList<Word> printed = print(kOwn);
    QCOMPARE(fixture_.dialogs.errors, QStringList());
    QCOMPARE(fixture_.dialogs.messages, QStringList());
    QCOMPARE(find(printed, QStringLiteral("本人")).size(), 1);
    QCOMPARE(find(printed, historyValue("o", "jwpx", 1, "gj")).size(), 1);
  }

 private:
  // Prints `person` as a user does: their records page shown, 打印 (see clickPrint).
  QList<Word> print(const QString& person, int* previewPages = nullptr, const QString& path = {}) {
    SignIn::state().currentPersonId = person;
    forms::show(u"khjl");
    const QList<Word> printed = clickPrint(
        path.isEmpty() ? dir_.filePath(person + QStringLiteral(".pdf")) : path, previewPages);
    forms::close(u"khjl");
    return printed;
  }

  // 打印 on the records page opens the preview, whose 保存为PDF writes the document to `path`;
  // the preview is then closed. Returns the PDF's words; `previewPages` gets the number of
  // pages the preview showed.
  QList<Word> clickPrint(const QString& path, int* previewPages = nullptr) {
    QFile::remove(path);
    fixture_.dialogs.clear();
    fixture_.dialogs.fileNames.enqueue(path);
    int pages = -1;
    QObject scope;  // the check below never outlives this print
    QTimer::singleShot(0, &scope, [&] {
      auto* preview = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
      if (!preview) return;
      pages = preview->findChild<QPrintPreviewWidget*>()->pageCount();
      preview->findChild<QAction*>(QStringLiteral("savePdf"))->trigger();
      preview->reject();
    });
    static_cast<Tkhjl*>(forms::find(u"khjl"))->BitBtn3->click();
    if (previewPages) *previewPages = pages;
    return words(path);
  }

  static QString where(const QList<Word>& words, const QString& text) {
    QStringList places;
    for (const Word& w : find(words, text))
      places << QStringLiteral("p%1 (%2, %3)").arg(w.page).arg(w.x, 0, 'f', 1).arg(w.y, 0, 'f', 1);
    return places.join(u' ');
  }

  ClientFixture fixture_;
  QTemporaryDir dir_;
  QList<Word> full_;
};

QTEST_MAIN(PrintTest)
#include "print_test.moc"
