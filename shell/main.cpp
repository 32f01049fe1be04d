#include "shell/main.h"

#include <QAction>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTime>
#include <QTimer>

#include "schema/queries.h"
#include "schema/values.h"
#include "shell/dataset_model.h"
#include "shell/dialogs.h"
#include "shell/forms.h"
#include "shell/notifier.h"
#include "shell/remote_dataset.h"
#include "shell/signin.h"
#include "shell/widgets.h"

Tmain_manage::Tmain_manage(const ServerAddress& server, QWidget* parent)
    : Form(QStringLiteral("main_manage"), parent), SocketConnection1(Connection::shared()) {
  setWindowTitle(QStringLiteral("Tarnell教职工信息采集系统_管理端"));
  setWindowState(Qt::WindowMaximized);

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  BitBtn1 = widgets::button(QStringLiteral("BitBtn1"), QStringLiteral("筛   选"), Panel1);
  BitBtn2 = widgets::button(QStringLiteral("BitBtn2"), QStringLiteral("查   询"), Panel1);
  auto* left = new QVBoxLayout(Panel1);
  left->addWidget(BitBtn1);
  left->addWidget(BitBtn2);
  left->addStretch();

  Panel2 = new QFrame(this);
  Panel2->setObjectName(QStringLiteral("Panel2"));
  search = new RemoteDataset(QStringLiteral("DataSetProvider_search"), SocketConnection1, this);
  search->setObjectName(QStringLiteral("search"));
  model_ = new DatasetModel(*search, this);
  DBGrid1 = new QTableView(Panel2);
  DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
  DBGrid1->setModel(model_);
  model_->setRowMark([this](int row) { return markedChanged(row); }, QColor(255, 224, 178),
                     QStringLiteral("上次审核后有变更"));
  DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
  DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
  DBGrid1->verticalHeader()->setDefaultSectionSize(22);
  DBGrid1->horizontalHeader()->setResizeContentsPrecision(200);  // sample, never scan every row
  DBGrid1->horizontalHeader()->setStretchLastSection(true);
  DBGrid1->viewport()->installEventFilter(this);
  StatusBar1 = new QStatusBar(Panel2);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setSizeGripEnabled(false);
  auto* right = new QVBoxLayout(Panel2);
  right->setContentsMargins(0, 0, 0, 0);
  right->addWidget(DBGrid1);
  right->addWidget(StatusBar1);

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(Panel1);
  layout->addWidget(Panel2, 1);
  buildMenu();
  opens(BitBtn1, QStringLiteral("select"));
  opens(BitBtn2, QStringLiteral("search"));

  // The grid's current row is the dataset's current row.
  connect(DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) { search->moveTo(current.row()); });

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(1000);
  connect(Timer1, &QTimer::timeout, this, &Tmain_manage::Timer1Timer);
  Timer1->start();

  SocketConnection1.open(server);
  notifier::listen(this, [this](const std::optional<QString>& id) { followPersons(id); });
  connect(search, &RemoteDataset::loaded, this, [this](const QString& error) {
    if (!error.isEmpty()) Dialogs::current().error(this, error);
  });
}

Tmain_manage::~Tmain_manage() = default;

void Tmain_manage::buildMenu() {
  auto* bar = new QMenuBar(this);
  layout()->setMenuBar(bar);
  auto item = [this](QMenu* menu, const char* name, const char* caption) {
    QAction* action = menu->addAction(QString::fromUtf8(caption));
    action->setObjectName(QString::fromLatin1(name));
    return action;
  };
  N1 = bar->addMenu(QStringLiteral("人员管理"));
  N1->setObjectName(QStringLiteral("N1"));
  N2 = item(N1, "N2", "单个增加");
  N3 = item(N1, "N3", "批量导入");
  N4 = item(N1, "N4", "删除");
  N5 = item(N1, "N5", "修改密码");
  N6 = bar->addMenu(QStringLiteral("数据管理"));
  N6->setObjectName(QStringLiteral("N6"));
  N7 = item(N6, "N7", "筛选");
  N8 = item(N6, "N8", "查询");
  N9 = item(N6, "N9", "删除");  // has no action
  N10 = item(N6, "N10", "完整性检查");
  opens(N2, QStringLiteral("single_add"));
  opens(N3, QStringLiteral("more_add"));
  opens(N4, QStringLiteral("delete_single"));
  opens(N5, QStringLiteral("adjust_info"));
  opens(N7, QStringLiteral("select"));
  opens(N8, QStringLiteral("search"));
  opens(N10, QStringLiteral("data_check"));
}

