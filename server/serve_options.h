#pragma once

#include <QString>

#include "storage/storage.h"

namespace server {

// How `serve` treats its connections. Durations are in milliseconds.
struct ServeOptions {
  // A connection that has not signed in this long after it was accepted is closed.
  int signInTimeoutMs = 10000;
  // A frame must arrive whole within this long of its first byte, or its connection is closed.
  int stallTimeoutMs = 10000;
  // A signed-in connection that sends nothing for this long is closed; the client reconnects.
  int idleTimeoutMs = 30 * 60 * 1000;
  // Connections the server holds at once, and of those one peer address (a school behind one
  // NAT address holds hundreds; 0: a quarter of maxConnections) and those not signed in yet
  // (0: a tenth of maxConnections, at least 64).
  int maxConnections = 10000;
  int maxPerAddress = 0;
  int maxUnsigned = 0;
  // Threads that run requests, each with a storage of its own (0: four per core, and on
  // PostgreSQL no more than its connections of each kind).
  int workers = 0;
  // The bytes of all requests in flight together, in MiB.
  int flightMiB = 256;
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
  // At a stop (SIGTERM, SIGINT), how long requests in flight may take to finish.
  int drainTimeoutMs = 10000;
  // Backups while serving: into this folder (empty: none), every so many hours, the newest kept.
  QString backupDir;
  double backupHours = 24;
  int backupKeep = 7;
  // Where the log goes; empty: standard error.
  QString logFile;
  // Each worker's storage: its page cache and file mapping.
  storage::StorageOptions storageOptions;
};

}  // namespace server
