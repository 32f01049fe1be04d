#pragma once

#include "storage/result.h"

// Errors travel as values through the server as through the storage beneath it: the same types.
namespace server {

using storage::Error;
using storage::ok;
using storage::Result;
using storage::Status;

}  // namespace server
