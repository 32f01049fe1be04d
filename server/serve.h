#pragma once

#include "server/cli.h"
#include "server/status.h"

namespace server {

// Serves clients as `command` says until SIGTERM or SIGINT: then it stops accepting, lets the
// requests in flight finish (up to the drain timeout), answers later ones that the server is
// stopping, closes every connection and the database cleanly (SQLite: its write-ahead log
// checkpointed), logs the stop and gives the exit status: 0, or 1 when requests were still
// running at the deadline. Takes backups on a timer when asked. A failure to start is an error.
Result<int> serve(const Command& command);

}  // namespace server
