#pragma once

#include <QStringList>

namespace storage {

// Packet column names: a name that repeats an earlier one gets `_1`, `_2` … appended (the first
// keeps its name), skipping any suffix that is itself taken, so every name is unique.
QStringList uniqueColumnNames(const QStringList& names);

}  // namespace storage
