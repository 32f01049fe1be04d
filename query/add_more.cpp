#include "query/add_more.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "query/account_import.h"
#include "schema/values.h"
#include "shell/dialogs.h"
#include "shell/notifier.h"
#include "shell/remote_dataset.h"
#include "shell/widgets.h"

Tmore_add::Tmore_add(QWidget* parent) : Form(QStringLiteral("more_add"), parent) {
  setWindowTitle(QStringLiteral("批量导入用户数据"));
  user_name = new RemoteDataset(QStringLiteral("DataSetProvider_user"), this);
  user_name->setObjectName(QStringLiteral("user_name"));
  info = new RemoteDataset(QStringLiteral("DataSetProvider_search"), this);
  info->setObjectName(QStringLiteral("info"));
  import_ = std::make_unique<query::AccountImport>(*user_name, *info);

  edit1 = widgets::lineEdit(QStringLiteral("edit1"), this);
  edit1->setMinimumWidth(360);
  Button1 = widgets::button(QStringLiteral("Button1"), QStringLiteral("浏览"), this);
  button2 = widgets::button(QStringLiteral("button2"), QStringLiteral("开始导入"), this);
  Button3 = widgets::button(QStringLiteral("Button3"), QStringLiteral("退出"), this);

  auto* layout = new QGridLayout(this);
  layout->addWidget(widgets::label(QStringLiteral("导入文件："), edit1, this), 0, 0);
  layout->addWidget(edit1, 0, 1);
  layout->addWidget(Button1, 0, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(button2);
  buttons->addWidget(Button3);
  layout->addLayout(buttons, 1, 0, 1, 3);
  fixSizeAndCentre();

  onClick(Button1, &Tmore_add::Button1Click);
  onClick(button2, &Tmore_add::button2Click);
  onClick(Button3, &Tmore_add::Button3Click);
}

Tmore_add::~Tmore_add() = default;

void Tmore_add::Button1Click() {
  const QString path = Dialogs::current().openFileName(this, QStringLiteral("导入文件"), {});
  if (!path.isEmpty()) edit1->setText(path);
}

void Tmore_add::button2Click() {
  const QString path = schema::trim(edit1->text());
  if (path.isEmpty()) {
    showMessage(this, QStringLiteral("请选择要导入的文件!"));
    return;
  }
  Dialogs& dialogs = Dialogs::current();
  import_->plan(path);
  if (!import_->rows().isEmpty() &&
      !dialogs.preview(
          this,
          import_->summary() + QStringLiteral("按“确定”导入可以导入的行，按“取消”什么也不写。"),
          query::AccountImport::headings(), import_->table()))
    return;
  query::AccountImport::Outcome outcome;
  {
    const std::unique_ptr<Progress> progress =
        dialogs.progress(this, QStringLiteral("正在导入…"), import_->planned().written());
    outcome = import_->write(*progress);
  }
  if (outcome.written.written() > 0) notifier::personsChanged();
  if (outcome.failure.isEmpty())
    showMessage(this, import_->outcomeText(outcome));
  else
    dialogs.error(this, import_->outcomeText(outcome));
}

void Tmore_add::Button3Click() { close(); }

void Tmore_add::FormClose() {
  info->close();
  user_name->close();
}
