#include "server/accounts.h"

#include "schema/values.h"
#include "storage/account_changes.h"
#include "storage/password.h"

namespace server {

namespace {

// Updates the person's first row of `table`, or inserts one.
Status upsert(storage::Storage& store, const schema::Table& table, const QString& id,
              const storage::ColumnValues& values) {
  storage::PacketSink existing;
  if (Status s = store.readTable(table, id, existing); !s) return s;
  storage::RowWrite row;
  row.values = values;
  if (!existing.packet.rids.isEmpty()) {
    row.kind = protocol::Change::Kind::Update;
    row.rid = existing.packet.rids.front();
  }
  // Written by the server's own command, not by a signed-in user.
  Result<QList<qint64>> written =
      store.apply({{&table, {row}}}, {QStringLiteral("add-account"), std::nullopt, {}});
  if (!written) return Error{written.error()};
  return ok();
}

}  // namespace

Status addAccount(storage::Storage& store, const QString& id, const QString& name, int role,
                  const QString& password) {
  const QString key = schema::trim(id);
  Result<QByteArray> hash = storage::password::hash(password);
  if (!hash) return Error{hash.error()};
  const QString idColumn = QStringLiteral("id");
  if (Status s = upsert(store, *schema::table(schema::kAccounts), key,
                        {{idColumn, key},
                         {QStringLiteral("password"), QString::fromLatin1(*hash)},
                         {QStringLiteral("qx"), qint64(role)}});
      !s)
    return s;
  storage::accountsChanged();
  return upsert(store, *schema::table(u"info"), key,
                {{idColumn, key}, {QStringLiteral("name"), schema::trim(name)}});
}

}  // namespace server
