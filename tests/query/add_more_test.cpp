// The batch import against a real server: the checks and the preview, what is written and what
// is not, the file formats, which rows of which sheet are read, cancelling, and a refused batch.
#include "query/add_more.h"

#include <xlsxwriter.h>

#include <QLineEdit>
#include <QPushButton>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

#include "query/account_import.h"
#include "shell/forms.h"
#include "shell/main.h"
#include "shell/remote_dataset.h"
#include "tests/records/page_support.h"
#include "tests/support/client/client_fixture.h"
#include "tests/support/wire_client.h"

using page_test::rows;

namespace {

const QString kAdmin = QStringLiteral("110101199001011234");
const QString kExisting = QStringLiteral("120101199001011234");
const QVariantList kHeading = {"姓名", "身份证号", "密码", "权限"};

using Sheet = QList<QVariantList>;  // a number cell is an int or double, a text cell a QString

Tmore_add* form() { return static_cast<Tmore_add*>(forms::find(u"more_add")); }

// Writes an xlsx workbook the way spreadsheet programs do (texts in the shared strings).
void writeXlsx(const QString& path, const QList<Sheet>& sheets, int active = 0) {
  lxw_workbook* book = workbook_new(QFile::encodeName(path).constData());
  for (int s = 0; s < sheets.size(); ++s) {
    lxw_worksheet* sheet = workbook_add_worksheet(book, nullptr);
    if (s == active) worksheet_activate(sheet);
    for (int r = 0; r < sheets[s].size(); ++r)
      for (int c = 0; c < sheets[s][r].size(); ++c) {
        const QVariant& v = sheets[s][r][c];
        if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::Double)
          worksheet_write_number(sheet, r, c, v.toDouble(), nullptr);
        else if (!v.toString().isEmpty())
          worksheet_write_string(sheet, r, c, v.toString().toUtf8().constData(), nullptr);
      }
  }
  QCOMPARE(workbook_close(book), LXW_NO_ERROR);
}

QString fixture(const char* name) {
  return QFINDTESTDATA(QStringLiteral("data/") + QLatin1StringView(name));
}

// Account as stored: role, and the name in `info`; "<no row>" when absent.
QString stored(TestServer& server, const QString& id) {
  const QList<QVariantList> account =
      server.sql(QStringLiteral("select qx from user_name where id=?"), {id});
  if (account.isEmpty()) return QStringLiteral("<no row>");
  return account.first().first().toString() + u' ' + page_test::stored(server, "info", "name", id);
}

bool signsIn(const TestServer& server, const QString& id, const QString& password) {
  WireClient client;
  if (!client.connectTo(server.host(), server.port())) return false;
  const Answer<protocol::SignInReply> reply = client.signIn(id, password);
  return reply.ok() && reply->outcome == protocol::SignInOutcome::SignedIn;
}

}  // namespace

class AddMoreTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    fixture_.addAccount(kAdmin, QStringLiteral("管理员"), 0, QStringLiteral("secret"));
    fixture_.signIn(kAdmin, QStringLiteral("secret"));
    QVERIFY(dir_.isValid());
  }

  void init() {
    fixture_.server.sql(QStringLiteral("delete from user_name where id<>?"), {kAdmin});
    fixture_.server.sql(QStringLiteral("delete from info where id<>?"), {kAdmin});
    fixture_.addAccount(kExisting, QStringLiteral("旧名"), 0, QStringLiteral("old"));
    fixture_.dialogs.clear();
    fixture_.dialogs.cancelAfter = -1;
    fixture_.dialogs.onPreview = nullptr;
    forms::show(u"more_add");
  }

  void noPathAsksForOne() {
    form()->edit1->setText(QStringLiteral("  "));
    form()->button2->click();
    QCOMPARE(fixture_.dialogs.messages, QStringList{"请选择要导入的文件!"});
    QVERIFY(fixture_.dialogs.previews.isEmpty());
  }

  void browseFillsThePath() {
    fixture_.dialogs.fileNames << QStringLiteral("/tmp/某个文件.xlsx");
    form()->Button1->click();
    QCOMPARE(form()->edit1->text(), QStringLiteral("/tmp/某个文件.xlsx"));
  }

  void headingOnlyImportsNothing() {
    const QString path = dir_.filePath(QStringLiteral("heading.xlsx"));
    writeXlsx(path, {{kHeading}});
    form()->edit1->setText(path);
    form()->button2->click();
    QVERIFY(fixture_.dialogs.previews.isEmpty());
    QCOMPARE(fixture_.dialogs.messages,
             QStringList{"批量导入成功!\n新增 0 个，覆盖 0 个，拒绝 0 个。"});
    QCOMPARE(fixture_.server.sql(QStringLiteral("select count(*) from user_name")).first().first(),
             QVariant(2));
  }

  void everyRowCheckedBeforeAnythingIsWritten() {
    const QString path = dir_.filePath(QStringLiteral("checks.xlsx"));
    writeXlsx(path, {{
                        kHeading,
                        {"甲", "330101199001010001", "p1", 2},
                        {"乙", "   ", "p2", 2},
                        {"   ", "", "", ""},
                        {"丙", "330101199001010002", "  ", 1},
                        {"丁", "330101199001010003", "p3", 5},
                        {"戊", "330101199001010004", "p4", "管理员"},
                        {"", "330101199001010005", "p5", 0},
                        {" 甲二 ", " 330101199001010001 ", " p1b ", " 1 "},
                        {"己", kExisting, "new", 2},
                        {"庚", "'", "pq", 2},
                        {"辛", 900000000000001000.0, "p", 2},
                        {QString(67, u'名'), "330101199001010006", "p", 2},
                    }});
    form()->edit1->setText(path);
    form()->button2->click();
    QCOMPARE(fixture_.dialogs.errors, QStringList());
    QCOMPARE(fixture_.dialogs.previews.size(), 1);
    const auto& preview = fixture_.dialogs.previews.first();
    QStringList actions;
    for (const QStringList& row : preview.rows) actions << row[0] + u' ' + row.last();
    QCOMPARE(actions,
             (QStringList{"2 被后面的行覆盖：第 9 行的身份证号与此行相同，以第 9 行为准",
                          "3 拒绝：身份证号为空", "4 空行，略过", "5 拒绝：密码为空",
                          "6 拒绝：权限不是 0、1 或 2", "7 拒绝：权限不是 0、1 或 2",
                          "8 拒绝：姓名为空", "9 新增账户", "10 覆盖已有账户", "11 新增账户",
                          "12 拒绝：身份证号是数字 9.00000000000001e+17，末几位已丢失：请将身份证号"
                          "列设为文本格式，重新输入身份证号后再导入",
                          "13 拒绝：姓名超过 200 字节"}));
    QVERIFY2(
        preview.text.startsWith("共 12 行：新增 2 个，覆盖 1 个，拒绝 7 个，被后面的行覆盖 1 行。"),
        qPrintable(preview.text));
    QCOMPARE(fixture_.dialogs.messages,
             QStringList{"批量导入成功!\n新增 2 个，覆盖 1 个，拒绝 7 个，被后面的行覆盖 1 行。"});

    TestServer& server = fixture_.server;
    QCOMPARE(stored(server, "330101199001010001"), QStringLiteral("1 甲二"));
    for (const char* refused : {"330101199001010002", "330101199001010003", "330101199001010004",
                                "330101199001010005", "330101199001010006", "9.00000000000001e+17"})
      QCOMPARE(stored(server, QString::fromLatin1(refused)), QStringLiteral("<no row>"));
    QCOMPARE(stored(server, kExisting), QStringLiteral("2 己"));
    QCOMPARE(stored(server, "'"), QStringLiteral("2 庚"));
    QCOMPARE(server.sql(QStringLiteral("select count(*) from user_name")).first().first(),
             QVariant(4));
    QVERIFY(signsIn(server, "330101199001010001", "p1b"));
    QVERIFY(signsIn(server, kExisting, "new"));
    // The main list follows the import.
    RemoteDataset& list = *static_cast<Tmain_manage*>(forms::find(u"main_manage"))->search;
    QCOMPARE(list.recordCount(), 4);
  }

  void cancelledPreviewWritesNothing() {
    const QString path = dir_.filePath(QStringLiteral("cancel.xlsx"));
    writeXlsx(path, {{kHeading, {"甲", "330101199001010009", "p", 2}}});
    fixture_.dialogs.previewAnswers << false;
    form()->edit1->setText(path);
    form()->button2->click();
    QCOMPARE(fixture_.dialogs.previews.size(), 1);
    QCOMPARE(fixture_.dialogs.messages, QStringList());
    QCOMPARE(stored(fixture_.server, "330101199001010009"), QStringLiteral("<no row>"));
  }

  void readsEveryFormat_data() {
    QTest::addColumn<QString>("path");
    const Sheet sheet = {kHeading,
                         {"王五", "320101198001010033", "abc", 2},
                         {"赵六", "320101198001010044", " def ", "1"}};
    const QString xlsx = dir_.filePath(QStringLiteral("formats.xlsx"));
    writeXlsx(xlsx, {sheet, {{"不读", "999999999999999999", "x", 0}}}, 1);
    QTest::newRow("xlsx, another sheet active") << xlsx;
    QTest::newRow("xls, another sheet active") << fixture("accounts.xls");
    QTest::newRow("ods") << fixture("accounts.ods");
    const QString csv = QStringLiteral(
        "姓名,身份证号,密码,权限\r\n王五,320101198001010033,abc,2\r\n\"赵六\",320101198001010044,"
        "\" def \",1\r\n");
    const struct {
      const char* name;
      QByteArray bytes;
    } csvs[] = {{"utf8.csv", "\xEF\xBB\xBF" + csv.toUtf8()},
                {"gbk.csv", QStringEncoder("GB18030").encode(csv)}};
    for (const auto& [name, bytes] : csvs) {
      QFile file(dir_.filePath(QString::fromLatin1(name)));
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write(bytes);
      QTest::newRow(name) << file.fileName();
    }
  }

  void readsEveryFormat() {
    QFETCH(QString, path);
    QVERIFY(!path.isEmpty());
    form()->edit1->setText(path);
    form()->button2->click();
    QCOMPARE(fixture_.dialogs.errors, QStringList());
    QCOMPARE(fixture_.dialogs.messages,
             QStringList{"批量导入成功!\n新增 2 个，覆盖 0 个，拒绝 0 个。"});
    QCOMPARE(stored(fixture_.server, "320101198001010033"), QStringLiteral("2 王五"));
    QCOMPARE(stored(fixture_.server, "320101198001010044"), QStringLiteral("1 赵六"));
    QCOMPARE(stored(fixture_.server, "999999999999999999"), QStringLiteral("<no row>"));
    QVERIFY(signsIn(fixture_.server, "320101198001010044", "def"));
  }

  void emptyFirstRowsDoNotCutTheEnd() {
    const QString path = dir_.filePath(QStringLiteral("gaps.xlsx"));
    writeXlsx(
        path,
        {{{}, {}, {}, {"甲", "330101199001010011", "p", 2}, {"乙", "330101199001010012", "p", 2}}});
    form()->edit1->setText(path);
    form()->button2->click();
    QCOMPARE(fixture_.dialogs.previews.first().rows.size(), 4);
    QCOMPARE(fixture_.dialogs.messages,
             QStringList{"批量导入成功!\n新增 2 个，覆盖 0 个，拒绝 0 个。"});
    QCOMPARE(stored(fixture_.server, "330101199001010012"), QStringLiteral("2 乙"));
  }

  void cancelKeepsWholeBatches() {
    Sheet sheet = {kHeading};
    const int count = query::AccountImport::kBatchRows + 5;
    for (int i = 0; i < count; ++i)
      sheet << QVariantList{"人" + QString::number(i), QString::number(440101199001010000LL + i),
                            "p", 2};
    const QString path = dir_.filePath(QStringLiteral("batches.xlsx"));
    writeXlsx(path, {sheet});
    fixture_.dialogs.cancelAfter = 1;
    form()->edit1->setText(path);
    form()->button2->click();
    QCOMPARE(fixture_.dialogs.advances, QList<qint64>{query::AccountImport::kBatchRows});
    QCOMPARE(fixture_.dialogs.messages,
             QStringList{
                 QStringLiteral("导入已取消：已写入 %1 个（新增 %1 个，覆盖 0 个），其余未写入。")
                     .arg(query::AccountImport::kBatchRows)});
    QCOMPARE(
        fixture_.server.sql(QStringLiteral("select count(*) from user_name where id like '4401%'"))
            .first()
            .first(),
        QVariant(query::AccountImport::kBatchRows));
    QCOMPARE(fixture_.server.sql(QStringLiteral("select count(*) from info where id like '4401%'"))
                 .first()
                 .first(),
             QVariant(query::AccountImport::kBatchRows));
  }

  void refusedBatchShowsTheReasonAndNoSuccess() {
    const QString path = dir_.filePath(QStringLiteral("refused.xlsx"));
    writeXlsx(path,
              {{kHeading, {"甲", "330101199001010021", "p", 2}, {"己", kExisting, "new", 2}}});
    // Someone changes the account between the preview and the write.
    fixture_.dialogs.onPreview = [this] {
      fixture_.server.sql(QStringLiteral("update user_name set qx=1 where id=?"), {kExisting});
    };
    form()->edit1->setText(path);
    form()->button2->click();
    QCOMPARE(fixture_.dialogs.messages, QStringList());
    QCOMPARE(fixture_.dialogs.errors.size(), 1);
    QVERIFY2(fixture_.dialogs.errors.first().endsWith(
                 "已写入 0 个（新增 0 个，覆盖 0 个），其余未写入。"),
             qPrintable(fixture_.dialogs.errors.first()));
    QCOMPARE(stored(fixture_.server, "330101199001010021"), QStringLiteral("<no row>"));
    QCOMPARE(stored(fixture_.server, kExisting), QStringLiteral("1 旧名"));
  }

  void unreadableFileIsAnError() {
    form()->edit1->setText(dir_.filePath(QStringLiteral("missing.xlsx")));
    form()->button2->click();
    QCOMPARE(fixture_.dialogs.errors.size(), 1);
    QVERIFY(fixture_.dialogs.previews.isEmpty() && fixture_.dialogs.messages.isEmpty());
  }

  // Runs last: it signs in again, as an administrator of role 1.
  void administratorCannotGiveOrTouchRoleZero() {
    const QString manager = QStringLiteral("130101199001011234");
    fixture_.addAccount(manager, QStringLiteral("教务"), 1, QStringLiteral("m"));
    fixture_.restart();
    fixture_.signIn(manager, QStringLiteral("m"));
    forms::show(u"more_add");
    const QString path = dir_.filePath(QStringLiteral("manager.xlsx"));
    writeXlsx(path, {{kHeading,
                      {"甲", "330101199001010031", "p", 0},
                      {"己", kExisting, "new", 2},
                      {"乙", "330101199001010032", "p", 1}}});
    form()->edit1->setText(path);
    form()->button2->click();
    QCOMPARE(fixture_.dialogs.errors, QStringList());
    QStringList actions;
    for (const QStringList& row : fixture_.dialogs.previews.value(0).rows) actions << row.last();
    QCOMPARE(actions, (QStringList{"拒绝：管理员不能授予超级管理员权限",
                                   "拒绝：管理员不能覆盖超级管理员的账户", "新增账户"}));
    QCOMPARE(stored(fixture_.server, "330101199001010032"), QStringLiteral("1 乙"));
    QCOMPARE(stored(fixture_.server, kExisting), QStringLiteral("0 旧名"));
  }

 private:
  ClientFixture fixture_;
  QTemporaryDir dir_;
};

QTEST_MAIN(AddMoreTest)
#include "add_more_test.moc"
