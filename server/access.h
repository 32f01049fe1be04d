#pragma once

#include <QString>
#include <QVariantList>
#include <optional>

#include "schema/tables.h"
#include "server/storage.h"

// What each role may read and write.
//   0 超级管理员, 1 管理员: read everything (never password hashes) and write; role 1 may not
//     delete `user_name` or `info` rows.
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

// Writing `rows` (stored column names) to `table`.
Status mayWrite(const User& user, const schema::Table& table, const QList<RowWrite>& rows);

// The owner every updated or deleted row must have: the user's own id for role 2.
std::optional<QString> owner(const User& user);

}  // namespace access
}  // namespace server
