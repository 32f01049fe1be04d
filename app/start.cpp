#include "app/start.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

#include "records/info.h"
#include "records/jlkh.h"
#include "records/other_info.h"
#include "shell/forms.h"
#include "shell/login.h"
#include "shell/main.h"
#include "shell/remote_error.h"

Program::Program(const ServerAddress& server) {
  forms::clear();
  auto add = [this](Form* form) {
    forms_.emplace_back(form);
    forms::add(form);
  };
  auto* login = new Tuser_login;
  login->setMainForm(true);
  add(login);
  try {
    add(new Tmain_manage(server));
  } catch (...) {
    forms::clear();
    throw;
  }
  add(new Tinfo_basic);
  add(new Tinfo_other);
  add(new Tkhjl);
}

Program::~Program() { forms::clear(); }

int runClient(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName(QStringLiteral("教职工信息采集系统"));
  QApplication::setQuitOnLastWindowClosed(false);

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("staffinfo 教职工信息采集系统 客户端"));
  parser.addHelpOption();
  const QCommandLineOption serverOption(
      QStringLiteral("server"), QStringLiteral("应用服务器地址 HOST[:PORT]，默认 127.0.0.1:7070"),
      QStringLiteral("HOST[:PORT]"));
  parser.addOption(serverOption);
  parser.process(app);

  QString serverText = qEnvironmentVariable("STAFFINFO_SERVER");
  if (parser.isSet(serverOption)) serverText = parser.value(serverOption);
  std::optional<ServerAddress> server =
      serverText.isEmpty() ? std::optional(ServerAddress{}) : ServerAddress::parse(serverText);
  if (!server) {
    QMessageBox::critical(nullptr, QStringLiteral("错误"),
                          QStringLiteral("应用服务器地址无效：%1").arg(serverText));
    return 2;
  }

  std::unique_ptr<Program> program;
  try {
    program = std::make_unique<Program>(*server);
  } catch (const RemoteError& e) {
    QMessageBox::critical(nullptr, QStringLiteral("错误"), e.reason());
    return 1;
  }
  forms::show(u"user_login");
  return app.exec();
}
