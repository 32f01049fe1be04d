#include "accounts/add_single.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>

#include "accounts/account_data.h"
#include "accounts/form_layout.h"
#include "schema/values.h"
#include "shell/dialogs.h"
#include "shell/notifier.h"
#include "shell/person_row.h"
#include "shell/remote_dataset.h"
#include "shell/widgets.h"

Tsingle_add::Tsingle_add(QWidget* parent) : Form(QStringLiteral("single_add"), parent) {
  setWindowTitle(QStringLiteral("人员管理——增加"));
  edit1 = widgets::lineEdit(QStringLiteral("edit1"), this);
  Edit3 = widgets::lineEdit(QStringLiteral("Edit3"), this);
  edit2 = widgets::lineEdit(QStringLiteral("edit2"), this);
  const QString ordinary = QStringLiteral("普通用户");
  ComboBox1 = widgets::comboBox(QStringLiteral("ComboBox1"),
                                {ordinary, QStringLiteral("管理员"), QStringLiteral("超级管理员")},
                                ordinary, this);
  Button1 = widgets::button(QStringLiteral("Button1"), QStringLiteral("确认"), this);
  Button2 = widgets::button(QStringLiteral("Button2"), QStringLiteral("退出"), this);
  accounts::layOut(this,
                   {{QStringLiteral("身份证号："), edit1},
                    {QStringLiteral("姓    名："), Edit3},
                    {QStringLiteral("密    码："), edit2},
                    {QStringLiteral("权    限："), ComboBox1}},
                   {Button1, Button2});
  fixSizeAndCentre();

  user_name = new RemoteDataset(QStringLiteral("DataSetProvider_user"), this);
  user_name->setObjectName(QStringLiteral("user_name"));
  info = new RemoteDataset(QStringLiteral("DataSetProvider_info"), this);
  info->setObjectName(QStringLiteral("info"));

  onClick(Button1, &Tsingle_add::Button1Click);
  onClick(Button2, &Tsingle_add::Button2Click);
}

void Tsingle_add::FormShow() {
  edit1->clear();
  edit2->clear();
}

void Tsingle_add::Button1Click() {
  const QString id = schema::trim(edit1->text());
  const QString password = schema::trim(edit2->text());
  const QString name = schema::trim(Edit3->text());
  if (id.isEmpty() || password.isEmpty() || name.isEmpty()) {
    showMessage(this, QStringLiteral("身份证和密码、姓名不能为空!"));
    return;
  }
  // The role text is compared as it stands: a name with a trailing blank is no role.
  const std::optional<int> role = accounts::roleOf(ComboBox1->currentText());
  const auto closeRows = qScopeGuard([this] {
    user_name->close();
    info->close();
  });
  accounts::openPerson(*user_name, id);
  // An existing account keeps its role; a new one without a role could never sign in.
  if (!locatePerson(*user_name, id) && !role) {
    showMessage(this, QStringLiteral("请选择正确的权限!"));
    return;
  }
  editOrAppendPerson(*user_name, id);
  user_name->setField(u"id", id);
  user_name->setField(u"password", password);
  if (role) user_name->setField(u"qx", qint64(*role));
  user_name->post();

  accounts::openPerson(*info, id);
  editOrAppendPerson(*info, id);
  info->setField(u"id", id);
  info->setField(u"name", name);
  info->post();

  applyTogether({user_name, info});
  notifier::personChanged(id);
  showMessage(this, QStringLiteral("该用户已添加成功!"));
}

void Tsingle_add::Button2Click() { close(); }
