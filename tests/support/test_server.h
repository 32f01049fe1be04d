#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QVariantList>
#include <memory>
#include <optional>

#include "tests/support/test_database.h"

// A real staffinfo-server ($STAFFINFO_SERVER_BIN) on a free loopback port, for one test.
// The constructor returns once the server accepts connections (or has failed to start: see
// running()); the destructor stops it. Unless a database is given (a file path or a PostgreSQL
// connection string), it serves a fresh one: an SQLite file in a temporary folder, or a new
// PostgreSQL database when the tests run on PostgreSQL (see test_database.h). `options` are
// added to its `serve` command line.
class TestServer {
 public:
  explicit TestServer(const QString& dbPath = QString(), const QStringList& options = {});
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  QString host() const { return QStringLiteral("127.0.0.1"); }
  quint16 port() const { return port_; }
  QString dbPath() const { return dbPath_; }
  bool running() const;

  // Stops the server abruptly (SIGKILL, as in a crash or power loss) and waits until it is gone.
  void kill();
  // Stops it as its service manager would (SIGTERM) and returns its exit status; -1 when it
  // crashed or did not end within `timeoutMs`.
  int stop(int timeoutMs = 30000);
  // Starts it again on the same port, database and options; true once it accepts connections.
  bool restart();

  // The server's process id (0 when it is not running).
  qint64 processId() const { return process_.processId(); }
  // The most memory the server process has held so far (VmHWM), in KiB; 0 when unknown.
  qint64 peakMemoryKb() const;
  // A number the server's /proc status gives (VmRSS in KiB, Threads…); 0 when unknown.
  qint64 status(const char* field) const;

  // Runs `staffinfo-server add-account` on the database (the password goes to its standard
  // input). True when it succeeded.
  bool addAccount(const QString& id, const QString& name, int role, const QString& password);

  // Runs one statement directly on the database (see testdb::sql): for setting up states the
  // server would not make, and for checking what the server cannot show.
  QList<QVariantList> sql(const QString& statement, const QVariantList& params = {});

  // What the server wrote to standard error so far.
  QString log() const;

  // Path of the server program.
  static QString binary();
  // Runs the program with `arguments` (a sub-command), `input` on its standard input; its exit
  // status (-1: it crashed or took over a minute), and what it wrote in `output`.
  static int run(const QStringList& arguments, const QByteArray& input = {},
                 QString* output = nullptr);

 private:
  bool start(const QString& listen);

  QTemporaryDir dir_;
  std::optional<testdb::FreshDatabase> fresh_;
  QString dbPath_;
  QString logPath_;
  QStringList options_;
  QProcess process_;
  quint16 port_ = 0;
};
