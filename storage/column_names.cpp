#include "storage/column_names.h"

#include <QHash>
#include <QSet>

namespace storage {

QStringList uniqueColumnNames(const QStringList& names) {
  const QSet<QString> given(names.begin(), names.end());
  QSet<QString> used;
  QHash<QString, int> repeats;
  QStringList out;
  out.reserve(names.size());
  for (const QString& name : names) {
    QString unique = name;
    if (used.contains(unique)) {
      int& n = repeats[name];
      do unique = name + u'_' + QString::number(++n);
      while (used.contains(unique) || given.contains(unique));
    }
    used.insert(unique);
    out << unique;
  }
  return out;
}

}  // namespace storage
