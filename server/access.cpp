#include "server/access.h"

#include "schema/queries.h"
#include "schema/values.h"

namespace server::access {

namespace {

using Kind = protocol::Change::Kind;

const QString kNotYours = QStringLiteral("没有权限修改他人的数据");

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
    for (const RowWrite& row : rows)
      if (row.kind == Kind::Delete) return Error{QStringLiteral("没有删除该数据的权限")};
  return ok();
}

std::optional<QString> owner(const User& user) {
  return user.role == kPerson ? std::optional<QString>(user.id) : std::nullopt;
}

}  // namespace server::access
