#include "shell/headless.h"

#include <QCommandLineParser>
#include <QTextStream>
#include <cstdio>

#include "schema/values.h"
#include "shell/connection.h"
#include "shell/remote_error.h"
#include "shell/signin.h"

namespace headless {

namespace {

const QString kServer = QStringLiteral("server");
const QString kCa = QStringLiteral("ca");
const QString kUser = QStringLiteral("user");

ServerAddress serverOf(const QCommandLineParser& parser) {
  const QString text =
      parser.isSet(kServer) ? parser.value(kServer) : qEnvironmentVariable("STAFFINFO_SERVER");
  const std::optional<ServerAddress> address = ServerAddress::fromOptions(text, parser.value(kCa));
  if (!address) throw RemoteError(QStringLiteral("应用服务器地址无效：%1").arg(text));
  return *address;
}

}  // namespace

void addSignInOptions(QCommandLineParser& parser) {
  parser.addOption({kServer,
                    QStringLiteral("应用服务器地址 [tls://|tcp://]HOST[:PORT]，默认 "
                                   "127.0.0.1:7070；非本机地址使用 TLS"),
                    QStringLiteral("HOST[:PORT]")});
  parser.addOption({kCa, QStringLiteral("用于验证服务器证书的 CA 证书文件（PEM），默认用系统的"),
                    QStringLiteral("FILE")});
  parser.addOption(
      {kUser, QStringLiteral("登录用的身份证号（密码从标准输入读一行）"), QStringLiteral("ID")});
}

void signIn(const QCommandLineParser& parser) {
  const QString id = schema::trim(parser.value(kUser));
  if (id.isEmpty()) throw RemoteError(QStringLiteral("需要 --user 身份证号"));
  const ServerAddress server = serverOf(parser);
  QTextStream input(stdin);
  QString password;
  if (!input.readLineInto(&password))
    throw RemoteError(QStringLiteral("请在标准输入中给出密码（一行）"));
  password = schema::trim(password);

  Connection& connection = Connection::shared();
  connection.open(server);
  const protocol::SignInReply reply = connection.signIn(id, password);
  using Outcome = protocol::SignInOutcome;
  switch (reply.outcome) {
    case Outcome::NoSuchAccount:
      throw RemoteError(QStringLiteral("用户名不正确!"));
    case Outcome::WrongPassword:
      throw RemoteError(QStringLiteral("密码不正确!"));
    case Outcome::NoValidRole:
      throw RemoteError(QStringLiteral("该账户权限设置有误，请联系管理员!"));
    case Outcome::SignedIn:
      break;
  }
  SignIn& state = SignIn::state();
  state.identityNumber = id;
  state.password = password;
  state.role = reply.role;
  if (reply.role == 2) state.currentPersonId = id;
}

void complain(const QString& text) {
  std::fprintf(stderr, "staffinfo: %s\n", qUtf8Printable(text));
}

}  // namespace headless
