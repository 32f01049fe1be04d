#pragma once

#include <QByteArrayView>

// Whether bytes are well-formed UTF-8 (RFC 3629: no overlong forms, no surrogates, nothing past
// U+10FFFF), as QUtf8StringView::isValidUtf8 judges them, at a fraction of its cost: every text
// value of an open reply is checked on both sides of the wire.
namespace protocol {

bool isValidUtf8(QByteArrayView bytes);

}  // namespace protocol
