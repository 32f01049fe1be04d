#pragma once

#include <QSslConfiguration>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <optional>

#include "server/serve_options.h"
#include "server/status.h"
#include "server/throttle.h"
#include "storage/storage.h"

namespace server {

// What every connection of one server shares.
struct ConnectionContext {
  // Opens a storage of the database for one connection.
  std::function<storage::Result<std::unique_ptr<storage::Storage>>()> openStorage;
  ServeOptions options;
  std::optional<QSslConfiguration> tls;  // set: every connection runs in TLS
  SignInThrottle* throttle = nullptr;
};

// Serves one client on the calling thread until it says bye, closes, breaks the protocol or
// runs out of time (see ServeOptions): frame reads with deadlines, one reply per request, a
// storage of its own. A bad frame (over the limit, not a CBOR map, cut short) ends only this
// connection; a request over the size limits is refused with a reason and the connection goes
// on.
void serveConnection(qintptr descriptor, const ConnectionContext& context);

// Turns a connection away at once with a reason (too many connections).
void refuseConnection(qintptr descriptor, const QString& reason, bool tls);

}  // namespace server
