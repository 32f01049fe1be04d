#pragma once

#include <QString>
#include <QVariantList>
#include <optional>

#include "schema/tables.h"
#include "server/status.h"
#include "storage/storage.h"

// What each role may read and write.
//   0 超级管理员, 1 管理员: read everything (never password hashes) and write. Role 1 may not
//     delete `user_name` or `info` rows, nor change their `id` (blanking or renaming a person
//     is a delete in disguise), nor give anyone role 0, nor change a role-0 account. Nobody may
//     delete or demote the last role-0 account.
//   2 普通用户: only rows whose trimmed `id` is its own identity number, and only the fixed
//     per-person select texts with its own id; no writes to `user_name` or the counter.
namespace server {

struct User {
  int role = 2;
  QString id;  // trimmed identity number
};

namespace access {

inline constexpr int kSuper = 0;
inline constexpr int kManager = 1;
inline constexpr int kPerson = 2;

// Opening a table provider. For role 2 the person key becomes the user's own id (a different
// one is refused); the counter row, which belongs to nobody, is open to every role.
Status mayRead(const User& user, const schema::Table& table, std::optional<QString>* personKey);

// Running a select text (to read it or to write its rows back).
Status maySelect(const User& user, const QString& text, const QVariantList& params);

// Writing `rows` (stored column names) to `table`: what can be told from the request alone.
Status mayWrite(const User& user, const schema::Table& table, const QList<storage::RowWrite>& rows);

// What needs the stored rows, for Storage::apply to run inside the write transaction: role 1
// changing a role-0 account or the `id` of an account or person, and the removal or demotion of
// the last role-0 account. `storage` is the one applying, for counting inside the transaction.
storage::RowCheck rowCheck(const User& user, storage::Storage& store);

// The role stored in `qx`, when it is one of 0, 1, 2.
std::optional<int> roleOf(const QVariant& qx);

// The owner every updated or deleted row must have: the user's own id for role 2.
std::optional<QString> owner(const User& user);

}  // namespace access
}  // namespace server
