#include "server/cli.h"

#include <QHostAddress>

namespace server {

namespace {

using Kind = Command::Kind;

const QString kServe = QStringLiteral("serve");

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

// A positive whole number up to `most`.
// A whole number from 1 (or 0 where `zero` is allowed) to `most`.
Status parseCount(const QString& text, int most, int* out, bool zero = false) {
  bool parsed = false;
  const int value = text.toInt(&parsed);
  const int least = zero ? 0 : 1;
  if (!parsed || value < least || value > most)
    return Error{
        QStringLiteral("需要 %1 到 %2 之间的整数，收到 \"%3\"").arg(least).arg(most).arg(text)};
  *out = value;
  return ok();
}

// Seconds, fractions allowed (tests use short times), stored as milliseconds; at least 1 ms,
// or exactly 0 where `zero` is allowed.
Status parseSeconds(const QString& text, int* ms, bool zero = false) {
  bool parsed = false;
  const double seconds = text.toDouble(&parsed);
  if (!parsed || (seconds < 0.001 && !(zero && seconds == 0)) || seconds > 1e6)
    return Error{QStringLiteral("需要秒数（大于 0），收到 \"%1\"").arg(text)};
  *ms = int(seconds * 1000);
  return ok();
}

// The options that take a value: which sub-commands accept each, and where its value goes.
struct ValueOption {
  QLatin1StringView name;
  QList<Kind> kinds;
  Status (*set)(const QString& value, Command& command);
};

const QList<Kind> kAll = {Kind::Serve, Kind::AddAccount, Kind::SeedDemo, Kind::Backup,
                          Kind::Upgrade};

// Hours, fractions allowed (tests use short times).
Status parseHours(const QString& text, double* hours) {
  bool parsed = false;
  const double value = text.toDouble(&parsed);
  if (!parsed || value < 0.0003 || value > 10000)
    return Error{QStringLiteral("需要小时数（大于 0），收到 \"%1\"").arg(text)};
  *hours = value;
  return ok();
}

const QList<ValueOption>& valueOptions() {
  static const QList<ValueOption> options = {
      {QLatin1StringView("--db"), kAll,
       [](const QString& v, Command& c) {
         c.database = v;
         return ok();
       }},
      {QLatin1StringView("--listen"), {Kind::Serve}, parseListen},
      {QLatin1StringView("--tls-cert"),
       {Kind::Serve},
       [](const QString& v, Command& c) {
         c.serve.tlsCert = v;
         return ok();
       }},
      {QLatin1StringView("--tls-key"),
       {Kind::Serve},
       [](const QString& v, Command& c) {
         c.serve.tlsKey = v;
         return ok();
       }},
      {QLatin1StringView("--signin-timeout"),
       {Kind::Serve},
       [](const QString& v, Command& c) { return parseSeconds(v, &c.serve.signInTimeoutMs); }},
      {QLatin1StringView("--stall-timeout"),
       {Kind::Serve},
       [](const QString& v, Command& c) { return parseSeconds(v, &c.serve.stallTimeoutMs); }},
      {QLatin1StringView("--idle-timeout"),
       {Kind::Serve},
       [](const QString& v, Command& c) { return parseSeconds(v, &c.serve.idleTimeoutMs); }},
      {QLatin1StringView("--throttle"),
       {Kind::Serve},
       [](const QString& v, Command& c) { return parseSeconds(v, &c.serve.throttleMs, true); }},
      {QLatin1StringView("--max-connections"),
       {Kind::Serve},
       [](const QString& v, Command& c) {
         return parseCount(v, 1000000, &c.serve.maxConnections);
       }},
      {QLatin1StringView("--max-per-address"),
       {Kind::Serve},
       [](const QString& v, Command& c) { return parseCount(v, 1000000, &c.serve.maxPerAddress); }},
      {QLatin1StringView("--max-unsigned"),
       {Kind::Serve},
       [](const QString& v, Command& c) { return parseCount(v, 1000000, &c.serve.maxUnsigned); }},
      {QLatin1StringView("--workers"),
       {Kind::Serve},
       [](const QString& v, Command& c) { return parseCount(v, 1024, &c.serve.workers); }},
      {QLatin1StringView("--cache-mb"),
       {Kind::Serve},
       [](const QString& v, Command& c) {
         return parseCount(v, 65536, &c.serve.storageOptions.cacheMiB);
       }},
      {QLatin1StringView("--mmap-mb"),
       {Kind::Serve},
       [](const QString& v, Command& c) {
         return parseCount(v, 1 << 20, &c.serve.storageOptions.mmapMiB, true);
       }},
      {QLatin1StringView("--temp-mb"),
       {Kind::Serve},
       [](const QString& v, Command& c) { return parseCount(v, 1 << 20, &c.serve.tempMiB); }},
      {QLatin1StringView("--log-file"),
       {Kind::Serve},
       [](const QString& v, Command& c) {
         c.serve.logFile = v;
         return ok();
       }},
      {QLatin1StringView("--pg-connections"),
       {Kind::Serve},
       [](const QString& v, Command& c) {
         return parseCount(v, 1000, &c.serve.storageOptions.pgConnections);
       }},
      {QLatin1StringView("--from"),
       {Kind::Copy},
       [](const QString& v, Command& c) {
         c.from = v;
         return ok();
       }},
      {QLatin1StringView("--to"),
       {Kind::Copy, Kind::Backup},
       [](const QString& v, Command& c) {
         c.to = v;
         return ok();
       }},
      {QLatin1StringView("--drain-timeout"),
       {Kind::Serve},
       [](const QString& v, Command& c) { return parseSeconds(v, &c.serve.drainTimeoutMs, true); }},
      {QLatin1StringView("--backup-dir"),
       {Kind::Serve, Kind::Upgrade},
       [](const QString& v, Command& c) {
         c.serve.backupDir = v;
         return ok();
       }},
      {QLatin1StringView("--backup-hours"),
       {Kind::Serve},
       [](const QString& v, Command& c) { return parseHours(v, &c.serve.backupHours); }},
      {QLatin1StringView("--backup-keep"),
       {Kind::Serve},
       [](const QString& v, Command& c) { return parseCount(v, 10000, &c.serve.backupKeep); }},
      {QLatin1StringView("--cert"),
       {Kind::MakeCert},
       [](const QString& v, Command& c) {
         c.certFile = v;
         return ok();
       }},
      {QLatin1StringView("--key"),
       {Kind::MakeCert},
       [](const QString& v, Command& c) {
         c.keyFile = v;
         return ok();
       }},
      {QLatin1StringView("--days"),
       {Kind::MakeCert},
       [](const QString& v, Command& c) { return parseCount(v, 36500, &c.days); }},
  };
  return options;
}

const ValueOption* valueOption(const QString& arg, Kind kind) {
  for (const ValueOption& option : valueOptions())
    if (arg == option.name && option.kinds.contains(kind)) return &option;
  return nullptr;
}

const QList<std::pair<QLatin1StringView, Kind>> kVerbs = {
    {QLatin1StringView("add-account"), Kind::AddAccount},
    {QLatin1StringView("seed-demo"), Kind::SeedDemo},
    {QLatin1StringView("make-cert"), Kind::MakeCert},
    {QLatin1StringView("copy"), Kind::Copy},
    {QLatin1StringView("backup"), Kind::Backup},
    {QLatin1StringView("upgrade"), Kind::Upgrade},
};

Status checkServe(const Command& command) {
  const ServeOptions& serve = command.serve;
  if (serve.tlsCert.isEmpty() != serve.tlsKey.isEmpty())
    return Error{QStringLiteral("--tls-cert 与 --tls-key 须同时给出")};
  if (serve.tlsCert.isEmpty() && !serve.insecure && !isLoopback(command.host))
    return Error{QStringLiteral("在 %1 上监听会让密码以明文经过网络：请用 --tls-cert/--tls-key "
                                "启用 TLS（staffinfo-server make-cert 可生成自签名证书），"
                                "或明确给出 --insecure")
                     .arg(command.host)};
  return ok();
}

}  // namespace

bool isLoopback(const QString& host) {
  return host == u"localhost" || QHostAddress(host).isLoopback();
}

Result<Command> parseCommand(const QStringList& arguments) {
  Command command;
  QStringList rest = arguments;
  if (!rest.isEmpty() && !rest.front().startsWith(u'-')) {
    const QString verb = rest.takeFirst();
    const auto known = std::find_if(kVerbs.begin(), kVerbs.end(),
                                    [&](const auto& entry) { return verb == entry.first; });
    if (known != kVerbs.end())
      command.kind = known->second;
    else if (verb != kServe)
      return Error{QStringLiteral("未知的子命令：%1").arg(verb)};
  }

  QStringList positional;
  while (!rest.isEmpty()) {
    const QString arg = rest.takeFirst();
    if (arg == u"--insecure" && command.kind == Kind::Serve) {
      command.serve.insecure = true;
      continue;
    }
    if (arg == u"--check" && command.kind == Kind::Upgrade) {
      command.check = true;
      continue;
    }
    const ValueOption* option = valueOption(arg, command.kind);
    if (!option) {
      if (arg.startsWith(u"--")) return Error{QStringLiteral("未知的选项：%1").arg(arg)};
      positional << arg;
      continue;
    }
    if (rest.isEmpty()) return Error{QStringLiteral("%1 缺少取值").arg(arg)};
    if (Status s = option->set(rest.takeFirst(), command); !s)
      return Error{QStringLiteral("%1：%2").arg(arg, s.error())};
  }

  switch (command.kind) {
    case Kind::Serve:
      if (!positional.isEmpty())
        return Error{QStringLiteral("serve 不接受参数：%1").arg(positional.join(u' '))};
      if (Status s = checkServe(command); !s) return Error{s.error()};
      break;
    case Kind::AddAccount:
      if (positional.size() != 3) return Error{QStringLiteral("add-account 需要 ID NAME ROLE")};
      command.id = positional[0];
      command.name = positional[1];
      if (Status s = parseRole(positional[2], command); !s) return Error{s.error()};
      break;
    case Kind::SeedDemo: {
      bool parsed = false;
      command.persons = positional.size() == 1 ? positional[0].toInt(&parsed) : 0;
      if (!parsed || command.persons < 0)
        return Error{QStringLiteral("seed-demo 需要人数 N（非负整数）")};
      break;
    }
    case Kind::MakeCert:
      if (command.certFile.isEmpty() || command.keyFile.isEmpty())
        return Error{QStringLiteral("make-cert 需要 --cert FILE 和 --key FILE")};
      command.names = positional;
      break;
    case Kind::Copy:
      if (command.from.isEmpty() || command.to.isEmpty() || !positional.isEmpty())
        return Error{QStringLiteral("copy 需要 --from DB 和 --to DB")};
      if (command.from == command.to) return Error{QStringLiteral("copy 的源和目标不能相同")};
      break;
    case Kind::Backup:
      if (command.to.isEmpty() || !positional.isEmpty())
        return Error{QStringLiteral("backup 需要 --db DB 和 --to FILE")};
      if (command.to == command.database)
        return Error{QStringLiteral("backup 的目标不能是数据库本身")};
      break;
    case Kind::Upgrade:
      if (!positional.isEmpty())
        return Error{QStringLiteral("upgrade 不接受参数：%1").arg(positional.join(u' '))};
      break;
  }
  return command;
}

QString usage() {
  return QStringLiteral(
      "usage:\n"
      "  staffinfo-server [serve] [--db DB] [--listen HOST:PORT]\n"
      "                   [--tls-cert FILE --tls-key FILE] [--insecure]\n"
      "                   [--signin-timeout S] [--stall-timeout S] [--idle-timeout S]\n"
      "                   [--max-connections N] [--max-per-address N] [--max-unsigned N]\n"
      "                   [--workers N] [--throttle S] [--cache-mb N] [--mmap-mb N]\n"
      "                   [--pg-connections N] [--temp-mb N] [--log-file FILE]\n"
      "      serve clients (defaults: --db staffinfo.db, --listen 127.0.0.1:7070;\n"
      "      port 0 picks a free port). Off loopback the wire must run in TLS: give the\n"
      "      certificate and key (PEM), or --insecure to serve plain TCP anyway.\n"
      "      A connection not signed in within --signin-timeout (10 s), or whose frame has not\n"
      "      arrived whole --stall-timeout (10 s) after its first byte, is closed, and so is a\n"
      "      signed-in one idle for --idle-timeout (1800 s). The server holds at most\n"
      "      --max-connections (10000) connections (each needs an open file: raise the\n"
      "      process's limit, ulimit -n, to match), one address at most --max-per-address\n"
      "      (a quarter of them), and those not signed in yet at most --max-unsigned (a\n"
      "      tenth); an ordinary user's account holds 4, an administrator's 32, and the last\n"
      "      places are kept for administrators. Requests run on --workers threads (four per\n"
      "      core); repeated failed sign-ins wait --throttle (1 s), doubling (0: no waiting, for\n"
      "      test set-ups only). Each worker reads through a page cache of --cache-mb (16) MiB\n"
      "      and maps up to --mmap-mb (4096; 0: none) MiB of the file, shared by all workers.\n"
      "      On PostgreSQL the server holds at most --pg-connections (16) database connections\n"
      "      of each kind, shared by its workers. One query may write at most --temp-mb (512)\n"
      "      MiB of temporary files. The log goes to standard error, or to --log-file, renamed\n"
      "      FILE.1 … FILE.3 as it passes 16 MiB.\n"
      "      On SIGTERM or SIGINT it stops accepting, lets requests in flight finish (up to\n"
      "      --drain-timeout, 10 s), closes the database cleanly and exits. With --backup-dir\n"
      "      DIR it writes a backup there every --backup-hours (24; fractions allowed) hours,\n"
      "      keeping the newest --backup-keep (7).\n"
      "  staffinfo-server add-account --db DB ID NAME ROLE\n"
      "      create or overwrite an account and its info row; the password is read as one\n"
      "      line from standard input; ROLE: 0 超级管理员, 1 管理员, 2 普通用户\n"
      "  staffinfo-server seed-demo --db DB N\n"
      "      fill an empty database with N demo persons and the demo administrators\n"
      "  staffinfo-server make-cert --cert FILE --key FILE [--days N] [HOST...]\n"
      "      write a self-signed TLS certificate valid for the HOST names and addresses\n"
      "      (default: this machine's name, localhost, 127.0.0.1, ::1) and its private key;\n"
      "      clients trust it with --ca FILE\n"
      "  staffinfo-server copy --from DB --to DB\n"
      "      copy a whole database into an empty one (SQLite to PostgreSQL or back) and\n"
      "      check the row counts; a backup is restored by copying it into an empty database\n"
      "  staffinfo-server backup --db DB --to FILE\n"
      "      write a consistent copy of DB (also while it is served) into the SQLite file FILE,\n"
      "      checked before it takes that name\n"
      "  staffinfo-server upgrade --db DB [--check]\n"
      "      bring DB to this program's schema version, after a backup beside it (the server\n"
      "      does so at start); --check only says what would be done\n"
      "DB is the path of an SQLite file, or a PostgreSQL database: a "
      "postgresql://USER@HOST:PORT/NAME\n"
      "URL or a \"host=… dbname=…\" connection string (missing parts from the PG* environment\n"
      "variables). A new database gets the schema automatically.\n");
}

}  // namespace server
