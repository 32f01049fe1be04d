#pragma once

#include <QList>
#include <QString>
#include <functional>

#include "storage/result.h"

// Demo and benchmark data: N complete persons with every one-row table filled, a few rows in
// each history table, an ordinary account each, and the two demo administrators.
namespace demo {

struct DemoAccount {
  QString id;
  QString name;
  int role;
  QString password;
};

// 系统管理员 (role 0) and 教务管理员 (role 1), both with an `info` row.
const QList<DemoAccount>& administrators();

// The password of every demo person's account (role 2).
inline const QString kPersonPassword = QStringLiteral("123456");

inline constexpr quint64 kDefaultSeed = 20140901;

// Fills the database at `location` (an SQLite file or PostgreSQL, see storage/open.h; schema
// created when missing) in one transaction. The database must hold no rows yet. The same seed
// gives the same data; history `id_num`s are numbered per table and the counter row ends at the
// largest.
// `progress`, when given, is told the persons made so far every kProgressPersons of them.
inline constexpr int kProgressPersons = 100000;
storage::Status generate(const QString& location, int persons, quint64 seed = kDefaultSeed,
                         const std::function<void(int done)>& progress = {});

}  // namespace demo
