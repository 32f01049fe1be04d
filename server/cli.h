#pragma once

#include <QString>
#include <QStringList>

#include "server/serve_options.h"
#include "server/status.h"

// The command line of staffinfo-server.
namespace server {

struct Command {
  enum class Kind { Serve, AddAccount, SeedDemo, MakeCert, Copy, Backup, Upgrade };
  Kind kind = Kind::Serve;
  QString database = QStringLiteral("staffinfo.db");
  QString host = QStringLiteral("127.0.0.1");
  quint16 port = 7070;  // 0: any free port
  ServeOptions serve;
  // add-account
  QString id;
  QString name;
  int role = 0;
  // seed-demo
  int persons = 0;
  // make-cert: where the pair goes, how long it is valid, the names it is valid for
  QString certFile;
  QString keyFile;
  int days = 3650;
  QStringList names;
  // copy: the source and the target database; backup: the target file
  QString from;
  QString to;
  // upgrade: only say what would be done
  bool check = false;
};

// Parses the arguments after the program name. The error names what is wrong; print it with
// usage().
Result<Command> parseCommand(const QStringList& arguments);

// True for an address only this machine can reach (127.0.0.0/8, ::1, localhost).
bool isLoopback(const QString& host);

QString usage();

}  // namespace server
