// The main window against a real server: who is listed, the status text, the double-click,
// refreshes announced by other forms, closing, and a server that is down at start.
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTableView>
#include <QtTest>

#include "app/start.h"
#include "shell/connection.h"
#include "shell/forms.h"
#include "shell/main.h"
#include "shell/notifier.h"
#include "shell/program.h"
#include "shell/remote_dataset.h"
#include "shell/remote_error.h"
#include "shell/signin.h"
#include "tests/support/client/client_fixture.h"

namespace {

const QString kAdmin = QStringLiteral("110101199001011234");
const QString kTeacher = QStringLiteral("120101199202022222");

Tmain_manage* mainWindow() { return static_cast<Tmain_manage*>(forms::find(u"main_manage")); }

QStringList column(RemoteDataset& dataset, int index) {
  QStringList values;
  for (int row = 0; row < dataset.recordCount(); ++row)
    values << dataset.value(row, index).toString();
  return values;
}

const QRegularExpression kStatus(
    QStringLiteral("^现在时间：\\d\\d:\\d\\d:\\d\\d   已有(\\d+)条记录$"));

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    fixture_.addAccount(kAdmin, QStringLiteral("管理员"), 0, QStringLiteral("secret"));
    fixture_.addAccount(kTeacher, QStringLiteral("王老师"), 2, QStringLiteral("t"));
    fixture_.server.sql(QStringLiteral("update info set sex='女' where id=?"), {kTeacher});
    fixture_.server.sql(QStringLiteral("update user_name set shr=? where id=?"),
                        {kAdmin, kTeacher});
    // An `info` row without an account and an account without an `info` row: neither listed.
    fixture_.server.sql(
        QStringLiteral("insert into info(id, name) values('130101199303033333', '无账户')"));
    fixture_.addAccount(QStringLiteral("140101199404044444"), QStringLiteral("无基本信息"), 2);
    fixture_.server.sql(QStringLiteral("delete from info where id='140101199404044444'"));
  }

  void init() { fixture_.restart(); }

  void listsEveryoneWithAccountAndBasicRow() {
    fixture_.signIn(kAdmin, QStringLiteral("secret"));
    RemoteDataset& search = *mainWindow()->search;
    QCOMPARE(search.fieldNames(), (QStringList{"身份证号", "姓名", "性别", "审核人"}));
    QStringList ids = column(search, 0);
    ids.sort();
    QCOMPARE(ids, (QStringList{kAdmin, kTeacher}));
    const int teacher = int(column(search, 0).indexOf(kTeacher));
    QCOMPARE(search.value(teacher, 1).toString(), QStringLiteral("王老师"));
    QCOMPARE(search.value(teacher, 2).toString(), QStringLiteral("女"));
    QCOMPARE(search.value(teacher, 3).toString(), kAdmin);
    QCOMPARE(mainWindow()->DBGrid1->model()->headerData(0, Qt::Horizontal).toString(),
             QStringLiteral("身份证号"));
    QCOMPARE(mainWindow()->windowTitle(), QStringLiteral("Tarnell教职工信息采集系统_管理端"));
  }

  void statusTextFollowsTheList() {
    Tmain_manage* main = mainWindow();
    main->Timer1Timer();
    QVERIFY(main->StatusBar1->currentMessage().isEmpty());  // not shown yet
    QVERIFY(main->Timer1->isActive());

    fixture_.signIn(kAdmin, QStringLiteral("secret"));
    main->Timer1Timer();
    QRegularExpressionMatch m = kStatus.match(main->StatusBar1->currentMessage());
    QVERIFY2(m.hasMatch(), qPrintable(main->StatusBar1->currentMessage()));
    QCOMPARE(m.captured(1), QStringLiteral("2"));

    // Another form adds a person and announces it: the next tick counts it.
    fixture_.server.sql(
        QStringLiteral("insert into info(id, name) values('150101199505055555', '新人')"));
    fixture_.server.sql(
        QStringLiteral("insert into user_name(id, qx) values('150101199505055555', 2)"));
    notifier::personsChanged();
    main->Timer1Timer();
    m = kStatus.match(main->StatusBar1->currentMessage());
    QCOMPARE(m.captured(1), QStringLiteral("3"));
    fixture_.server.sql(QStringLiteral("delete from user_name where id='150101199505055555'"));
    fixture_.server.sql(QStringLiteral("delete from info where id='150101199505055555'"));
  }

  // After a change to one person only that person's lines are read again: the edited line
  // changes in place, a line nobody announced stays as read, a new person appears in
  // identity-number order, a deleted one disappears, and the count follows.
  void onePersonIsFollowedAlone() {
    fixture_.signIn(kAdmin, QStringLiteral("secret"));
    Tmain_manage* main = mainWindow();
    RemoteDataset& search = *main->search;
    QCOMPARE(column(search, 0), (QStringList{kAdmin, kTeacher}));
    const QString newcomer = QStringLiteral("115101199606066666");
    auto sql = [this](const char* text, const QString& id) {
      fixture_.server.sql(QString::fromUtf8(text), {id});
    };
    sql("update info set name='改名' where id=?", kTeacher);
    sql("update info set name='未通知' where id=?", kAdmin);
    notifier::personChanged(kTeacher);
    QCOMPARE(column(search, 1), (QStringList{"管理员", "改名"}));

    sql("insert into info(id, name) values(?, '新人')", newcomer);
    sql("insert into user_name(id, qx) values(?, 2)", newcomer);
    notifier::personChanged(newcomer);
    QCOMPARE(column(search, 0), (QStringList{kAdmin, newcomer, kTeacher}));
    main->Timer1Timer();
    QCOMPARE(kStatus.match(main->StatusBar1->currentMessage()).captured(1), QStringLiteral("3"));

    sql("delete from user_name where id=?", newcomer);
    notifier::personChanged(newcomer);
    QCOMPARE(column(search, 0), (QStringList{kAdmin, kTeacher}));
    sql("delete from info where id=?", newcomer);
    sql("update info set name='王老师' where id=?", kTeacher);
    sql("update info set name='管理员' where id=?", kAdmin);
  }

  // A long list is shown from its first batch on and completed while the event loop runs; a
  // request made meanwhile first takes in the rest, so nothing is lost or out of order.
  void aLongListArrivesInBatches() {
    const int many = 20000;
    for (const char* table : {"info", "user_name"})
      fixture_.server.sql(QStringLiteral("insert into ") + QLatin1StringView(table) +
                              QStringLiteral("(id) with recursive n(i) as (select 1 union all "
                                             "select i+1 from n where i<?) select "
                                             "printf('9%017d', i) from n"),
                          {many});
    fixture_.signIn(kAdmin, QStringLiteral("secret"));
    RemoteDataset& search = *mainWindow()->search;
    QVERIFY(search.loading());
    QVERIFY(search.recordCount() > 0 && search.recordCount() < many);
    QCOMPARE(mainWindow()->DBGrid1->model()->rowCount(), search.recordCount());
    notifier::personChanged(kTeacher);  // reads one line: the rest of the list comes first
    QVERIFY(!search.loading());
    QCOMPARE(search.recordCount(), many + 2);
    QCOMPARE(mainWindow()->DBGrid1->model()->rowCount(), many + 2);
    QCOMPARE(search.locate(0, QStringLiteral("9%1").arg(many, 17, 10, QChar(u'0'))), many + 1);

    fixture_.restart();
    fixture_.signIn(kAdmin, QStringLiteral("secret"));
    QTRY_VERIFY(!mainWindow()->search->loading());
    QCOMPARE(mainWindow()->search->recordCount(), many + 2);
    QVERIFY(fixture_.dialogs.errors.isEmpty());
    for (const char* table : {"info", "user_name"})
      fixture_.server.sql(
          QStringLiteral("delete from %1 where id like '9%'").arg(QLatin1StringView(table)));
  }

  void doubleClickOpensTheCurrentPerson() {
    fixture_.signIn(kAdmin, QStringLiteral("secret"));
    Tmain_manage* main = mainWindow();
    const int teacher = int(column(*main->search, 0).indexOf(kTeacher));
    main->DBGrid1->setCurrentIndex(main->DBGrid1->model()->index(teacher, 1));
    QTest::mouseDClick(main->DBGrid1->viewport(), Qt::LeftButton, {},
                       main->DBGrid1->visualRect(main->DBGrid1->currentIndex()).center());
    QCOMPARE(SignIn::state().currentPersonId, kTeacher);
    if (forms::find(u"info_basic")) QVERIFY(forms::find(u"info_basic")->isVisible());
  }

  void doubleClickOnAnEmptyGridStoresAnEmptyId() {
    fixture_.signIn(kAdmin, QStringLiteral("secret"));
    Tmain_manage* main = mainWindow();
    main->search->close();
    main->search->setCommandText(QStringLiteral("select id as 身份证号 from info where 1=0"));
    main->search->open();
    SignIn::state().currentPersonId = QStringLiteral("stale");
    QTest::mouseDClick(main->DBGrid1->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(SignIn::state().currentPersonId, QString());
    QVERIFY(fixture_.dialogs.errors.isEmpty());
    if (forms::find(u"info_basic")) QVERIFY(forms::find(u"info_basic")->isVisible());
  }

  void unbuiltFormsAreDisabled() {
    fixture_.signIn(kAdmin, QStringLiteral("secret"));
    Tmain_manage* main = mainWindow();
    QCOMPARE(main->N2->isEnabled(), forms::find(u"single_add") != nullptr);
    QCOMPARE(main->BitBtn1->isEnabled(), forms::find(u"select") != nullptr);
  }

  void closingTheMainWindowEndsTheProgram() {
    fixture_.signIn(kAdmin, QStringLiteral("secret"));
    mainWindow()->close();
    QVERIFY(programEnded());
    QVERIFY(!Connection::shared().connected());
  }

  void aServerThatIsDownStopsStartUp() {
    quint16 port = 0;
    {
      TestServer down;
      port = down.port();
    }
    try {
      createForms(ServerAddress{QStringLiteral("127.0.0.1"), port});
      QFAIL("start-up went on without a server");
    } catch (const RemoteError& e) {
      QVERIFY2(e.reason().contains(QString::number(port)), qPrintable(e.reason()));
    }
    QVERIFY(forms::all().isEmpty());
  }

 private:
  ClientFixture fixture_;
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
