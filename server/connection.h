#pragma once

#include <QString>
#include <QtGlobal>

namespace server {

// Serves one client on the calling thread until it says bye, closes, or breaks the protocol:
// blocking frame reads, one reply per request, a storage of its own at `location`. A bad frame
// (over the limit, not a CBOR map, cut short) ends only this connection.
void serveConnection(qintptr descriptor, const QString& location);

// Turns a connection away at once with a reason (too many connections).
void refuseConnection(qintptr descriptor, const QString& reason);

}  // namespace server
