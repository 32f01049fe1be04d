#pragma once

#include <QString>

#include "server/storage.h"

namespace server {

// Creates or overwrites an account: the `user_name` row (id, hashed password, role) and the
// `info` row (id, name). In each table the first row whose trimmed id is `id` is updated, or
// a row is inserted when there is none. Id, name and password are trimmed.
Status addAccount(Storage& storage, const QString& id, const QString& name, int role,
                  const QString& password);

// A counter of this server process that every committed write to `user_name` moves on, so that
// each session re-reads its own account before serving its next request. (Servers sharing one
// database do not see each other's counters.)
quint64 accountsGeneration();
void accountsChanged();

}  // namespace server
