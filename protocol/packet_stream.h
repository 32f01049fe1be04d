#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "protocol/messages.h"

// Open replies carry the most bytes, so they skip the CBOR trees: the server writes a packet
// straight into its frame and the client reads it straight out of the frame body. The bytes are
// those of a frame of Packet::toCbor(), and either side may still use the tree form.
namespace protocol {

QByteArray encodePacketFrame(const Packet& packet);

// An open reply read from a frame body: the packet, or the reason there is none. A refusal gives
// the reason as replyError() does; bytes that are no open reply give kUnreadableFrame and set
// `malformed`.
struct PacketReply {
  std::optional<Packet> packet;
  QString error;
  bool malformed = false;
};

PacketReply readPacketReply(const QByteArray& body);

}  // namespace protocol
