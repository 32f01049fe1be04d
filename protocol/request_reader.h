#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <variant>

#include "protocol/messages.h"

// Reading a request frame's body into its typed request. The bytes are read where they lie,
// each value once, with no CBOR tree in between: a request costs its typed values and the
// offsets of its fields, not several copies of itself.
//
// Requests are read strictly: a required field that is missing or of another type than the one
// written by toCbor() refuses the request, so a peer that speaks another shape is never half
// understood.
namespace protocol {

struct ByeRequest {};

struct Request {
  QString op;  // as the body names it; empty when it names none
  // std::monostate for an op the protocol does not know.
  std::variant<std::monostate, Hello, SignInRequest, OpenRequest, ApplyRequest, DrawRequest,
               ReviewRequest, ByeRequest>
      body;
};

// How many items the lists of one request may hold. A request over them is refused before the
// items are read.
struct ListLimits {
  qsizetype params = 999;
  qsizetype parts = 32;
  qsizetype changes = 20000;  // of all parts together
};

// The op that `body` names in its first entry, as every request written by toCbor() does;
// empty when the first entry is not the op. Reads two items only, so the thread that receives
// frames can sort requests before a worker reads them whole.
QString leadingOp(const QByteArray& body);

// The request in `body`; nothing, with the reason in `error`, when the body is not a map, a list
// is over its limit, or a known request misses a field or holds one of another type.
std::optional<Request> readRequest(const QByteArray& body, const ListLimits& limits,
                                   QString* error);

}  // namespace protocol
