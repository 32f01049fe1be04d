#pragma once

#include <memory>

#include "storage/postgres/gate.h"
#include "storage/postgres/pool.h"
#include "storage/storage.h"

namespace storage {

// Storage in a PostgreSQL database, which several servers may share. Each call borrows a
// connection from the process's pool for that database: reads and select texts a reader,
// writes, sign-in and draws a writer. PostgreSQL keeps the promises itself: an apply is one
// transaction whose rows are locked as they are checked, the counter row is locked by each
// draw, and select texts run read-only as a role that may only select.
class PgStorage final : public Storage {
 public:
  static Result<std::unique_ptr<PgStorage>> open(const QString& location,
                                                 const StorageOptions& options = {});

  Status ensureSchema() override;
  Result<int> schemaVersion() override;
  Status upgrade(const QList<const SchemaStep*>& steps) override;
  Status checkpoint() override;
  Status readTable(const schema::Table& table, const std::optional<QString>& personKey,
                   RowSink& rows) override;
  Status select(const QString& text, const QVariantList& params, RowSink& rows) override;
  Result<SelectShape> describe(const QString& text) override;
  Result<QList<qint64>> apply(const QList<TableWrite>& writes, const Applier& applier) override;
  Result<qint64> countRows(const schema::Table& table, const QString& column,
                           const QVariant& value) override;
  Result<std::optional<Account>> findAccount(const QString& id) override;
  Result<qint64> draw(const schema::Table& history) override;

 private:
  PgStorage(std::shared_ptr<pg::Pool> pool, pg::Gate& gate) : pool_(std::move(pool)), gate_(gate) {}

  std::shared_ptr<pg::Pool> pool_;
  pg::Gate& gate_;
  pg::Connection* applying_ = nullptr;  // the writer of the apply under way, for countRows
};

}  // namespace storage
