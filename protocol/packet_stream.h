#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstring>
#include <functional>
#include <optional>

#include "protocol/cbor_bytes.h"
#include "protocol/messages.h"
#include "protocol/value_store.h"

// Open replies carry the most bytes, so they skip CBOR trees on both sides: the server writes a
// read's rows straight into frames as the storage steps through them, and the client reads
// them straight into a ValueStore. A reply is one frame or more, each a map of "ok", "columns"
// (first frame only), "rows", "rids" and "more"; the rows and rids of all frames make the
// packet, and "more" is false on the last. The bytes of each frame are those of the same map
// built as a CBOR tree (encodeFrame), and a refusal is an error reply, also as the last frame
// of a reply cut short.
namespace protocol {

// Writes an open reply's frames as rows arrive. Per row: rowIdentity() when the rows carry
// identities, then one value per column, then endRow(). Rows are written into the frame that
// carries them, after room left for its head, so a frame is never copied on its way out.
class PacketWriter {
 public:
  using Send = std::function<bool(const QByteArray& frame)>;
  // Frames are sent through `send` once their rows pass `batchBytes`.
  explicit PacketWriter(Send send, qsizetype batchBytes = 256 * 1024);

  void begin(const QStringList& columns, bool rids);
  void rowIdentity(qint64 rid) {
    if (!rowOpen_) openRow();
    rids_.append(rid);
  }
  void null() {
    if (!rowOpen_) openRow();
    *room(1) = char(0xf6);
    ++used_;
  }
  void integer(qint64 value) {
    if (!rowOpen_) openRow();
    used_ += cbor::putInteger(room(9), value);
  }
  void text(QByteArrayView utf8) {
    if (!rowOpen_) openRow();
    char* at = room(9 + utf8.size());
    const int head = cbor::putHead(at, cbor::Text, quint64(utf8.size()));
    std::memcpy(at + head, utf8.data(), size_t(utf8.size()));
    used_ += head + utf8.size();
  }
  // Ends a row. A full batch is sent when the next row starts; false once sending failed.
  bool endRow() {
    if (!rowOpen_) openRow();
    rowOpen_ = false;
    ++rowCount_;
    return !lost_;
  }
  // Between rows: sends the rows so far as a frame now, more to follow. False once sending
  // failed.
  bool sendNow();
  // Sends the last frame. False when sending failed.
  bool finish();
  // Bytes of rows written so far, in all frames.
  qint64 rowBytes() const { return sentBytes_ + (used_ > headRoom_ ? used_ - headRoom_ : 0); }

 private:
  bool flush(bool more);
  // Sends a full batch first (so the last frame is never an empty one), then starts the row.
  void openRow();
  // Where the next `bytes` of the frame go.
  char* room(qsizetype bytes) {
    if (used_ + bytes > frame_.size()) grow(bytes);
    return frame_.data() + used_;
  }
  void grow(qsizetype bytes);

  Send send_;
  qsizetype batchBytes_;
  QStringList columns_;
  qsizetype headRoom_ = 0;  // the most a frame's head takes: the first frame's, with the columns
  bool first_ = true;
  QByteArray frame_;  // head room, then the batch's rows, each an encoded CBOR array
  qsizetype used_ = 0;
  qsizetype rowCount_ = 0;
  bool rowOpen_ = false;
  bool lost_ = false;
  QList<qint64> rids_;
  qint64 sentBytes_ = 0;
};

// Encodes a whole packet as the frames PacketWriter sends.
QList<QByteArray> encodePacketFrames(const Packet& packet, qsizetype batchBytes = 256 * 1024);

// A packet as the client holds it.
struct CompactPacket {
  QStringList columns;
  ValueStore values;
  QList<qint64> rids;
};

// Reads the frames of one open reply into a CompactPacket, one frame body at a time.
class PacketReader {
 public:
  enum class State { More, Done, Refused, Malformed };

  explicit PacketReader(CompactPacket& into) : packet_(into) {}

  // Takes the next frame body: the first sets the columns; every one appends its rows.
  // Refused: the server's reason is in error(); Malformed: the bytes are no open reply.
  State read(const QByteArray& body);
  const QString& error() const { return error_; }

 private:
  CompactPacket& packet_;
  bool started_ = false;
  QString error_;
};

// The simple form of a whole reply read from its frame bodies, for the tests and the
// benchmarks: the packet, or the reason there is none (`malformed` for bytes that are no
// open reply, with kUnreadableFrame).
struct PacketReply {
  std::optional<Packet> packet;
  QString error;
  bool malformed = false;
};
PacketReply readPacketReply(const QList<QByteArray>& bodies);
PacketReply readPacketReply(const QByteArray& body);

// The values of a CompactPacket as the simple form holds them.
Packet toPacket(const CompactPacket& packet);

}  // namespace protocol
