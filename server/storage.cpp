#include "server/storage.h"

#include "server/sqlite_storage.h"

namespace server {

Result<std::unique_ptr<Storage>> openStorage(const QString& location,
                                             const StorageOptions& options) {
  Result<std::unique_ptr<SqliteStorage>> sqlite = SqliteStorage::open(location, options);
  if (!sqlite) return Error{sqlite.error()};
  return std::unique_ptr<Storage>(std::move(*sqlite));
}

}  // namespace server
