#include "server/cli.h"

#include <QHostAddress>

namespace server {

namespace {

const QString kServe = QStringLiteral("serve");
const QString kAddAccount = QStringLiteral("add-account");
const QString kSeedDemo = QStringLiteral("seed-demo");

Status parseListen(const QString& text, Command& command) {
  const qsizetype colon = text.lastIndexOf(u':');
  bool parsed = false;
  const uint port = colon > 0 ? text.mid(colon + 1).toUInt(&parsed) : 0;
  QString host = text.left(colon);
  if (host.startsWith(u'[') && host.endsWith(u']')) host = host.mid(1, host.size() - 2);
  if (!parsed || port > 65535 || (host != u"localhost" && QHostAddress(host).isNull()))
    return Error{QStringLiteral("--listen 需要 HOST:PORT，收到 \"%1\"").arg(text)};
  command.host = host;
  command.port = quint16(port);
  return ok();
}

Status parseRole(const QString& text, Command& command) {
  bool parsed = false;
  command.role = text.toInt(&parsed);
  if (!parsed || command.role < 0 || command.role > 2)
    return Error{QStringLiteral("ROLE 只能是 0、1 或 2，收到 \"%1\"").arg(text)};
  return ok();
}

}  // namespace

Result<Command> parseCommand(const QStringList& arguments) {
  Command command;
  QStringList rest = arguments;
  if (!rest.isEmpty() && !rest.front().startsWith(u'-')) {
    const QString verb = rest.takeFirst();
    if (verb == kAddAccount)
      command.kind = Command::Kind::AddAccount;
    else if (verb == kSeedDemo)
      command.kind = Command::Kind::SeedDemo;
    else if (verb != kServe)
      return Error{QStringLiteral("未知的子命令：%1").arg(verb)};
  }

  QStringList positional;
  while (!rest.isEmpty()) {
    const QString arg = rest.takeFirst();
    const bool takesValue =
        arg == u"--db" || (arg == u"--listen" && command.kind == Command::Kind::Serve);
    if (!takesValue) {
      if (arg.startsWith(u"--")) return Error{QStringLiteral("未知的选项：%1").arg(arg)};
      positional << arg;
      continue;
    }
    if (rest.isEmpty()) return Error{QStringLiteral("%1 缺少取值").arg(arg)};
    const QString value = rest.takeFirst();
    if (arg == u"--db") {
      command.database = value;
    } else if (Status s = parseListen(value, command); !s) {
      return Error{s.error()};
    }
  }

  switch (command.kind) {
    case Command::Kind::Serve:
      if (!positional.isEmpty())
        return Error{QStringLiteral("serve 不接受参数：%1").arg(positional.join(u' '))};
      break;
    case Command::Kind::AddAccount:
      if (positional.size() != 3) return Error{QStringLiteral("add-account 需要 ID NAME ROLE")};
      command.id = positional[0];
      command.name = positional[1];
      if (Status s = parseRole(positional[2], command); !s) return Error{s.error()};
      break;
    case Command::Kind::SeedDemo: {
      bool parsed = false;
      command.persons = positional.size() == 1 ? positional[0].toInt(&parsed) : 0;
      if (!parsed || command.persons < 0)
        return Error{QStringLiteral("seed-demo 需要人数 N（非负整数）")};
      break;
    }
  }
  return command;
}

QString usage() {
  return QStringLiteral(
      "usage:\n"
      "  staffinfo-server [serve] [--db PATH] [--listen HOST:PORT]\n"
      "      serve clients (defaults: --db staffinfo.db, --listen 127.0.0.1:7070;\n"
      "      port 0 picks a free port)\n"
      "  staffinfo-server add-account --db PATH ID NAME ROLE\n"
      "      create or overwrite an account and its info row; the password is read as one\n"
      "      line from standard input; ROLE: 0 超级管理员, 1 管理员, 2 普通用户\n"
      "  staffinfo-server seed-demo --db PATH N\n"
      "      fill an empty database with N demo persons and the demo administrators\n"
      "A new database file gets the schema automatically.\n");
}

}  // namespace server
