// The change history window against a real server, opened from the record pages as users do:
// a review empties the list of changes since the last review, the main list marks a person
// whose record changed after their review, and an ordinary user sees their own history.
#include "records/change_history.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

#include "records/info.h"
#include "records/jlkh.h"
#include "shell/main.h"
#include "shell/notifier.h"
#include "shell/remote_dataset.h"
#include "tests/records/page_support.h"
#include "tests/support/client/client_fixture.h"

namespace {

const QString kAdmin = QStringLiteral("110101199001011237");
const QString kPerson = QStringLiteral("220101199001011115");
const QString kMarked = QStringLiteral("上次审核后有变更");

Tchange_history* history() { return static_cast<Tchange_history*>(forms::find(u"change_history")); }
Tinfo_basic* basicPage() { return static_cast<Tinfo_basic*>(forms::find(u"info_basic")); }
Tkhjl* recordsPage() { return static_cast<Tkhjl*>(forms::find(u"khjl")); }

int shownChanges() { return history()->DBGrid1->model()->rowCount(); }

// The newest change of `item` (a column label) as the grid shows it: column title → text.
QHash<QString, QString> changeOf(const QString& item) {
  const QAbstractItemModel* model = history()->DBGrid1->model();
  for (int r = 0; r < model->rowCount(); ++r) {
    QHash<QString, QString> row;
    for (int c = 0; c < model->columnCount(); ++c)
      row.insert(model->headerData(c, Qt::Horizontal).toString(),
                 model->index(r, c).data().toString());
    if (row.value(QStringLiteral("项目")) == item) return row;
  }
  return {};
}

// The main list's tool tip on the person's line.
QString mainListTip(const QString& id) {
  auto* main = static_cast<Tmain_manage*>(forms::find(u"main_manage"));
  const int row = main->search->locate(0, id);
  return row < 0 ? QStringLiteral("<not listed>")
                 : main->DBGrid1->model()->index(row, 0).data(Qt::ToolTipRole).toString();
}

}  // namespace

class ChangeHistoryTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    fixture_.addAccount(kAdmin, QStringLiteral("管理员"), 0, QStringLiteral("secret"));
    fixture_.addAccount(kPerson, QStringLiteral("教师"), 2, QStringLiteral("pw"));
  }

  void aReviewEmptiesTheListSinceItAndALaterChangeMarksThePerson() {
    fixture_.signIn(kAdmin, QStringLiteral("secret"));
    QVERIFY(basicPage()->BitBtn4->isHidden());  // an administrator's history is on khjl
    saveNationality(QStringLiteral("汉族"));
    QCOMPARE(mainListTip(kPerson), kMarked);

    page_test::open(u"khjl", kPerson);
    recordsPage()->BitBtn6->click();
    QVERIFY(history()->isVisible());
    QVERIFY(history()->CheckBox1->isChecked());
    QHash<QString, QString> change = changeOf(QStringLiteral("民族"));
    QCOMPARE(change.value(QStringLiteral("表")), QStringLiteral("基本信息表"));
    QCOMPARE(change.value(QStringLiteral("修改人")), kAdmin);
    QCOMPARE(change.value(QStringLiteral("新值")), QStringLiteral("汉族"));

    recordsPage()->BitBtn4->click();  // 审核通过
    QCOMPARE(fixture_.dialogs.messages.last(), QStringLiteral("审核成功！"));
    QCOMPARE(mainListTip(kPerson), QString());
    recordsPage()->BitBtn6->click();
    QCOMPARE(shownChanges(), 0);
    history()->CheckBox1->click();  // every change, the review among them
    QCOMPARE(changeOf(QStringLiteral("审核人")).value(QStringLiteral("表")),
             QStringLiteral("账户"));
    QCOMPARE(changeOf(QStringLiteral("民族")).value(QStringLiteral("新值")),
             QStringLiteral("汉族"));

    saveNationality(QStringLiteral("回族"));
    QCOMPARE(mainListTip(kPerson), kMarked);
    notifier::personsChanged();  // the whole list read again keeps the mark
    QCOMPARE(mainListTip(kPerson), kMarked);
    page_test::open(u"khjl", kPerson);
    recordsPage()->BitBtn6->click();  // the window already open is read afresh, ticked
    QVERIFY(history()->CheckBox1->isChecked());
    QCOMPARE(shownChanges(), 1);
    QCOMPARE(changeOf(QStringLiteral("民族")).value(QStringLiteral("原值")),
             QStringLiteral("汉族"));
    QVERIFY2(fixture_.dialogs.errors.isEmpty(), qPrintable(fixture_.dialogs.errors.join('\n')));
  }

  // Last: signs in again as the ordinary user.
  void anOrdinaryUserSeesTheirOwnHistoryFromTheBasicPage() {
    fixture_.restart();
    fixture_.signIn(kPerson, QStringLiteral("pw"));
    QVERIFY(basicPage()->isVisible());
    QVERIFY(recordsPage()->BitBtn6->isHidden());
    QVERIFY(!basicPage()->BitBtn4->isHidden());
    basicPage()->BitBtn4->click();
    QVERIFY(history()->isVisible());
    QCOMPARE(history()->personLine->text(), QStringLiteral("身份证号：%1").arg(kPerson));
    QCOMPARE(changeOf(QStringLiteral("民族")).value(QStringLiteral("新值")),
             QStringLiteral("回族"));
    history()->CheckBox1->click();
    QCOMPARE(changeOf(QStringLiteral("审核人")).value(QStringLiteral("新值")), kAdmin);
    QVERIFY2(fixture_.dialogs.errors.isEmpty(), qPrintable(fixture_.dialogs.errors.join('\n')));
  }

 private:
  // Edits the person's nationality on the basic page and saves, as an administrator does.
  void saveNationality(const QString& nationality) {
    page_test::open(u"info_basic", kPerson);
    basicPage()->BitBtn1->click();
    basicPage()->Edit3->setText(nationality);
    basicPage()->BitBtn2->click();
    QCOMPARE(fixture_.dialogs.messages.last(), QStringLiteral("修改成功!"));
    forms::close(u"info_basic");
  }

  ClientFixture fixture_;
};

QTEST_MAIN(ChangeHistoryTest)
#include "change_history_test.moc"
