#pragma once

#include "records/record_page.h"

// Short builders for the rows of a page's field table.
namespace records {

inline const QString kYearMonthHint = QStringLiteral("(格式:年月,如:198001)");

inline Field edit(const char* name, const char* label, const char* table, const char* column,
                  const QString& note = {}) {
  return {QString::fromUtf8(name),
          QString::fromUtf8(label),
          QString::fromUtf8(table),
          QString::fromUtf8(column),
          nullptr,
          {},
          note};
}

inline Field combo(const char* name, const char* label, const char* table, const char* column,
                   const QStringList& items, const char* preset) {
  return {QString::fromUtf8(name),
          QString::fromUtf8(label),
          QString::fromUtf8(table),
          QString::fromUtf8(column),
          &items,
          QString::fromUtf8(preset),
          {}};
}

// A box standing in the line captioned `label`, followed by its unit word.
inline Field inLine(const char* name, const char* label, const char* unit, const char* table,
                    const char* column) {
  return {QString::fromUtf8(name),
          QString::fromUtf8(label),
          QString::fromUtf8(table),
          QString::fromUtf8(column),
          nullptr,
          {},
          QString::fromUtf8(unit),
          true};
}

}  // namespace records
