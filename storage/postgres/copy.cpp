#include "storage/postgres/copy.h"

#include <QHash>

#include "storage/postgres/db.h"
#include "storage/postgres/schema.h"

namespace storage::pg {

namespace {

QStringList storedColumns(const schema::Table& table) {
  QStringList names{QStringLiteral("rid")};
  for (const QString& name : table.columnNames()) names << quoted(name);
  return names;
}

// One field of COPY's text format.
void appendField(QByteArray& line, const QVariant& value) {
  if (value.isNull()) {
    line += "\\N";
    return;
  }
  for (char c : textOf(value)) {
    switch (c) {
      case '\\':
        line += "\\\\";
        break;
      case '\t':
        line += "\\t";
        break;
      case '\n':
        line += "\\n";
        break;
      case '\r':
        line += "\\r";
        break;
      default:
        line += c;
    }
  }
}

class PgCopyEnd final : public CopyEnd {
 public:
  explicit PgCopyEnd(std::unique_ptr<Connection> db) : db_(std::move(db)) {}

  Status beginRead() override {
    return db_->exec(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
  }
  Status finishRead() override { return db_->exec(QStringLiteral("COMMIT")); }

  Result<int> schemaVersion() override {
    Result<Rows> rows =
        db_->run(QStringLiteral("SELECT CASE WHEN to_regclass('public.%1') IS NULL THEN 0 ELSE "
                                "(SELECT coalesce(max(version), 0) FROM public.%1) END")
                     .arg(kVersionTable));
    if (!rows) return Error{rows.error()};
    return int(value(rows->get(), 0, 0).toLongLong());
  }

  Result<qint64> count(const schema::Table& table) override {
    Result<Rows> rows = db_->run(QStringLiteral("SELECT count(*) FROM %1").arg(quoted(table.name)));
    if (!rows) return Error{rows.error()};
    return value(rows->get(), 0, 0).toLongLong();
  }

  Status read(const schema::Table& table,
              const std::function<Status(const QVariantList& row)>& each) override {
    PGconn* conn = db_->get();
    const QByteArray sql = QStringLiteral("SELECT %1 FROM %2 ORDER BY rid")
                               .arg(storedColumns(table).join(u','), quoted(table.name))
                               .toUtf8();
    if (!PQsendQuery(conn, sql.constData())) return Error{db_->failure()};
    PQsetSingleRowMode(conn);
    Status result = ok();
    while (PGresult* raw = PQgetResult(conn)) {
      const Rows rows(raw);
      const ExecStatusType status = PQresultStatus(raw);
      if (status == PGRES_TUPLES_OK || !result) continue;
      if (status != PGRES_SINGLE_TUPLE) {
        result = Error{db_->failure(raw)};
        continue;
      }
      QVariantList row;
      for (int c = 0; c < PQnfields(raw); ++c) row << value(raw, 0, c);
      if (Status s = each(row); !s) {
        abandonRunning(conn);
        return s;
      }
    }
    return result;
  }

  Result<qint64> nextIdentity(const schema::Table& table) override {
    Result<QString> sequence = sequenceOf(table.name);
    if (!sequence) return Error{sequence.error()};
    Result<Rows> next = db_->run(
        QStringLiteral("SELECT greatest(CASE WHEN is_called THEN last_value + 1 ELSE last_value"
                       " END, (SELECT coalesce(max(rid), 0) + 1 FROM %1)) FROM %2")
            .arg(quoted(table.name), *sequence));
    if (!next) return Error{next.error()};
    return value(next->get(), 0, 0).toLongLong();
  }

  Status continueIdentities(const schema::Table& table, qint64 next) override {
    next_.insert(table.name, next);
    return ok();
  }

  // The indexes that back no constraint are dropped inside the transaction and made again
  // before it commits: built once from the whole table, not grown row by row.
  Status beginWrite() override {
    if (Status s = db_->exec(QStringLiteral("BEGIN")); !s) return s;
    Result<Rows> indexes = db_->run(QStringLiteral(
        "SELECT quote_ident(i.relname), pg_get_indexdef(i.oid) FROM pg_index x"
        " JOIN pg_class i ON i.oid = x.indexrelid JOIN pg_class t ON t.oid = x.indrelid"
        " WHERE t.relnamespace = current_schema()::regnamespace"
        " AND NOT EXISTS (SELECT 1 FROM pg_constraint c WHERE c.conindid = x.indexrelid)"));
    if (!indexes) return Error{indexes.error()};
    for (int r = 0; r < PQntuples(indexes->get()); ++r) {
      if (Status s = db_->exec(
              QStringLiteral("DROP INDEX %1").arg(value(indexes->get(), r, 0).toString()));
          !s)
        return s;
      indexesToMake_ << value(indexes->get(), r, 1).toString();
    }
    return ok();
  }

  Status startTable(const schema::Table& table) override {
    if (table.kind == schema::TableKind::Counter)
      if (Status s = db_->exec(QStringLiteral("DELETE FROM %1").arg(quoted(table.name))); !s)
        return s;
    tables_ << table.name;
    const QByteArray sql = QStringLiteral("COPY %1 (%2) FROM STDIN")
                               .arg(quoted(table.name), storedColumns(table).join(u','))
                               .toUtf8();
    const Rows started(PQexec(db_->get(), sql.constData()));
    if (PQresultStatus(started.get()) != PGRES_COPY_IN) return Error{db_->failure(started.get())};
    return ok();
  }

  // Rows go to the server a batch of about kBatchBytes at a time, not a call per row.
  Status write(const QVariantList& row) override {
    for (qsizetype i = 0; i < row.size(); ++i) {
      if (i) batch_ += '\t';
      appendField(batch_, row[i]);
    }
    batch_ += '\n';
    return batch_.size() >= kBatchBytes ? sendBatch() : ok();
  }

  Status endTable() override {
    if (Status s = sendBatch(); !s) return s;
    if (PQputCopyEnd(db_->get(), nullptr) != 1) return Error{db_->failure()};
    Status result = ok();
    while (PGresult* raw = PQgetResult(db_->get())) {
      const Rows rows(raw);
      if (PQresultStatus(raw) != PGRES_COMMAND_OK && result) result = Error{db_->failure(raw)};
    }
    return result;
  }

  Status commit() override {
    for (const QString& table : tables_) {
      Result<QString> sequence = sequenceOf(table);
      if (!sequence) return Error{sequence.error()};
      if (Status s = db_->exec(
              QStringLiteral("SELECT setval('%1', greatest(coalesce(max(rid), 0) + 1, %2), false)"
                             " FROM %3")
                  .arg(*sequence)
                  .arg(next_.value(table, 1))
                  .arg(quoted(table)));
          !s)
        return s;
    }
    for (const QString& index : std::as_const(indexesToMake_))
      if (Status s = db_->exec(index); !s) return s;
    if (Status s = db_->exec(QStringLiteral("COMMIT")); !s) return s;
    // Statistics at once, so the first reads of the copy are planned on its real sizes.
    return db_->exec(QStringLiteral("ANALYZE"));
  }

 private:
  static constexpr qsizetype kBatchBytes = 1 << 20;

  Status sendBatch() {
    if (batch_.isEmpty()) return ok();
    const int sent = PQputCopyData(db_->get(), batch_.constData(), int(batch_.size()));
    batch_.resize(0);  // keeps its capacity for the next batch
    return sent == 1 ? ok() : Status(Error{db_->failure()});
  }

  // The identity sequence of `table`, as a name fit for SQL text (it comes from the catalog).
  Result<QString> sequenceOf(const QString& table) {
    Result<Rows> name = db_->run(QStringLiteral("SELECT pg_get_serial_sequence($1, 'rid')"),
                                 Params({quoted(table)}));
    if (!name) return Error{name.error()};
    return value(name->get(), 0, 0).toString();
  }

  std::unique_ptr<Connection> db_;
  QByteArray batch_;
  QStringList indexesToMake_;
  QStringList tables_;
  QHash<QString, qint64> next_;
};

}  // namespace

Result<std::unique_ptr<CopyEnd>> openCopyEnd(const QString& location) {
  Result<std::unique_ptr<Connection>> db = Connection::open(location, Role::Writer);
  if (!db) return Error{db.error()};
  if (Status s = (*db)->exec(QStringLiteral("SET statement_timeout = 0")); !s)
    return Error{s.error()};
  return std::unique_ptr<CopyEnd>(new PgCopyEnd(std::move(*db)));
}

}  // namespace storage::pg
