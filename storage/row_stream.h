#pragma once

#include <QByteArrayView>
#include <QList>
#include <QStringList>
#include <QVariantList>
#include <optional>

#include "storage/storage.h"

// How every engine hands a read's rows to a RowSink: written once, over the engine's cursor.
namespace storage {

// Steps through `cursor`'s rows, each into `out`: the identity when `rids`, then the `shown`
// columns. With `distinctKey` (a distinct text that selects its table's unique column) a row
// whose key is null and whose values repeat an earlier such row is dropped, as the distinct text
// without row identities would have dropped it.
//
// `Cursor` is the engine's view of its current row:
//   bool next(Status* failure)        the next row; false at the end, `failure` set when the
//                                     read failed
//   qint64 identity() const           the row identity (column 0)
//   bool isNull(int column)
//   std::optional<qint64> integer(int column)   the value, when the engine holds an integer
//   QByteArrayView text(int column)   any other value as UTF-8 text, valid until the next call
//   QVariant value(int column)        the value, for comparing rows
//
// `streamed`, when given, counts the rows written; with `begun` the rows follow those already
// written into `out` (a read in several steps).
template <typename Cursor>
Status streamRows(Cursor& cursor, const QList<int>& shown, const QStringList& names, bool rids,
                  RowSink& out, int distinctKey = -1, qint64* streamed = nullptr,
                  bool begun = false) {
  if (!begun) out.begin(names, rids);
  QList<QVariantList> nullKeyed;
  Status failure = ok();
  while (cursor.next(&failure)) {
    if (distinctKey >= 0 && cursor.isNull(distinctKey)) {
      QVariantList row;
      for (int column : shown) row << cursor.value(column);
      if (nullKeyed.contains(row)) continue;
      nullKeyed << row;
    }
    if (rids) out.rowIdentity(cursor.identity());
    for (int column : shown) {
      if (cursor.isNull(column))
        out.null();
      else if (const std::optional<qint64> number = cursor.integer(column))
        out.integer(*number);
      else
        out.text(cursor.text(column));
    }
    if (Status s = out.endRow(); !s) return s;
    if (streamed) ++*streamed;
  }
  return failure;
}

}  // namespace storage
