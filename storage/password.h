#pragma once

#include <QByteArray>
#include <QString>

#include "storage/result.h"

// Stored passwords: Argon2id hashes (libsodium, interactive limits) of the trimmed password.
// Each hash or check takes about 0.1 s and 64 MiB; at most a few run at once, whatever the
// number of connections.
namespace storage::password {

// The hash string to store for a password as typed; it is trimmed first. Fails only when the
// memory for hashing cannot be had.
Result<QByteArray> hash(const QString& typed);

// True when the trimmed password matches the stored hash. A null, empty or malformed stored
// value never matches.
bool verify(const QString& typed, const QByteArray& stored);

}  // namespace storage::password
