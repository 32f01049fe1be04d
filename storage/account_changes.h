#pragma once

#include <QtGlobal>

// A counter of this process that every committed write to `user_name` moves on, so that each
// session re-reads its own account before serving its next request. The server moves it after
// its own writes; a storage shared with other servers (PostgreSQL) moves it when it hears of
// theirs.
namespace storage {

quint64 accountsGeneration();
void accountsChanged();

}  // namespace storage
