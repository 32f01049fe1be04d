#include "server/access.h"

#include "schema/queries.h"
#include "schema/values.h"

namespace server::access {

namespace {

using Kind = protocol::Change::Kind;

const QString kNotYours = QStringLiteral("没有权限修改他人的数据");
const QString kId = QStringLiteral("id");
const QString kRole = QStringLiteral("qx");
// The columns that make an account: who signs in, with what, as whom. `shr` is review data.
const QStringList kAccountColumns = {kId, QStringLiteral("password"), kRole};

// Roles are judged as stored: written values are integers by now (see planWrites), and a
// stored value is role 0 only when it is the integer 0, as sign-in reads it.
bool meansSuper(const QVariant& qx) { return roleOf(qx) == kSuper; }

bool touchesAccount(const storage::RowWrite& row) {
  for (const auto& [column, value] : row.values)
    if (kAccountColumns.contains(column)) return true;
  return false;
}

bool isOwnId(const User& user, const QVariant& value) {
  return value.typeId() == QMetaType::QString && schema::trim(value.toString()) == user.id;
}

// Every `id` a person writes must be exactly its own (a blank or control character added would
// hide the row from every lookup); an inserted row must name it.
Status ownValues(const User& user, const storage::RowWrite& row) {
  bool named = false;
  for (const auto& [column, value] : row.values) {
    if (column != kId) continue;
    if (value.typeId() != QMetaType::QString || value.toString() != user.id)
      return Error{kNotYours};
    named = true;
  }
  if (row.kind == Kind::Insert && !named) return Error{kNotYours};
  return ok();
}

}  // namespace

Status mayRead(const User& user, const schema::Table& table, std::optional<QString>* personKey) {
  if (user.role != kPerson || !table.column(u"id")) return ok();
  if (*personKey && schema::trim(**personKey) != user.id)
    return Error{QStringLiteral("没有权限查看他人的数据")};
  *personKey = user.id;
  return ok();
}

Status maySelect(const User& user, const QString& text, const QVariantList& params) {
  if (user.role != kPerson) return ok();
  bool own = schema::queries::personalShapes().contains(text) && !params.isEmpty();
  for (const QVariant& p : params) own = own && isOwnId(user, p);
  return own ? ok() : Status(Error{QStringLiteral("没有权限执行该查询")});
}

Status mayWrite(const User& user, const schema::Table& table,
                const QList<storage::RowWrite>& rows) {
  // The change log is the server's own record of what happened: no request writes it.
  if (table.kind == schema::TableKind::ChangeLog)
    return Error{QStringLiteral("没有权限修改该数据")};
  if (table.name == schema::kAccounts)
    for (const storage::RowWrite& row : rows)
      if (const QVariant* role = storage::valueOf(row.values, kRole); role && !roleOf(*role))
        return Error{QStringLiteral("权限只能是 0、1 或 2")};
  if (user.role == kPerson) {
    if (table.name == schema::kAccounts) return Error{QStringLiteral("没有权限修改该数据")};
    for (const storage::RowWrite& row : rows)
      if (Status s = ownValues(user, row); !s) return s;
  }
  if (user.role == kManager && (table.name == schema::kAccounts || table.name == u"info"))
    for (const storage::RowWrite& row : rows) {
      if (row.kind == Kind::Delete) return Error{QStringLiteral("没有删除该数据的权限")};
      const QVariant* role = storage::valueOf(row.values, kRole);
      if (table.name == schema::kAccounts && role && meansSuper(*role))
        return Error{QStringLiteral("没有权限授予超级管理员权限")};
    }
  return ok();
}

storage::RowCheck rowCheck(const User& user, storage::Storage& store) {
  return [user, &store](const schema::Table& table, const storage::RowWrite& row,
                        const storage::ColumnValues& stored) -> Status {
    const int role = user.role;
    if (row.kind == Kind::Insert) return ok();
    const bool accounts = table.name == schema::kAccounts;
    // A person's one-row records are kept by the office; the person only fills them in.
    if (role == kPerson && row.kind == Kind::Delete && table.kind == schema::TableKind::OneRow) {
      const QVariant* storedId = storage::valueOf(stored, kId);
      return Error{storedId && isOwnId(user, *storedId) ? QStringLiteral("没有删除该数据的权限")
                                                        : kNotYours};
    }
    // The stored identity number is what the list and every lookup compare: only role 0 may
    // change its text at all, even by a blank.
    if (role != kSuper && row.kind == Kind::Update) {
      const QVariant* id = storage::valueOf(row.values, kId);
      const QVariant* storedId = storage::valueOf(stored, kId);
      if (id && *id != (storedId ? *storedId : QVariant()))
        return Error{QStringLiteral("没有权限修改身份证号")};
    }
    const QVariant* storedRole = storage::valueOf(stored, kRole);
    if (!accounts || !storedRole || !meansSuper(*storedRole)) return ok();
    if (role == kManager) {
      if (!touchesAccount(row)) return ok();
      return Error{QStringLiteral("没有权限修改超级管理员的账户")};
    }
    const QVariant* newRole = storage::valueOf(row.values, kRole);
    const bool demoted = newRole && !meansSuper(*newRole);
    if (row.kind != Kind::Delete && !demoted) return ok();
    Result<qint64> supers = store.countRows(table, kRole, qint64(kSuper));
    if (!supers) return Error{supers.error()};
    if (*supers <= 1) return Error{QStringLiteral("不能删除或降级最后一个超级管理员账户")};
    return ok();
  };
}

std::optional<int> roleOf(const QVariant& qx) {
  if (qx.typeId() != QMetaType::LongLong) return std::nullopt;
  const qint64 role = qx.toLongLong();
  return role >= kSuper && role <= kPerson ? std::optional<int>(int(role)) : std::nullopt;
}

std::optional<QString> owner(const User& user) {
  return user.role == kPerson ? std::optional<QString>(user.id) : std::nullopt;
}

}  // namespace server::access
