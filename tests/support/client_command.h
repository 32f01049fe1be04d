#pragma once

// Runs the client program's window-less commands as an administrator's script does: the real
// program ($STAFFINFO_BIN) against a test server, the password on standard input.
#include <QProcess>
#include <QStringList>

#include "tests/support/test_server.h"

namespace client_command {

struct Run {
  int status = -1;  // -1: it crashed or took over two minutes
  QString out, err;
};

inline Run run(const TestServer& server, const QStringList& arguments,
               const QString& password = QStringLiteral("secret")) {
  QProcess process;
  process.start(
      qEnvironmentVariable("STAFFINFO_BIN"),
      arguments + QStringList{"--server", QStringLiteral("127.0.0.1:%1").arg(server.port())});
  process.write((password + u'\n').toUtf8());
  process.closeWriteChannel();
  Run result;
  if (!process.waitForFinished(120000)) return result;
  result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  result.out = QString::fromUtf8(process.readAllStandardOutput());
  result.err = QString::fromUtf8(process.readAllStandardError());
  return result;
}

}  // namespace client_command
