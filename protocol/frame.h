#pragma once

#include <QByteArray>
#include <QCborMap>
#include <QString>
#include <optional>

class QIODevice;

// Framing shared by client and server: a 4-byte big-endian length, then one CBOR map.
namespace protocol {

// Frames longer than this are refused and the connection closed.
inline constexpr quint32 kMaxFrameBytes = 64u * 1024 * 1024;

QByteArray encodeFrame(const QCborMap& message);

// Reads one frame from a blocking device, waiting at most `timeoutMs` for each chunk.
// On failure returns nothing and sets `error` to a reason fit for a message box.
std::optional<QCborMap> readFrame(QIODevice& device, int timeoutMs, QString* error);

// Writes one frame and waits until it has left; false (with `error`) on failure.
bool writeFrame(QIODevice& device, const QCborMap& message, int timeoutMs, QString* error);

}  // namespace protocol
