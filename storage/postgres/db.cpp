#include "storage/postgres/db.h"

#include <QLocale>
#include <QRegularExpression>

#include "storage/postgres/schema.h"
#include "storage/storage.h"

namespace storage::pg {

namespace {

// Type identities of the built-in types a result may carry (pg_type.oid).
constexpr Oid kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23, kText = 25, kFloat4 = 700,
              kFloat8 = 701, kNumeric = 1700;

// What each kind of connection sets for itself once. A reader's role may only select, its
// `user_name` is the view without passwords, and nothing it runs can write.
QString setUp(Role role) {
  const QString limits = QStringLiteral(
                             "SET client_encoding = 'UTF8'; SET standard_conforming_strings = on;"
                             " SET client_min_messages = warning; SET statement_timeout = %1;"
                             " SET lock_timeout = %2;")
                             .arg(kStatementTimeoutMs)
                             .arg(kLockTimeoutMs);
  if (role == Role::Writer) return limits + QStringLiteral(" SET search_path = public");
  return limits + QStringLiteral(
                      " SET ROLE %1; SET search_path = %2, public;"
                      " SET default_transaction_read_only = on")
                      .arg(quoted(kReaderRole), quoted(kReaderSchema));
}

}  // namespace

Params::Params(const QVariantList& values) {
  for (const QVariant& v : values) add(v);
}

QByteArray textOf(const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::Bool:
      return value.toBool() ? "1" : "0";
    case QMetaType::Double:
      return QByteArray::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    default:
      return value.toString().toUtf8();
  }
}

void Params::add(const QVariant& value) {
  texts_.push_back(value.isNull() ? QByteArray() : textOf(value));
  // The texts may move as the list grows: point into them afresh.
  pointers_.clear();
  for (size_t i = 0; i < texts_.size(); ++i)
    pointers_.push_back(texts_[i].isNull() ? nullptr : texts_[i].constData());
}

QVariant value(const PGresult* rows, int row, int column) {
  if (PQgetisnull(rows, row, column)) return QVariant();
  const char* text = PQgetvalue(rows, row, column);
  const int size = PQgetlength(rows, row, column);
  switch (PQftype(rows, column)) {
    case kInt2:
    case kInt4:
    case kInt8:
      return QVariant(QByteArray::fromRawData(text, size).toLongLong());
    case kBool:
      return QVariant(qint64(text[0] == 't' ? 1 : 0));
    case kNumeric:
    case kFloat4:
    case kFloat8: {
      const QByteArray number = QByteArray::fromRawData(text, size);
      bool whole = false;
      const qint64 integer = number.toLongLong(&whole);
      if (whole) return QVariant(integer);
      bool real = false;
      const double d = number.toDouble(&real);
      if (real) return QVariant(QString::number(d, 'g', QLocale::FloatingPointShortest));
      return QVariant(QString::fromLatin1(number));
    }
    default:
      return QVariant(QString::fromUtf8(text, size));
  }
}

Result<std::unique_ptr<Connection>> Connection::open(const QString& location, Role role) {
  PGconn* conn = PQconnectdb(location.toUtf8().constData());
  std::unique_ptr<Connection> connection(new Connection(conn, role));
  if (!conn) return Error{QStringLiteral("内存不足")};
  if (PQstatus(conn) != CONNECTION_OK)
    return Error{QStringLiteral("无法连接数据库：%1")
                     .arg(QString::fromUtf8(PQerrorMessage(conn)).trimmed())};
  // The temporary files of a reader's query are bounded as on SQLite. Only a superuser may set
  // this; under another role the database's own setting holds (README: ALTER ROLE … SET).
  if (role == Role::Reader)
    PQclear(PQexec(conn, QStringLiteral("SET temp_file_limit = '%1kB'")
                             .arg(queryTempBytes() / 1024)
                             .toUtf8()
                             .constData()));
  if (Status s = connection->exec(setUp(role)); !s) return Error{s.error()};
  return connection;
}

Connection::~Connection() { PQfinish(conn_); }

Result<Rows> Connection::checked(PGresult* raw) {
  Rows rows(raw);
  const ExecStatusType status = PQresultStatus(raw);
  if (raw && (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)) return rows;
  lastState_ = state(raw);
  lastMessage_ = message(raw);
  return Error{failure(raw)};
}

Status Connection::exec(const QString& sql) {
  Result<Rows> rows = checked(PQexec(conn_, sql.toUtf8().constData()));
  if (!rows) return Error{rows.error()};
  return ok();
}

