#include "shell/login.h"

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "schema/values.h"
#include "shell/connection.h"
#include "shell/dialogs.h"
#include "shell/forms.h"
#include "shell/signin.h"
#include "shell/widgets.h"

namespace {

// The identity number that gets its own message for a wrong password.
const QString kSpecialId = QStringLiteral("990000190001010000");

// Buttons of the record pages that only administrators see, or only an ordinary user.
struct RoleButton {
  const char16_t* form;
  const char* button;
  bool ordinaryUser;  // seen by role 2 only; else by administrators only
};
constexpr RoleButton kRoleButtons[] = {
    {u"khjl", "BitBtn4", false},       // 审核通过
    {u"khjl", "BitBtn6", false},       // 变更记录 of the person shown
    {u"info_basic", "BitBtn4", true},  // 变更记录 of one's own record
};

}  // namespace

Tuser_login::Tuser_login(QWidget* parent) : Form(QStringLiteral("user_login"), parent) {
  setWindowTitle(QStringLiteral("用户登录"));
  edit1 = widgets::lineEdit(QStringLiteral("edit1"), this);
  Edit2 = widgets::lineEdit(QStringLiteral("Edit2"), this);
  Edit2->setEchoMode(QLineEdit::Password);
  Edit2->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
  Label1 = widgets::label(QStringLiteral("身份证号："), edit1, this);
  Label2 = widgets::label(QStringLiteral("密    码："), Edit2, this);
  Button1 = widgets::button(QStringLiteral("Button1"), QStringLiteral("登  录"), this);
  Button2 = widgets::button(QStringLiteral("Button2"), QStringLiteral("退  出"), this);
  edit1->setMinimumWidth(200);

  auto* fields = new QGridLayout;
  fields->addWidget(Label1, 0, 0);
  fields->addWidget(edit1, 0, 1);
  fields->addWidget(Label2, 1, 0);
  fields->addWidget(Edit2, 1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addLayout(buttons);
  fixSizeAndCentre();

  onClick(Button1, &Tuser_login::Button1Click);
  onClick(Button2, &Tuser_login::Button2Click);
  // Enter in the password edit signs in; the identity-number edit has no such handling.
  connect(Edit2, &QLineEdit::returnPressed, this,
          [this] { guarded(this, [this] { Button1Click(); }); });
}

void Tuser_login::Button1Click() {
  const QString id = schema::trim(edit1->text());
  const QString password = schema::trim(Edit2->text());
  const protocol::SignInReply reply = Connection::shared().signIn(id, password);
  using Outcome = protocol::SignInOutcome;
  switch (reply.outcome) {
    case Outcome::NoSuchAccount:
      showMessage(this, QStringLiteral("用户名不正确!"));
      return;
    case Outcome::WrongPassword:
      showMessage(this, id == kSpecialId ? QStringLiteral("密码不对？？你是知道的！想想，呵呵！")
                                         : QStringLiteral("密码不正确!"));
      return;
    case Outcome::NoValidRole:
      showMessage(this, QStringLiteral("该账户权限设置有误，请联系管理员!"));
      return;
    case Outcome::SignedIn:
      break;
  }
  SignIn& state = SignIn::state();
  state.identityNumber = id;
  state.password = password;
  state.role = reply.role;
  openWindowOf(reply.role);
  hide();
}

void Tuser_login::openWindowOf(int role) {
  for (const RoleButton& b : kRoleButtons)
    if (Form* form = forms::find(b.form))
      if (auto* button = form->findChild<QWidget*>(QString::fromLatin1(b.button)))
        button->setVisible(b.ordinaryUser == (role == 2));
  if (role == 2) {
    SignIn::state().currentPersonId = SignIn::state().identityNumber;
    forms::show(u"info_basic");
    return;
  }
  if (role == 1) {
    if (Form* main = forms::find(u"main_manage")) {
      for (const char* item : {"N4", "N9"})
        if (auto* action = main->findChild<QAction*>(QString::fromLatin1(item)))
          action->setVisible(false);
    }
  }
  forms::show(u"main_manage");
}

void Tuser_login::Button2Click() { close(); }

void Tuser_login::FormClose() { Connection::shared().close(); }
