#pragma once

#include <memory>

#include "server/sqlite_db.h"
#include "server/sqlite_gate.h"
#include "server/storage.h"

namespace server {

// Storage in one SQLite file (WAL mode). It holds two handles of its own: a read-write one for
// writes, sign-in and draws, and a read-only (`query_only`) one behind the select gate for
// every read.
class SqliteStorage final : public Storage {
 public:
  static Result<std::unique_ptr<SqliteStorage>> open(const QString& path);

  Status ensureSchema() override;
  Result<protocol::Packet> readTable(const schema::Table& table,
                                     const std::optional<QString>& personKey) override;
  Result<protocol::Packet> select(const QString& text, const QVariantList& params) override;
  Result<SelectShape> describe(const QString& text) override;
  Result<QList<qint64>> apply(const QList<TableWrite>& writes, const std::optional<QString>& owner,
                              const RowCheck& check) override;
  Result<qint64> countRows(const schema::Table& table, const QString& column,
                           const QVariant& value) override;
  Result<std::optional<Account>> findAccount(const QString& id) override;
  Result<qint64> draw(const schema::Table& history) override;

 private:
  SqliteStorage(sqlite::Handle write, sqlite::Handle read);

  sqlite::Handle write_;
  sqlite::Handle read_;
  sqlite::SelectGate gate_;
};

}  // namespace server
