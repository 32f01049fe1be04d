#include "app/start.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QScopeGuard>
#include <cstring>

#include "accounts/add_single.h"
#include "accounts/delete.h"
#include "accounts/info_adjust.h"
#include "accounts/info_single.h"
#include "accounts/search_user.h"
#include "app/appearance.h"
#include "query/add_more.h"
#include "query/commands.h"
#include "query/data_check.h"
#include "query/date_select.h"
#include "query/report_data.h"
#include "records/change_history.h"
#include "records/info.h"
#include "records/jlkh.h"
#include "records/other_info.h"
#include "reports/print_command.h"
#include "reports/report.h"
#include "reports/report_grll.h"
#include "reports/report_jnpx.h"
#include "reports/report_jwpx.h"
#include "reports/report_jyqk.h"
#include "reports/report_jzgjckh.h"
#include "reports/report_shgx.h"
#include "shell/forms.h"
#include "shell/login.h"
#include "shell/main.h"
#include "shell/remote_error.h"

void createForms(const ServerAddress& server) {
  forms::clear();
  auto* login = new Tuser_login;
  login->setMainForm(true);
  forms::add(login);
  try {
    forms::add(new Tmain_manage(server));
  } catch (...) {
    forms::clear();
    throw;
  }
  forms::add(new Tinfo_basic);
  forms::add(new Tinfo_other);
  forms::add(new Tkhjl);
  forms::add(new Tchange_history);
  forms::add(new Treport_basic);
  forms::add(new Tjzgjckh_report);
  forms::add(new Tshgx_report);
  forms::add(new Tgrll_report);
  forms::add(new Tjyqk_report);
  forms::add(new Tjnpx_report);
  forms::add(new Tjwpx_report);
  forms::add(new Tselect);
  forms::add(new Tdata_report);
  forms::add(new Tsearch);
  forms::add(new Tdata_check);
  forms::add(new Tsingle_add);
  forms::add(new Tmore_add);
  forms::add(new Tadjust_info);
  forms::add(new Tsigle_info);
  forms::add(new Tdelete_single);
}

namespace {

// The window-less commands: `staffinfo NAME [options]`. Each signs in through
// shell/headless.h and does what its forms do, through the same code. `run` gets the arguments
// with the program name first and returns the exit status.
struct Command {
  const char* name;
  int (*run)(const QStringList& arguments);
};

const QList<Command>& commands() {
  static const QList<Command> all = {
      {"export", query::commands::exportCommand},
      {"import", query::commands::importCommand},
      {"history", query::commands::historyCommand},
      {"check", query::commands::checkCommand},
      {"print", reports::printCommand},
  };
  return all;
}

const Command* commandNamed(const char* name) {
  for (const Command& c : commands())
    if (std::strcmp(c.name, name) == 0) return &c;
  return nullptr;
}

int runCommand(const Command& command, int argc, char** argv) {
  // No window opens: without a display the offscreen platform still renders fonts and pages.
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
      qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QStringList arguments = app.arguments();
  arguments.removeAt(1);  // the command's name
  return command.run(arguments);
}

}  // namespace

int runClient(int argc, char** argv) {
  if (argc > 1)
    if (const Command* command = commandNamed(argv[1])) return runCommand(*command, argc, argv);
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  applyAppearance();

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("staffinfo 教职工信息采集系统 客户端"));
  parser.addHelpOption();
  const QCommandLineOption serverOption(
      QStringLiteral("server"),
      QStringLiteral("应用服务器地址 [tls://|tcp://]HOST[:PORT]，默认 127.0.0.1:7070；"
                     "非本机地址使用 TLS"),
      QStringLiteral("HOST[:PORT]"));
  const QCommandLineOption caOption(
      QStringLiteral("ca"), QStringLiteral("用于验证服务器证书的 CA 证书文件（PEM），默认用系统的"),
      QStringLiteral("FILE"));
  parser.addOption(serverOption);
  parser.addOption(caOption);
  parser.process(app);

  QString serverText = qEnvironmentVariable("STAFFINFO_SERVER");
  if (parser.isSet(serverOption)) serverText = parser.value(serverOption);
  const std::optional<ServerAddress> server =
      ServerAddress::fromOptions(serverText, parser.value(caOption));
  if (!server) {
    QMessageBox::critical(nullptr, QStringLiteral("错误"),
                          QStringLiteral("应用服务器地址无效：%1").arg(serverText));
    return 2;
  }

  try {
    createForms(*server);
  } catch (const RemoteError& e) {
    QMessageBox::critical(nullptr, QStringLiteral("错误"), e.reason());
    return 1;
  }
  const auto destroyForms = qScopeGuard([] { forms::clear(); });
  forms::show(u"user_login");
  return app.exec();
}
