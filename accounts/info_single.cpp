#include "accounts/info_single.h"

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

namespace {

const QString kNameOf = QStringLiteral("select name from info where id=?");
const QString kRoleOf = QStringLiteral("select qx from user_name where id=?");

// Said before what became of the account when a typed name had no `info` row to go to.
const QString kNameNotSaved = QStringLiteral("该人员没有基本信息记录，姓名未保存");

}  // namespace

Tsigle_info::Tsigle_info(QWidget* parent) : Form(QStringLiteral("sigle_info"), parent) {
  setWindowTitle(QStringLiteral("用户信息"));
  Edit1 = widgets::lineEdit(QStringLiteral("Edit1"), this);
  Edit2 = widgets::lineEdit(QStringLiteral("Edit2"), this);
  Edit3 = widgets::lineEdit(QStringLiteral("Edit3"), this);
  Edit3->setPlaceholderText(QStringLiteral("不修改请留空"));
  const QString ordinary = QStringLiteral("普通用户");
  edit4 = widgets::comboBox(QStringLiteral("edit4"),
                            {ordinary, QStringLiteral("超级管理员"), QStringLiteral("管理员")},
                            ordinary, this);
  Button1 = widgets::button(QStringLiteral("Button1"), QStringLiteral("编辑"), this);
  Button2 = widgets::button(QStringLiteral("Button2"), QStringLiteral("保存"), this);
  Button3 = widgets::button(QStringLiteral("Button3"), QStringLiteral("退出"), this);
  accounts::layOut(this,
                   {{QStringLiteral("身份证号："), Edit1},
                    {QStringLiteral("姓    名："), Edit2},
                    {QStringLiteral("密    码："), Edit3},
                    {QStringLiteral("权    限："), edit4}},
                   {Button1, Button2, Button3});
  fixSizeAndCentre();
  Edit1->setEnabled(false);
  setEditing(false);

  search_info = new RemoteDataset(QStringLiteral("DataSetProvider_search"), this);
  search_info->setObjectName(QStringLiteral("search_info"));
  user_name = new RemoteDataset(QStringLiteral("DataSetProvider_user"), this);
  user_name->setObjectName(QStringLiteral("user_name"));

  onClick(Button1, &Tsigle_info::Button1Click);
  onClick(Button2, &Tsigle_info::Button2Click);
  onClick(Button3, &Tsigle_info::Button3Click);
}

void Tsigle_info::setEditing(bool editing) {
  for (QWidget* input : std::initializer_list<QWidget*>{Edit2, Edit3, edit4, Button2})
    input->setEnabled(editing);
}

void Tsigle_info::read(const QString& text) {
  search_info->close();
  search_info->setCommandText(text, {id_});
  search_info->open();
}

void Tsigle_info::FormShow() {
  setEditing(false);
  id_ = schema::trim(accounts::selectedAccountId());
  const auto closeSearch = qScopeGuard([this] { search_info->close(); });
  read(kNameOf);
  Edit1->setText(id_);
  Edit2->setText(search_info->fieldText(u"name"));
  read(kRoleOf);
  Edit3->clear();
  edit4->setEditText(accounts::roleName(search_info->field(u"qx")));
}

void Tsigle_info::Button1Click() { setEditing(true); }

Tsigle_info::NameWrite Tsigle_info::saveName() {
  const QString name = schema::trim(Edit2->text());
  if (name.isEmpty()) return NameWrite::Kept;
  const auto closeSearch = qScopeGuard([this] { search_info->close(); });
  read(kNameOf);
  // A person whose info row is gone gets no row without an identity number.
  if (search_info->recordCount() == 0) return NameWrite::NoRow;
  search_info->edit();
  search_info->setField(u"name", name);
  search_info->post();
  if (search_info->pendingChanges() == 0) return NameWrite::Kept;
  search_info->applyUpdates();
  return NameWrite::Written;
}

void Tsigle_info::Button2Click() {
  // The name is saved first; it stays saved whatever happens to the account.
  const NameWrite name = saveName();
  const bool renamed = name == NameWrite::Written;
  if (renamed) notifier::personChanged(id_);
  // When the name could not be saved, the message about the account says so first.
  const auto tell = [&](const QString& account) {
    showMessage(this, name == NameWrite::NoRow ? kNameNotSaved + u'；' + account : account);
  };
  const QString password = schema::trim(Edit3->text());
  if (schema::gbkLength(password) > accounts::kMaxPasswordBytes) {
    tell(QStringLiteral("密码长度不能大于10位"));
    Edit3->clear();
    return;
  }
  const auto closeAccount = qScopeGuard([this] { user_name->close(); });
  accounts::openPerson(*user_name, id_);
  if (!locatePerson(*user_name, id_)) {
    tell(QStringLiteral("该人员没有登录账户，密码和权限未修改!"));
    setEditing(false);
    return;
  }
  user_name->edit();
  if (!password.isEmpty()) user_name->setField(u"password", password);
  // Any text but a role name keeps the stored role.
  if (const std::optional<int> role = accounts::roleOf(schema::trim(edit4->currentText())))
    user_name->setField(u"qx", qint64(*role));
  user_name->post();
  user_name->applyUpdates();
  if (!renamed) notifier::personChanged(id_);
  // Full success only when the typed name went where it belongs.
  if (name != NameWrite::NoRow)
    showMessage(this, QStringLiteral("修改成功!"));
  else
    tell(password.isEmpty() ? QStringLiteral("权限已保存!") : QStringLiteral("密码和权限已保存!"));
  setEditing(false);
}

void Tsigle_info::Button3Click() { close(); }

void Tsigle_info::FormClose() {
  search_info->close();
  user_name->close();
}
