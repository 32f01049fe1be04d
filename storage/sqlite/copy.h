#pragma once

#include <memory>

#include "storage/copy.h"

namespace storage::sqlite {

// The SQLite file at `path` as one end of a copy: a source must exist; a target is opened
// for writing (its schema made by the caller).
Result<std::unique_ptr<CopyEnd>> openCopyEnd(const QString& path, bool target);

}  // namespace storage::sqlite
