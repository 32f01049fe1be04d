#include "tests/support/test_server.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTcpSocket>

namespace {

constexpr int kStartTimeoutMs = 15000;

}  // namespace

QString TestServer::binary() { return qEnvironmentVariable("STAFFINFO_SERVER_BIN"); }

TestServer::TestServer(const QString& dbPath, const QStringList& options)
    : dbPath_(dbPath), logPath_(dir_.filePath(QStringLiteral("server.log"))), options_(options) {
  if (dbPath_.isEmpty())
    dbPath_ = fresh_.emplace(dir_.path(), QStringLiteral("staff.db")).location();
  if (binary().isEmpty()) qFatal("STAFFINFO_SERVER_BIN is not set");
  start(host() + QStringLiteral(":0"));
}

bool TestServer::start(const QString& listen) {
  // The log goes to a file: a pipe nobody reads would stall the server once full.
  process_.setStandardErrorFile(logPath_, QIODevice::Append);
  process_.setStandardOutputFile(QProcess::nullDevice());
  const qsizetype logged = log().size();
  process_.start(binary(), QStringList{QStringLiteral("serve"), QStringLiteral("--db"), dbPath_,
                                       QStringLiteral("--listen"), listen}
                               << options_);
  if (!process_.waitForStarted(kStartTimeoutMs)) return false;

  static const QRegularExpression listening(QStringLiteral("listening on [^\\s]+:(\\d+)"));
  QDeadlineTimer deadline(kStartTimeoutMs);
  port_ = 0;
  while (!deadline.hasExpired() && process_.state() == QProcess::Running) {
    const QRegularExpressionMatch match = listening.match(log().mid(logged));
    if (match.hasMatch()) {
      port_ = quint16(match.captured(1).toUInt());
      break;
    }
    process_.waitForFinished(20);
  }
  QTcpSocket probe;
  probe.connectToHost(host(), port_);
  if (port_ == 0 || !probe.waitForConnected(int(qMax<qint64>(deadline.remainingTime(), 1000)))) {
    qWarning("staffinfo-server did not start:\n%s", qPrintable(log()));
    return false;
  }
  return true;
}

void TestServer::kill() {
  process_.kill();
  process_.waitForFinished(5000);
}

int TestServer::stop(int timeoutMs) {
  process_.terminate();
  if (!process_.waitForFinished(timeoutMs) || process_.exitStatus() != QProcess::NormalExit)
    return -1;
  return process_.exitCode();
}

int TestServer::run(const QStringList& arguments, const QByteArray& input, QString* output) {
  QProcess tool;
  tool.setProcessChannelMode(QProcess::MergedChannels);
  tool.start(binary(), arguments);
  tool.write(input);
  tool.closeWriteChannel();
  const bool finished = tool.waitForFinished(60000);
  if (output) *output = QString::fromUtf8(tool.readAll());
  if (!finished || tool.exitStatus() != QProcess::NormalExit) return -1;
  return tool.exitCode();
}

bool TestServer::restart() {
  kill();
  return start(host() + u':' + QString::number(port_));
}

qint64 TestServer::peakMemoryKb() const { return status("VmHWM"); }

qint64 TestServer::status(const char* field) const {
  QFile status(QStringLiteral("/proc/%1/status").arg(process_.processId()));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  const QRegularExpression line(QStringLiteral("%1:\\s+(\\d+)").arg(QLatin1StringView(field)));
  return line.match(QString::fromLatin1(status.readAll())).captured(1).toLongLong();
}

TestServer::~TestServer() {
  if (process_.state() == QProcess::NotRunning) return;
  process_.terminate();
  if (!process_.waitForFinished(5000)) {
    process_.kill();
    process_.waitForFinished(5000);
  }
}

bool TestServer::running() const { return process_.state() == QProcess::Running && port_ != 0; }

QString TestServer::log() const {
  QFile file(logPath_);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool TestServer::addAccount(const QString& id, const QString& name, int role,
                            const QString& password) {
  QString output;
  if (run({QStringLiteral("add-account"), QStringLiteral("--db"), dbPath_, id, name,
           QString::number(role)},
          password.toUtf8() + '\n', &output) != 0) {
    qWarning("add-account failed: %s", qPrintable(output));
    return false;
  }
  return true;
}

QList<QVariantList> TestServer::sql(const QString& statement, const QVariantList& params) {
  return testdb::sql(dbPath_, statement, params);
}
