#include "storage/sqlite/copy.h"

#include <QFileInfo>
#include <optional>

#include "storage/copy.h"
#include "storage/sqlite/db.h"

namespace storage::sqlite {

namespace {

QStringList storedColumns(const schema::Table& table) {
  QStringList names{QStringLiteral("rid")};
  for (const QString& name : table.columnNames()) names << quoted(name);
  return names;
}

class SqliteCopyEnd final : public CopyEnd {
 public:
  explicit SqliteCopyEnd(Handle db) : db_(std::move(db)) {}

  Status beginRead() override { return db_.exec(QStringLiteral("BEGIN")); }
  Status finishRead() override { return db_.exec(QStringLiteral("COMMIT")); }

  Result<int> schemaVersion() override {
    Result<Statement> statement = db_.prepare(QStringLiteral("PRAGMA user_version"));
    if (!statement) return Error{statement.error()};
    if (sqlite3_step(statement->get()) != SQLITE_ROW) return Error{db_.failure()};
    return sqlite3_column_int(statement->get(), 0);
  }

  Result<qint64> count(const schema::Table& table) override {
    Result<Statement> statement =
        db_.prepare(QStringLiteral("SELECT count(*) FROM %1").arg(quoted(table.name)));
    if (!statement) return Error{statement.error()};
    if (sqlite3_step(statement->get()) != SQLITE_ROW) return Error{db_.failure()};
    return qint64(sqlite3_column_int64(statement->get(), 0));
  }

  Status read(const schema::Table& table,
              const std::function<Status(const QVariantList& row)>& each) override {
    Result<Statement> statement =
        db_.prepare(QStringLiteral("SELECT %1 FROM %2 ORDER BY rid")
                        .arg(storedColumns(table).join(u','), quoted(table.name)));
    if (!statement) return Error{statement.error()};
    int rc;
    while ((rc = sqlite3_step(statement->get())) == SQLITE_ROW) {
      QVariantList row;
      for (int c = 0; c < statement->columnCount(); ++c) row << statement->column(c);
      if (Status s = each(row); !s) return s;
    }
    if (rc != SQLITE_DONE) return Error{db_.failure()};
    return ok();
  }

  Result<qint64> nextIdentity(const schema::Table& table) override {
    Result<Statement> next = db_.prepare(
        QStringLiteral("SELECT max(coalesce((SELECT seq FROM sqlite_sequence WHERE name=?1), 0),"
                       " coalesce((SELECT max(rid) FROM %1), 0)) + 1")
            .arg(quoted(table.name)));
    if (!next) return Error{next.error()};
    next->bindAll({table.name});
    if (sqlite3_step(next->get()) != SQLITE_ROW) return Error{db_.failure()};
    return qint64(sqlite3_column_int64(next->get(), 0));
  }

  Status continueIdentities(const schema::Table& table, qint64 next) override {
    // AUTOINCREMENT keeps the largest identity issued in sqlite_sequence.
    for (const char* sql : {"INSERT INTO sqlite_sequence(name, seq) SELECT ?1, ?2 WHERE NOT EXISTS"
                            " (SELECT 1 FROM sqlite_sequence WHERE name=?1)",
                            "UPDATE sqlite_sequence SET seq=max(seq, ?2) WHERE name=?1"}) {
      Result<Statement> statement = db_.prepare(QString::fromLatin1(sql));
      if (!statement) return Error{statement.error()};
      statement->bindAll({table.name, next - 1});
      if (Status s = runToEnd(db_, *statement); !s) return s;
    }
    return ok();
  }

  // The indexes are dropped inside the transaction and made again before it commits: an index
  // built once from the whole table is many times quicker than one grown row by row, which at a
  // million persons spills the page cache into the log over and over.
  Status beginWrite() override {
    Result<Transaction> transaction = Transaction::begin(db_);
    if (!transaction) return Error{transaction.error()};
    transaction_.emplace(std::move(*transaction));
    QStringList names;
    {
      Result<Statement> indexes = db_.prepare(QStringLiteral(
          "SELECT name, sql FROM sqlite_master WHERE type='index' AND sql IS NOT NULL"));
      if (!indexes) return Error{indexes.error()};
      while (sqlite3_step(indexes->get()) == SQLITE_ROW) {
        names << indexes->column(0).toString();
        indexesToMake_ << indexes->column(1).toString();
      }
    }  // finished before the indexes are dropped
    for (const QString& name : names)
      if (Status s = db_.exec(QStringLiteral("DROP INDEX %1").arg(quoted(name))); !s) return s;
    return ok();
  }

  Status startTable(const schema::Table& table) override {
    if (table.kind == schema::TableKind::Counter)
      if (Status s = db_.exec(QStringLiteral("DELETE FROM %1").arg(quoted(table.name))); !s)
        return s;
    const QStringList columns = storedColumns(table);
    QStringList marks;
    for (int i = 1; i <= columns.size(); ++i) marks << u'?' + QString::number(i);
    Result<Statement> insert =
        db_.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                        .arg(quoted(table.name), columns.join(u','), marks.join(u',')));
    if (!insert) return Error{insert.error()};
    insert_ = std::move(*insert);
    return ok();
  }

  Status write(const QVariantList& row) override {
    insert_.bindAll(row);
    const Status done = runToEnd(db_, insert_);
    sqlite3_reset(insert_.get());
    return done;
  }

  Status endTable() override {
    insert_ = Statement();
    return ok();
  }

  Status commit() override {
    for (const QString& index : std::as_const(indexesToMake_))
      if (Status s = db_.exec(index); !s) return s;
    const Status done = transaction_->commit();
    transaction_.reset();
    return done;
  }

 private:
  Handle db_;
  std::optional<Transaction> transaction_;
  Statement insert_;
  QStringList indexesToMake_;
};

}  // namespace

Result<std::unique_ptr<CopyEnd>> openCopyEnd(const QString& path, bool target) {
  if (!target && !QFileInfo::exists(path))
    return Error{QStringLiteral("数据库文件不存在：%1").arg(path)};
  Result<Handle> db = Handle::open(path, target ? Handle::Mode::ReadWrite : Handle::Mode::ReadOnly);
  if (!db) return Error{db.error()};
  return std::unique_ptr<CopyEnd>(new SqliteCopyEnd(std::move(*db)));
}

}  // namespace storage::sqlite
