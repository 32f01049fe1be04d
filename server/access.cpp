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

// A value the database keeps as role 0: the integer 0, or a text it reads as the number 0.
bool meansSuper(const QVariant& qx) {
  if (qx.isNull()) return false;
  bool number = false;
  const double value = qx.toString().trimmed().toDouble(&number);
  return number && value == 0;
}

bool touchesAccount(const RowWrite& row) {
  for (const auto& [column, value] : row.values)
    if (kAccountColumns.contains(column)) return true;
  return false;
}

bool isOwnId(const User& user, const QVariant& value) {
  return value.typeId() == QMetaType::QString && schema::trim(value.toString()) == user.id;
}

// Every `id` a person writes must be its own; an inserted row must name it.
Status ownValues(const User& user, const RowWrite& row) {
  bool named = false;
  for (const auto& [column, value] : row.values) {
    if (column != u"id") continue;
    if (!isOwnId(user, value)) return Error{kNotYours};
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

Status mayWrite(const User& user, const schema::Table& table, const QList<RowWrite>& rows) {
  if (user.role == kPerson) {
    if (table.name == schema::kAccounts) return Error{QStringLiteral("没有权限修改该数据")};
    for (const RowWrite& row : rows)
      if (Status s = ownValues(user, row); !s) return s;
  }
  if (user.role == kManager && (table.name == schema::kAccounts || table.name == u"info"))
    for (const RowWrite& row : rows) {
      if (row.kind == Kind::Delete) return Error{QStringLiteral("没有删除该数据的权限")};
      const QVariant* role = valueOf(row.values, kRole);
      if (table.name == schema::kAccounts && role && meansSuper(*role))
        return Error{QStringLiteral("没有权限授予超级管理员权限")};
    }
  return ok();
}

RowCheck rowCheck(const User& user, Storage& storage) {
  return [role = user.role, &storage](const schema::Table& table, const RowWrite& row,
                                      const ColumnValues& stored) -> Status {
    if (row.kind == Kind::Insert) return ok();
    const bool accounts = table.name == schema::kAccounts;
    if (role == kManager && (accounts || table.name == u"info")) {
      const QVariant* id = valueOf(row.values, kId);
      const QVariant* storedId = valueOf(stored, kId);
      if (id &&
          schema::trim(id->toString()) != schema::trim(storedId ? storedId->toString() : QString()))
        return Error{QStringLiteral("没有权限修改身份证号")};
    }
    const QVariant* storedRole = valueOf(stored, kRole);
    if (!accounts || !storedRole || !meansSuper(*storedRole)) return ok();
    if (role == kManager) {
      if (!touchesAccount(row)) return ok();
      return Error{QStringLiteral("没有权限修改超级管理员的账户")};
    }
    const QVariant* newRole = valueOf(row.values, kRole);
    const bool demoted = newRole && !meansSuper(*newRole);
    if (row.kind != Kind::Delete && !demoted) return ok();
    Result<qint64> supers = storage.countRows(table, kRole, qint64(kSuper));
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
