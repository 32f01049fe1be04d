#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "protocol/request_reader.h"

// What one request may hold, so that no request costs the server more than a bounded amount
// of memory. The frame is walked before anything is built from it.
namespace server::limits {

// A request frame's body; replies may be larger (protocol::kMaxFrameBytes).
inline constexpr quint32 kMaxRequestBytes = 16u * 1024 * 1024;
// Before sign-in a frame needs no more than a few bytes.
inline constexpr quint32 kMaxGuestRequestBytes = 64u * 1024;
// One text or byte string in a request (a select text, a field value).
inline constexpr qint64 kMaxValueBytes = 1024 * 1024;
// Items of one list, and items in all of a request.
inline constexpr qint64 kMaxListItems = 20000;
inline constexpr qint64 kMaxItems = 500000;
// Entries of one map (a change's values: far more than any table has columns).
inline constexpr qint64 kMaxMapEntries = 256;
inline constexpr int kMaxDepth = 8;
// Items of the particular lists of a request.
inline constexpr qsizetype kMaxParams = 999;
inline constexpr qsizetype kMaxParts = 32;
inline constexpr qsizetype kMaxChanges = 20000;
inline constexpr protocol::ListLimits kLists{kMaxParams, kMaxParts, kMaxChanges};

// The reason a request body is refused before it is parsed: over a limit above, or not
// well-formed CBOR. Nothing when it may be parsed.
std::optional<QString> checkShape(const QByteArray& body);

}  // namespace server::limits