void Tmain_manage::opens(QObject* trigger, const QString& formName) {
  auto showIt = [formName] { forms::show(formName); };
  if (auto* action = qobject_cast<QAction*>(trigger))
    connect(action, &QAction::triggered, this, showIt);
  else if (auto* button = qobject_cast<QAbstractButton*>(trigger))
    connect(button, &QAbstractButton::clicked, this, showIt);
  targets_.append({trigger, formName});
}

void Tmain_manage::enableBuiltTargets() {
  for (const auto& [trigger, formName] : targets_) {
    const bool built = forms::find(formName) != nullptr;
    if (auto* action = qobject_cast<QAction*>(trigger)) action->setEnabled(built);
    if (auto* button = qobject_cast<QWidget*>(trigger)) button->setEnabled(built);
  }
}

void Tmain_manage::FormShow() {
  enableBuiltTargets();
  search->close();
  readChangeMarks();
  search->setCommandText(schema::queries::kPersonList);
  // The first rows are painted while the rest of a long list is still on its way.
  search->openInBatches();
  DBGrid1->resizeColumnsToContents();
  gridReady_ = true;
}

void Tmain_manage::followPersons(const std::optional<QString>& id) {
  if (!search->active()) return;
  if (!id) {
    // Many persons changed (an import): the whole list again, its first rows at once.
    search->close();
    readChangeMarks();
    search->openInBatches();
    return;
  }
  RemoteDataset lines(search->provider(), SocketConnection1);
  lines.setCommandText(schema::queries::kPersonLines, {*id});
  lines.open();
  // The list comes in identity-number order (the engine reads `info` through its index on
  // `id`), so a person's lines stand together where a binary search puts them; in a list of
  // another order a scan finds them. They are changed in place when their number is the same.
  auto isTheirs = [&](int row) {
    return row < search->recordCount() && schema::trim(search->value(row, 0).toString()) == *id;
  };
  int first = insertionPoint(*id);
  if (!isTheirs(first))
    if (const int found = search->locate(0, *id); found >= 0) first = found;
  int count = 0;
  while (isTheirs(first + count)) ++count;
  if (count == lines.recordCount()) {
    search->replaceRows(first, lines);
  } else {
    search->discardRows(first, count);
    search->insertRows(first, lines);
  }
  readChangeMarks(id);
}

void Tmain_manage::readChangeMarks(const std::optional<QString>& id) {
  if (!id) changedSinceReview_.clear();
  if (!SignIn::state().isAdministrator()) return;
  RemoteDataset marks(search->provider(), SocketConnection1);
  if (id) {
    marks.setCommandText(schema::queries::kPersonChangedSinceReview, {*id});
    changedSinceReview_.remove(*id);
  } else {
    marks.setCommandText(schema::queries::kChangedSinceReview);
  }
  marks.open();
  for (int row = 0; row < marks.recordCount(); ++row)
    changedSinceReview_.insert(schema::trim(marks.value(row, 0).toString()));
  model_->marksChanged();
}

bool Tmain_manage::markedChanged(int row) const {
  return !changedSinceReview_.isEmpty() &&
         changedSinceReview_.contains(schema::trim(search->value(row, 0).toString()));
}

int Tmain_manage::insertionPoint(const QString& id) const {
  int low = 0, high = search->recordCount();
  while (low < high) {
    const int middle = (low + high) / 2;
    if (search->value(middle, 0).toString() < id)
      low = middle + 1;
    else
      high = middle;
  }
  return low;
}

void Tmain_manage::DBGrid1DblClick() {
  const QVariant first = search->active() ? search->value(search->recNo(), 0) : QVariant();
  forms::openPerson(schema::trim(first.toString()));
}

void Tmain_manage::Timer1Timer() {
  if (!gridReady_) return;
  StatusBar1->showMessage(QStringLiteral("现在时间：%1   已有%2条记录")
                              .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")))
                              .arg(search->recordCount()));
}

void Tmain_manage::FormClose() {
  const std::optional<int> role = SignIn::state().role;
  if (role == 0 || role == 1) forms::close(u"user_login");
  SocketConnection1.close();
}

bool Tmain_manage::eventFilter(QObject* watched, QEvent* event) {
  // A double-click anywhere on the grid, rows or not, opens the current person.
  if (watched == DBGrid1->viewport() && event->type() == QEvent::MouseButtonDblClick) {
    guarded(this, [this] { DBGrid1DblClick(); });
    return true;
  }
  return Form::eventFilter(watched, event);
}
