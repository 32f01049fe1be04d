#pragma once

#include <QString>

#include "server/status.h"
#include "storage/storage.h"

namespace server {

// Creates or overwrites an account: the `user_name` row (id, hashed password, role) and the
// `info` row (id, name). In each table the first row whose trimmed id is `id` is updated, or
// a row is inserted when there is none. Id, name and password are trimmed.
Status addAccount(storage::Storage& store, const QString& id, const QString& name, int role,
                  const QString& password);

}  // namespace server
