#include "demo/generator.h"

#include <QHash>
#include <map>
#include <memory>

#include "demo/demo_values.h"
#include "schema/tables.h"
#include "server/password.h"
#include "server/sqlite_db.h"
#include "server/storage.h"

namespace demo {

namespace {

using server::Error;
using server::Result;
using server::Status;
using server::sqlite::Handle;
using server::sqlite::quoted;
using server::sqlite::Statement;

constexpr int kMaxHistoryRows = 4;

// A prepared insert of every schema column of one table.
class Inserter {
 public:
  Inserter(Handle& db, const schema::Table& table) : db_(db), table_(table) {
    QStringList names, marks;
    for (const schema::Column& c : table.columns) {
      names << quoted(c.name);
      marks << u'?' + QString::number(marks.size() + 1);
    }
    Result<Statement> prepared =
        db.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                       .arg(quoted(table.name), names.join(u','), marks.join(u',')));
    if (prepared) statement_ = std::move(*prepared);
  }

  Status insert(const QVariantList& values) {
    if (!statement_) return Error{db_.failure()};
    statement_.bindAll(values);
    const int rc = sqlite3_step(statement_.get());
    sqlite3_reset(statement_.get());
    return rc == SQLITE_DONE ? server::ok() : Status(Error{db_.failure()});
  }

  const schema::Table& table() const { return table_; }

 private:
  Handle& db_;
  const schema::Table& table_;
  Statement statement_;
};

class Filler {
 public:
  Filler(Handle& db, quint64 seed) : db_(db), random_(seed) {
    for (const schema::Table& t : schema::tables())
      if (t.name != schema::kCounter) inserters_.emplace(t.name, std::make_unique<Inserter>(db, t));
  }

  Status administrators(const QList<DemoAccount>& accounts) {
    for (const DemoAccount& a : accounts) {
      taken_.insert(a.id);
      Result<QByteArray> hash = server::password::hash(a.password);
      if (!hash) return Error{hash.error()};
      if (Status s = account(a.id, *hash, a.role, QVariant()); !s) return s;
      if (Status s = table(u"info").insert(infoRow(a.id, a.name)); !s) return s;
    }
    return server::ok();
  }

  Status person(const QByteArray& passwordHash, const QString& reviewer) {
    const Person p = makePerson(random_, taken_);
    if (Status s = account(p.id, passwordHash, 2, random_.chance(60) ? reviewer : QVariant()); !s)
      return s;
    for (const schema::Table* t : schema::oneRowTables()) {
      QVariantList row;
      for (const schema::Column& c : t->columns) row << makeValue(random_, p, *t, c);
      if (Status s = table(t->name).insert(row); !s) return s;
    }
    for (const schema::Table* t : schema::historyTables()) {
      for (int n = random_.between(0, kMaxHistoryRows); n > 0; --n) {
        QVariantList row{++lastIdNum_[t->name]};
        for (const schema::Column& c : t->columns.mid(1)) row << makeValue(random_, p, *t, c);
        if (Status s = table(t->name).insert(row); !s) return s;
      }
    }
    return server::ok();
  }

  // The counter row ends at the last id_num of each history table.
  Status counters() {
    QStringList sets;
    QVariantList values;
    for (const schema::Table* t : schema::historyTables()) {
      sets << QStringLiteral("%1=?%2").arg(quoted(t->name)).arg(sets.size() + 1);
      values << lastIdNum_.value(t->name);
    }
    Result<Statement> update = db_.prepare(
        QStringLiteral("UPDATE %1 SET %2").arg(quoted(schema::kCounter), sets.join(u',')));
    if (!update) return Error{update.error()};
    update->bindAll(values);
    return server::sqlite::runToEnd(db_, *update);
  }

 private:
  Inserter& table(QStringView name) { return *inserters_.at(name.toString()); }

  QVariantList infoRow(const QString& id, const QString& name) {
    QVariantList row{id, name};
    while (row.size() < table(u"info").table().columns.size()) row << QVariant();
    return row;
  }

  Status account(const QString& id, const QByteArray& hash, int role, const QVariant& reviewer) {
    return table(schema::kAccounts).insert({id, QString::fromLatin1(hash), qint64(role), reviewer});
  }

  Handle& db_;
  Random random_;
  QSet<QString> taken_;
  std::map<QString, std::unique_ptr<Inserter>> inserters_;
  QHash<QString, qint64> lastIdNum_;
};

Result<qint64> countPersons(Handle& db) {
  Result<Statement> count = db.prepare(QStringLiteral("SELECT count(*) FROM \"info\""));
  if (!count) return Error{count.error()};
  if (sqlite3_step(count->get()) != SQLITE_ROW) return Error{db.failure()};
  return qint64(sqlite3_column_int64(count->get(), 0));
}

}  // namespace

const QList<DemoAccount>& administrators() {
  static const QList<DemoAccount> accounts = {
      {QStringLiteral("110101197001010011"), QStringLiteral("系统管理员"), 0,
       QStringLiteral("admin123")},
      {QStringLiteral("110101197501010022"), QStringLiteral("教务管理员"), 1,
       QStringLiteral("manager123")},
  };
  return accounts;
}

Status generate(const QString& path, int persons, quint64 seed) {
  {
    Result<std::unique_ptr<server::Storage>> storage = server::openStorage(path);
    if (!storage) return Error{storage.error()};
    if (Status s = (*storage)->ensureSchema(); !s) return s;
  }
  Result<Handle> db = Handle::open(path, Handle::Mode::ReadWrite);
  if (!db) return Error{db.error()};
  Result<qint64> existing = countPersons(*db);
  if (!existing) return Error{existing.error()};
  if (*existing > 0) return Error{QStringLiteral("数据库中已有人员，演示数据只能生成在空库中")};

  // Hashing takes a while: one hash serves every person's account.
  Result<QByteArray> personHash = server::password::hash(kPersonPassword);
  if (!personHash) return Error{personHash.error()};
  if (Status s = db->exec(QStringLiteral("PRAGMA cache_size=-65536")); !s) return s;
  Result<server::sqlite::Transaction> transaction = server::sqlite::Transaction::begin(*db);
  if (!transaction) return Error{transaction.error()};
  {
    Filler filler(*db, seed);
    if (Status s = filler.administrators(administrators()); !s) return s;
    for (int i = 0; i < persons; ++i)
      if (Status s = filler.person(*personHash, administrators()[1].id); !s) return s;
    if (Status s = filler.counters(); !s) return s;
  }
  if (Status s = transaction->commit(); !s) return s;
  return db->exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

}  // namespace demo
