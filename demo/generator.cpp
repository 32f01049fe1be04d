#include "demo/generator.h"

#include <QHash>
#include <memory>

#include "demo/demo_values.h"
#include "schema/tables.h"
#include "storage/loader.h"
#include "storage/password.h"

namespace demo {

namespace {

using storage::Error;
using storage::Result;
using storage::Status;

constexpr int kMaxHistoryRows = 4;

class Filler {
 public:
  Filler(storage::Loader& loader, quint64 seed) : loader_(loader), random_(seed) {}

  Status administrators(const QList<DemoAccount>& accounts) {
    for (const DemoAccount& a : accounts) {
      taken_.insert(a.id);
      Result<QByteArray> hash = storage::password::hash(a.password);
      if (!hash) return Error{hash.error()};
      if (Status s = account(a.id, *hash, a.role, QVariant()); !s) return s;
      if (Status s = loader_.append(*schema::table(u"info"), infoRow(a.id, a.name)); !s) return s;
    }
    return storage::ok();
  }

  Status person(const QByteArray& passwordHash, const QString& reviewer) {
    const Person p = makePerson(random_, taken_);
    if (Status s = account(p.id, passwordHash, 2, random_.chance(60) ? reviewer : QVariant()); !s)
      return s;
    for (const schema::Table* t : schema::oneRowTables()) {
      QVariantList row;
      for (const schema::Column& c : t->columns) row << makeValue(random_, p, *t, c);
      if (Status s = loader_.append(*t, row); !s) return s;
    }
    for (const schema::Table* t : schema::historyTables()) {
      for (int n = random_.between(0, kMaxHistoryRows); n > 0; --n) {
        QVariantList row{++lastIdNum_[t->name]};
        for (const schema::Column& c : t->columns.mid(1)) row << makeValue(random_, p, *t, c);
        if (Status s = loader_.append(*t, row); !s) return s;
      }
    }
    return storage::ok();
  }

  // The counter row ends at the last id_num of each history table.
  Status counters() {
    QVariantList row;
    for (const schema::Table* t : schema::historyTables()) row << lastIdNum_.value(t->name);
    return loader_.append(*schema::table(schema::kCounter), row);
  }

 private:
  static QVariantList infoRow(const QString& id, const QString& name) {
    QVariantList row{id, name};
    while (row.size() < schema::table(u"info")->columns.size()) row << QVariant();
    return row;
  }

  Status account(const QString& id, const QByteArray& hash, int role, const QVariant& reviewer) {
    return loader_.append(*schema::table(schema::kAccounts),
                          {id, QString::fromLatin1(hash), qint64(role), reviewer});
  }

  storage::Loader& loader_;
  Random random_;
  QSet<QString> taken_;
  QHash<QString, qint64> lastIdNum_;
};

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

Status generate(const QString& location, int persons, quint64 seed,
                const std::function<void(int done)>& progress) {
  Result<std::unique_ptr<storage::Loader>> loader = storage::Loader::open(location);
  if (!loader) return Error{loader.error()};
  // Hashing takes a while: one hash serves every person's account.
  Result<QByteArray> personHash = storage::password::hash(kPersonPassword);
  if (!personHash) return Error{personHash.error()};
  Filler filler(**loader, seed);
  if (Status s = filler.administrators(administrators()); !s) return s;
  for (int i = 1; i <= persons; ++i) {
    if (Status s = filler.person(*personHash, administrators()[1].id); !s) return s;
    if (progress && i % kProgressPersons == 0) progress(i);
  }
  if (Status s = filler.counters(); !s) return s;
  return (*loader)->commit();
}

}  // namespace demo
