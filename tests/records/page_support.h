#pragma once

// What the record page tests share: moving the focus within a page as a user would, and
// reading back what the server stored.
#include <QLineEdit>
#include <QtTest>

#include "shell/forms.h"
#include "shell/signin.h"
#include "tests/support/test_server.h"

namespace page_test {

// Sets the current person and shows the page, as the main window's double-click does.
inline void open(QStringView page, const QString& person) {
  SignIn::state().currentPersonId = person;
  forms::show(page);
}

// Makes `window` the active window, so focus moves inside it produce focus events.
inline bool activate(QWidget* window) {
  window->activateWindow();
  return QTest::qWaitForWindowActive(window);
}

// Focus into `box`, then on to `next` in the same window: the way a user leaves a box.
inline void leave(QLineEdit* box, QWidget* next) {
  box->setFocus(Qt::TabFocusReason);
  next->setFocus(Qt::TabFocusReason);
}

// The stored values of `columns` in `table` for the rows whose id is `id`, one list per row;
// null reads as "<null>".
inline QList<QStringList> rows(TestServer& server, const QString& table, const QStringList& columns,
                               const QString& id) {
  QList<QStringList> result;
  const QString select = QStringLiteral("select \"%1\" from %2 where id=? order by rid")
                             .arg(columns.join(QStringLiteral("\",\"")), table);
  for (const QVariantList& row : server.sql(select, {id})) {
    QStringList values;
    for (const QVariant& v : row) values << (v.isNull() ? QStringLiteral("<null>") : v.toString());
    result << values;
  }
  return result;
}

// The one stored value of `column`, or "<no row>".
inline QString stored(TestServer& server, const QString& table, const QString& column,
                      const QString& id) {
  const QList<QStringList> found = rows(server, table, {column}, id);
  return found.isEmpty() ? QStringLiteral("<no row>") : found.first().first();
}

}  // namespace page_test
