#include "accounts/account_data.h"

#include <QList>

#include "shell/remote_dataset.h"

namespace accounts {

namespace {

struct Role {
  QString name;
  int qx;
};

const QList<Role>& roles() {
  static const QList<Role> all = {{QStringLiteral("超级管理员"), 0},
                                  {QStringLiteral("管理员"), 1},
                                  {QStringLiteral("普通用户"), 2}};
  return all;
}

}  // namespace

std::optional<int> roleOf(const QString& name) {
  for (const Role& role : roles())
    if (role.name == name) return role.qx;
  return std::nullopt;
}

QString roleName(const QVariant& qx) {
  bool number = false;
  const qlonglong value = qx.toLongLong(&number);
  if (qx.isNull() || !number) return {};
  for (const Role& role : roles())
    if (role.qx == value) return role.name;
  return {};
}

QString& selectedAccountId() {
  static QString id;
  return id;
}

void openPerson(RemoteDataset& dataset, const QString& id) {
  dataset.close();
  dataset.setPersonKey(id);
  dataset.open();
}

}  // namespace accounts
