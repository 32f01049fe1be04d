#pragma once

#include <memory>

#include "server/copy.h"

namespace server::pg {

// The PostgreSQL database at `location` as one end of a copy, on a connection of its own
// without a statement time limit; a target's rows go in through COPY.
Result<std::unique_ptr<CopyEnd>> openCopyEnd(const QString& location);

}  // namespace server::pg
