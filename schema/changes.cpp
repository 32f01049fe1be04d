#include "schema/changes.h"

#include <QStringList>
#include <utility>

#include "schema/tables.h"

namespace schema::changes {

namespace {

// The accounts table and two of its columns have no label in the schema (no form shows them);
// the change lists name them so.
const QString kAccountsLabel = QStringLiteral("账户");
const std::pair<QString, QString> kAccountColumnLabels[] = {
    {QStringLiteral("password"), QStringLiteral("密码")},
    {QStringLiteral("qx"), QStringLiteral("权限")}};

QString tableLabel(QStringView table) {
  if (table == kAccounts) return kAccountsLabel;
  const Table* t = storedTable(table);
  return t ? t->caption : QString();
}

QString columnLabel(QStringView table, QStringView column) {
  if (table == kAccounts)
    for (const auto& [name, label] : kAccountColumnLabels)
      if (name == column) return label;
  const Table* t = storedTable(table);
  const Column* c = t ? t->column(column) : nullptr;
  return c ? c->label : QString();
}

}  // namespace

QString shown(QStringView title, QStringView table, const QString& value) {
  QString label;
  if (title == kTableTitle)
    label = tableLabel(value);
  else if (title == kColumnTitle)
    label = columnLabel(table, value);
  return label.isEmpty() ? value : label;
}

QString listText(bool onePerson, bool since) {
  QStringList conditions;
  if (onePerson) conditions << QStringLiteral("id=?");
  if (since) conditions << QStringLiteral("changed_at>=?");
  return QStringLiteral(
             "select id as 身份证号,changed_at as 时间,changed_by as 修改人,table_name as 表,"
             "column_name as 项目,old_value as 原值,new_value as 新值 from change_log") +
         (conditions.isEmpty() ? QString()
                               : QStringLiteral(" where ") + conditions.join(u" and ")) +
         QStringLiteral(" order by rid desc");
}

}  // namespace schema::changes
