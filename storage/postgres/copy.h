#pragma once

#include <memory>

#include "storage/copy.h"

namespace storage::pg {

// The PostgreSQL database at `location` as one end of a copy, on a connection of its own
// without a statement time limit; a target's rows go in through COPY.
Result<std::unique_ptr<CopyEnd>> openCopyEnd(const QString& location);

}  // namespace storage::pg
