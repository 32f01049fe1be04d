#pragma once

#include <QtGlobal>

// A bound on the temporary files SQLite writes for one statement (sorting, grouping, large
// intermediate results): a grouping over a join could otherwise fill the disk. Installed once
// as the process's default file system layer, in front of the system's own; the database files
// themselves pass through untouched.
namespace storage::sqlite {

// Installs the bound, queryTempBytes() a file (idempotent). Handles opened afterwards use it.
void installTempLimit();

// Whether a temporary file reached the bound on this thread since the last call; clears it.
bool takeTempLimitHit();

}  // namespace storage::sqlite
