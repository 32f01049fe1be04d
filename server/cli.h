#pragma once

#include <QString>
#include <QStringList>

#include "server/result.h"

// The command line of staffinfo-server.
namespace server {

struct Command {
  enum class Kind { Serve, AddAccount, SeedDemo };
  Kind kind = Kind::Serve;
  QString database = QStringLiteral("staffinfo.db");
  QString host = QStringLiteral("127.0.0.1");
  quint16 port = 7070;  // 0: any free port
  // add-account
  QString id;
  QString name;
  int role = 0;
  // seed-demo
  int persons = 0;
};

// Parses the arguments after the program name. The error names what is wrong; print it with
// usage().
Result<Command> parseCommand(const QStringList& arguments);

QString usage();

}  // namespace server
