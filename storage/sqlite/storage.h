#pragma once

#include <memory>
#include <unordered_map>

#include "storage/sqlite/db.h"
#include "storage/sqlite/gate.h"
#include "storage/storage.h"

namespace storage {

// Storage in one SQLite file (WAL mode). It holds two handles of its own: a read-write one for
// writes, sign-in and draws, and a read-only (`query_only`) one behind the select gate for
// every read.
class SqliteStorage final : public Storage {
 public:
  static Result<std::unique_ptr<SqliteStorage>> open(const QString& path,
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
  SqliteStorage(sqlite::Handle write, sqlite::Handle read);

  sqlite::Handle write_;
  sqlite::Handle read_;
  sqlite::SelectGate gate_;
  sqlite::StatementCache reads_{read_};
  static constexpr size_t kMostSelects = 32;
  std::unordered_map<QString, sqlite::CheckedSelect> selects_;  // select texts that passed
  sqlite::StatementCache writes_{write_};
};

}  // namespace storage
