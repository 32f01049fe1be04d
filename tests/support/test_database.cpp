#include "tests/support/test_database.h"

#include <sqlite3.h>

#include <QAtomicInteger>
#include <QCoreApplication>

#include "storage/open.h"
#include "storage/postgres/db.h"
#include "storage/sql_text.h"

namespace testdb {

namespace {

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

QList<QVariantList> sqliteSql(const QString& path, const QString& statement,
                              const QVariantList& params) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
    qFatal("cannot open %s: %s", qPrintable(path), sqlite3_errmsg(db));
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

std::unique_ptr<storage::pg::Connection> connect(const QString& location) {
  auto connection = storage::pg::Connection::open(location, storage::pg::Role::Writer);
  if (!connection)
    qFatal("cannot connect to %s: %s", qPrintable(location), qPrintable(connection.error()));
  return std::move(*connection);
}

QList<QVariantList> pgSql(const QString& location, const QString& statement,
                          const QVariantList& params = {}) {
  const std::unique_ptr<storage::pg::Connection> db = connect(location);
  const storage::sqltext::NumberedMarks numbered = storage::sqltext::numberMarks(statement);
  auto result = db->run(numbered.text, storage::pg::Params(params));
  if (!result) qFatal("\"%s\" failed: %s", qPrintable(statement), qPrintable(result.error()));
  QList<QVariantList> rows;
  for (int r = 0; r < PQntuples(result->get()); ++r) {
    QVariantList row;
    for (int c = 0; c < PQnfields(result->get()); ++c)
      row << storage::pg::value(result->get(), r, c);
    rows << row;
  }
  return rows;
}

QString cluster() {
  const QString base = qEnvironmentVariable("STAFFINFO_TEST_PG");
  if (base.isEmpty())
    qFatal(
        "STAFFINFO_TEST_PG is not set: PostgreSQL tests run through CTest, which starts the "
        "test cluster (scripts/pg-cluster)");
  return base;
}

}  // namespace

bool onPostgres() { return qEnvironmentVariable("STAFFINFO_TEST_STORAGE") == u"postgres"; }

PgDatabase::PgDatabase() {
  static QAtomicInteger<int> made = 0;
  name_ = QStringLiteral("t%1_%2").arg(QCoreApplication::applicationPid()).arg(++made);
  pgSql(cluster(), QStringLiteral("CREATE DATABASE %1").arg(name_));
  location_ = cluster() + QStringLiteral(" dbname=") + name_;
}

PgDatabase::~PgDatabase() {
  pgSql(cluster(), QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name_));
}

FreshDatabase::FreshDatabase(const QString& folder, const QString& file)
    : pg_(onPostgres() ? std::make_unique<PgDatabase>() : nullptr),
      location_(pg_ ? pg_->location() : folder + u'/' + file) {}

QList<QVariantList> sql(const QString& location, const QString& statement,
                        const QVariantList& params) {
  return storage::isPostgres(location) ? pgSql(location, statement, params)
                                       : sqliteSql(location, statement, params);
}

}  // namespace testdb
