#pragma once

#include <QString>
#include <QStringView>

// How the change log is listed: the tables and columns it names, shown under their labels, and
// the list for scripts. The lists of one person (all, or since the last review) are
// schema::queries::kPersonChanges and kPersonChangesSinceReview.
namespace schema::changes {

// The titles of the columns that hold a stored table name and a stored column name.
inline const QString kTableTitle = QStringLiteral("表");
inline const QString kColumnTitle = QStringLiteral("项目");

// What a change list shows in its column `title` on a row whose stored table is `table`: a
// table's caption under 表, a column's label under 项目 (the accounts' own: 账户, 密码, 权限),
// the stored name where there is none, and any other value as it is.
QString shown(QStringView title, QStringView table, const QString& value);

// Every person's changes, newest first: 身份证号, 时间, 修改人, 表, 项目, 原值, 新值.
// `onePerson`: only the person whose identity number is the first parameter; `since`: only
// changes on or after the date (YYYY-MM-DD) of the next parameter.
QString listText(bool onePerson, bool since);

}  // namespace schema::changes
