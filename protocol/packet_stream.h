#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

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
// identities, then one value per column, then endRow().
class PacketWriter {
 public:
  using Send = std::function<bool(const QByteArray& frame)>;
  // Frames are sent through `send` once their rows pass `batchBytes`.
  explicit PacketWriter(Send send, qsizetype batchBytes = 256 * 1024);
  ~PacketWriter();

  void begin(const QStringList& columns, bool rids);
  void rowIdentity(qint64 rid);
  void null();
  void integer(qint64 value);
  void text(QByteArrayView utf8);
  // Ends a row. A full batch is sent when the next row starts; false once sending failed.
  bool endRow();
  // Sends the last frame. False when sending failed.
  bool finish();
  // Bytes of rows written so far, in all frames.
  qint64 rowBytes() const { return sentBytes_ + rows_.size(); }

 private:
  bool flush(bool more);
  void startRow();
  void openRow();

  Send send_;
  qsizetype batchBytes_;
  QStringList columns_;
  bool first_ = true;
  QByteArray rows_;  // the batch's rows, each an encoded CBOR array
  qsizetype rowCount_ = 0;
  bool rowStarted_ = false;
  bool rowOpen_ = false;
  bool lost_ = false;
  QList<qint64> rids_;
  qint64 sentBytes_ = 0;
  struct RowEncoder;
  std::unique_ptr<RowEncoder> encoder_;
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
