#pragma once

#include <QString>

#include "storage/storage.h"

namespace server {

// How `serve` treats its connections. Durations are in milliseconds.
struct ServeOptions {
  // A connection that has not signed in this long after it was accepted is closed.
  int signInTimeoutMs = 10000;
  // A frame that has begun to arrive and then gets no byte for this long closes its connection.
  int stallTimeoutMs = 10000;
  // A signed-in connection that sends nothing for this long is closed; the client reconnects.
  int idleTimeoutMs = 30 * 60 * 1000;
  // Connections one peer address may hold at once.
  int maxPerAddress = 32;
  // The first delay imposed after repeated failed sign-ins; each further failure doubles it.
  // 0: none (test set-ups that sign in wrongly on purpose).
  int throttleMs = 1000;
  // PEM files of the server's TLS certificate and private key; both empty: plain TCP.
  QString tlsCert;
  QString tlsKey;
  // Plain TCP on an address other than loopback, accepted only when asked for.
  bool insecure = false;
  // The temporary files one query may write, in MiB.
  int tempMiB = 512;
  // Where the log goes; empty: standard error.
  QString logFile;
  // Each connection's storage: its page cache and file mapping.
  storage::StorageOptions storageOptions;
};

}  // namespace server