Result<Rows> Connection::run(const QString& sql, const Params& params) {
  return checked(PQexecParams(conn_, sql.toUtf8().constData(), params.size(), nullptr,
                              params.values(), nullptr, nullptr, 0));
}

Result<QByteArray> Connection::prepared(const QString& sql, int marks) {
  if (const auto found = statements_.constFind(sql); found != statements_.cend()) return *found;
  if (statements_.size() >= kMostStatements) {
    if (Status s = exec(QStringLiteral("DEALLOCATE ALL")); !s) return Error{s.error()};
    statements_.clear();
  }
  const QByteArray name = "s" + QByteArray::number(++named_);
  const QByteArray text = sql.toUtf8();
  Result<Rows> made = checked(PQprepare(conn_, name.constData(), text.constData(), 0, nullptr));
  const QByteArray code = made ? QByteArray() : lastState_;
  if (!made && marks > 0 && (code == "42P18" || code == "42725")) {
    // "? || ?" or "select ?" leave a type to be chosen: there, text.
    const std::vector<Oid> texts(size_t(marks), kText);
    made = checked(PQprepare(conn_, name.constData(), text.constData(), marks, texts.data()));
  }
  if (!made) return Error{made.error()};
  statements_.insert(sql, name);
  return name;
}

Result<Rows> Connection::runPrepared(const QByteArray& name, const Params& params) {
  return checked(
      PQexecPrepared(conn_, name.constData(), params.size(), params.values(), nullptr, nullptr, 0));
}

QString withoutPassword(const QString& location) {
  PQconninfoOption* options = PQconninfoParse(location.toUtf8().constData(), nullptr);
  if (!options) return QStringLiteral("(PostgreSQL)");
  QStringList words;
  for (const PQconninfoOption* o = options; o->keyword; ++o)
    if (o->val && *o->val && qstrcmp(o->keyword, "password") != 0)
      words << QStringLiteral("%1=%2").arg(QString::fromUtf8(o->keyword),
                                           QString::fromUtf8(o->val));
  PQconninfoFree(options);
  return words.join(u' ');
}

void abandonRunning(PGconn* conn) {
  if (PGcancel* cancel = PQgetCancel(conn)) {
    char reason[256];
    PQcancel(cancel, reason, sizeof reason);
    PQfreeCancel(cancel);
  }
  while (PGresult* rest = PQgetResult(conn)) PQclear(rest);
}

QByteArray state(const PGresult* rows) {
  const char* code = rows ? PQresultErrorField(rows, PG_DIAG_SQLSTATE) : nullptr;
  return code ? QByteArray(code) : QByteArray();
}

QString Connection::message(const PGresult* rows) const {
  const char* primary = rows ? PQresultErrorField(rows, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  return QString::fromUtf8(primary ? primary : PQerrorMessage(conn_)).trimmed();
}

QString Connection::failure(const PGresult* rows) const {
  const QString message = this->message(rows);
  const QByteArray code = state(rows);
  if (code.isEmpty() && broken()) return QStringLiteral("与数据库的连接中断：%1").arg(message);
  if (code == "25006") return QStringLiteral("只允许查询，不能修改数据");
  if (code == "42501") return QStringLiteral("没有权限：%1").arg(message);
  if (code == "57014") return QStringLiteral("查询时间过长，已中止");
  if (code == "55P03" || code == "40P01" || code == "40001" || code == "53300")
    return QStringLiteral("数据库正忙，请稍后重试");
  if (code == "23505") {
    // Named as SQLite names it: the table and the column whose value repeats.
    static const QRegularExpression key(QStringLiteral("^Key \\(([^)]*)\\)="));
    const QString detail = QString::fromUtf8(PQresultErrorField(rows, PG_DIAG_MESSAGE_DETAIL));
    return QStringLiteral("保存失败：与已有记录重复（UNIQUE constraint failed: %1.%2）")
        .arg(QString::fromUtf8(PQresultErrorField(rows, PG_DIAG_TABLE_NAME)),
             key.match(detail).captured(1));
  }
  if (code.startsWith("23")) return QStringLiteral("保存失败：不符合数据约束（%1）").arg(message);
  if (code == "53400" && message.contains(QStringLiteral("temp_file_limit")))
    return tempLimitMessage();
  if (code == "53200" || code == "54000" || code == "54001")
    return QStringLiteral("服务器内存不足，请缩小查询范围");
  return QStringLiteral("数据库错误：%1").arg(message);
}

}  // namespace storage::pg
