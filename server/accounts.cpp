#include "server/accounts.h"

#include <atomic>

#include "schema/values.h"
#include "server/password.h"

namespace server {

namespace {

std::atomic<quint64> generation{0};

// Updates the person's first row of `table`, or inserts one.
Status upsert(Storage& storage, const schema::Table& table, const QString& id,
              const ColumnValues& values) {
  Result<protocol::Packet> existing = storage.readTable(table, id);
  if (!existing) return Error{existing.error()};
  RowWrite row;
  row.values = values;
  if (!existing->rids.isEmpty()) {
    row.kind = protocol::Change::Kind::Update;
    row.rid = existing->rids.front();
  }
  Result<QList<qint64>> written = storage.apply({{&table, {row}}}, std::nullopt, {});
  if (!written) return Error{written.error()};
  return ok();
}

}  // namespace

Status addAccount(Storage& storage, const QString& id, const QString& name, int role,
                  const QString& password) {
  const QString key = schema::trim(id);
  Result<QByteArray> hash = password::hash(password);
  if (!hash) return Error{hash.error()};
  const QString idColumn = QStringLiteral("id");
  if (Status s = upsert(storage, *schema::table(schema::kAccounts), key,
                        {{idColumn, key},
                         {QStringLiteral("password"), QString::fromLatin1(*hash)},
                         {QStringLiteral("qx"), qint64(role)}});
      !s)
    return s;
  accountsChanged();
  return upsert(storage, *schema::table(u"info"), key,
                {{idColumn, key}, {QStringLiteral("name"), schema::trim(name)}});
}

quint64 accountsGeneration() { return generation.load(); }

void accountsChanged() { ++generation; }

}  // namespace server
