#pragma once

#include <QByteArray>
#include <QCborMap>
#include <QString>
#include <functional>
#include <optional>

class QCborStreamWriter;
class QIODevice;

// Framing shared by client and server: a 4-byte big-endian length, then one CBOR map.
namespace protocol {

// Frames longer than this are refused and the connection closed.
inline constexpr quint32 kMaxFrameBytes = 64u * 1024 * 1024;

// The reason given for a frame body that is not the map awaited.
inline const QString kUnreadableFrame = QStringLiteral("报文无法解析");

QByteArray encodeFrame(const QCborMap& message);
// A frame whose body `writeBody` writes straight into it, with no CBOR tree in between.
QByteArray encodeStreamedFrame(const std::function<void(QCborStreamWriter&)>& writeBody);

// Reads one frame body from a blocking device, waiting at most `timeoutMs` for each chunk.
// On failure returns nothing and sets `error` to a reason fit for a message box.
std::optional<QByteArray> readFrameBody(QIODevice& device, int timeoutMs, QString* error);
// The map a frame body holds; nothing (with `error`) when it holds none.
std::optional<QCborMap> parseFrameBody(const QByteArray& body, QString* error);
// Reads one frame and parses its body.
std::optional<QCborMap> readFrame(QIODevice& device, int timeoutMs, QString* error);

// Writes one frame and waits until it has left; false (with `error`) on failure.
bool writeFrame(QIODevice& device, const QCborMap& message, int timeoutMs, QString* error);

}  // namespace protocol
