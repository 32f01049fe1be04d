#pragma once

#include <memory>

#include "server/copy.h"

namespace server::sqlite {

// The SQLite file at `path` as one end of a copy: a source must exist; a target is opened
// for writing (its schema made by the caller).
Result<std::unique_ptr<CopyEnd>> openCopyEnd(const QString& path, bool target);

}  // namespace server::sqlite
