#include "tests/support/client/client_fixture.h"

#include <QLineEdit>
#include <QPushButton>

#include "app/start.h"
#include "shell/connection.h"
#include "shell/forms.h"
#include "shell/login.h"
#include "shell/program.h"
#include "shell/signin.h"

ClientFixture::ClientFixture() { restart(); }

ClientFixture::~ClientFixture() {
  forms::clear();
  Connection::shared().close();
}

void ClientFixture::restart() {
  forms::clear();
  Connection::shared().close();
  SignIn::state() = SignIn{};
  dialogs.clear();
  resetProgramEnded();
  createForms(ServerAddress{server.host(), server.port()});
}

void ClientFixture::signIn(const QString& id, const QString& password) {
  auto* login = static_cast<Tuser_login*>(forms::find(u"user_login"));
  login->show();
  login->edit1->setText(id);
  login->Edit2->setText(password);
  login->Button1->click();
}

void ClientFixture::addAccount(const QString& id, const QString& name, int role,
                               const QString& password) {
  server.addAccount(id, name, role, password);
}
