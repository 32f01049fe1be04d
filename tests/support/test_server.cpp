#include "tests/support/test_server.h"

#include <sqlite3.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTcpSocket>

namespace {

constexpr int kStartTimeoutMs = 15000;

QVariant columnValue(sqlite3_stmt* statement, int column) {
  switch (sqlite3_column_type(statement, column)) {
    case SQLITE_NULL:
      return QVariant();
    case SQLITE_INTEGER:
      return QVariant(qint64(sqlite3_column_int64(statement, column)));
    case SQLITE_FLOAT:
      return QVariant(sqlite3_column_double(statement, column));
    default:
      return QVariant(
          QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
                            sqlite3_column_bytes(statement, column)));
  }
}

void bindValue(sqlite3_stmt* statement, int index, const QVariant& value) {
  if (value.isNull()) {
    sqlite3_bind_null(statement, index);
  } else if (value.typeId() == QMetaType::Int || value.typeId() == QMetaType::LongLong) {
    sqlite3_bind_int64(statement, index, value.toLongLong());
  } else {
    const QByteArray text = value.toString().toUtf8();
    sqlite3_bind_text(statement, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
  }
}

}  // namespace

QString TestServer::binary() { return qEnvironmentVariable("STAFFINFO_SERVER_BIN"); }

TestServer::TestServer(const QString& dbPath, const QStringList& options)
    : dbPath_(dbPath.isEmpty() ? dir_.filePath(QStringLiteral("staff.db")) : dbPath),
      logPath_(dir_.filePath(QStringLiteral("server.log"))),
      options_(options) {
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

bool TestServer::restart() {
  kill();
  return start(host() + u':' + QString::number(port_));
}

qint64 TestServer::peakMemoryKb() const {
  QFile status(QStringLiteral("/proc/%1/status").arg(process_.processId()));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  static const QRegularExpression peak(QStringLiteral("VmHWM:\\s+(\\d+) kB"));
  return peak.match(QString::fromLatin1(status.readAll())).captured(1).toLongLong();
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
  QProcess tool;
  tool.start(binary(), {QStringLiteral("add-account"), QStringLiteral("--db"), dbPath_, id, name,
                        QString::number(role)});
  tool.write(password.toUtf8() + '\n');
  tool.closeWriteChannel();
  if (!tool.waitForFinished(30000) || tool.exitStatus() != QProcess::NormalExit ||
      tool.exitCode() != 0) {
    qWarning("add-account failed: %s", tool.readAllStandardError().constData());
    return false;
  }
  return true;
}

QList<QVariantList> TestServer::sql(const QString& statement, const QVariantList& params) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(dbPath_.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) !=
      SQLITE_OK)
    qFatal("cannot open %s: %s", qPrintable(dbPath_), sqlite3_errmsg(db));
  sqlite3_busy_timeout(db, 5000);
  sqlite3_stmt* prepared = nullptr;
  const QByteArray text = statement.toUtf8();
  if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &prepared, nullptr) != SQLITE_OK)
    qFatal("cannot prepare \"%s\": %s", text.constData(), sqlite3_errmsg(db));
  for (int i = 0; i < params.size(); ++i) bindValue(prepared, i + 1, params[i]);
  QList<QVariantList> rows;
  int rc;
  while ((rc = sqlite3_step(prepared)) == SQLITE_ROW) {
    QVariantList row;
    for (int c = 0; c < sqlite3_column_count(prepared); ++c) row << columnValue(prepared, c);
    rows << row;
  }
  if (rc != SQLITE_DONE) qFatal("\"%s\" failed: %s", text.constData(), sqlite3_errmsg(db));
  sqlite3_finalize(prepared);
  sqlite3_close(db);
  return rows;
}
