#include "protocol/packet_stream.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>

#include "protocol/cbor_bytes.h"
#include "protocol/frame.h"

namespace protocol {

namespace {

const QByteArray kMore = QByteArrayLiteral("more");

void head(QByteArray& out, quint8 major, quint64 n) {
  char bytes[9];
  out.append(bytes, cbor::putHead(bytes, major, n));
}

void textItem(QByteArray& out, QByteArrayView utf8) {
  head(out, cbor::Text, quint64(utf8.size()));
  out.append(utf8);
}

void integerItem(QByteArray& out, qint64 value) {
  char bytes[9];
  out.append(bytes, cbor::putInteger(bytes, value));
}

void booleanItem(QByteArray& out, bool value) { out.append(value ? '\xf5' : '\xf4'); }

}  // namespace

PacketWriter::PacketWriter(Send send, qsizetype batchBytes)
    : send_(std::move(send)), batchBytes_(batchBytes) {}

void PacketWriter::begin(const QStringList& columns, bool) {
  columns_ = columns;
  // Length, map, "ok": true, "columns" and their names, "rows" and the head of its array.
  headRoom_ = 4 + 1 + 3 + 1 + 8 + 9 + 5 + 9;
  for (const QString& c : std::as_const(columns_)) headRoom_ += 9 + c.toUtf8().size();
}

void PacketWriter::grow(qsizetype bytes) {
  if (frame_.isEmpty()) {
    // Room for a whole batch and its tail, so that a frame is not moved as it fills; memory
    // not written to costs nothing.
    frame_.resize(headRoom_ + batchBytes_ + batchBytes_ / 4 + bytes);
    used_ = headRoom_;
  }
  if (used_ + bytes > frame_.size()) frame_.resize(std::max(frame_.size() * 2, used_ + bytes));
}

void PacketWriter::openRow() {
  if (rowCount_ > 0 && used_ - headRoom_ >= batchBytes_ && !flush(true)) lost_ = true;
  used_ += cbor::putHead(room(9), cbor::Array, quint64(columns_.size()));
  rowOpen_ = true;
}

bool PacketWriter::sendNow() {
  if (rowCount_ > 0 && !lost_ && !flush(true)) lost_ = true;
  return !lost_;
}

bool PacketWriter::finish() { return !lost_ && flush(false); }

bool PacketWriter::flush(bool more) {
  if (frame_.isEmpty()) grow(0);  // a reply without rows has a frame too
  const qsizetype rows = used_ - headRoom_;
  // After the rows: their identities, and whether more frames follow.
  QByteArray tail;
  tail.reserve(9 * rids_.size() + 16);
  textItem(tail, "rids");
  head(tail, cbor::Array, quint64(rids_.size()));
  for (qint64 rid : std::as_const(rids_)) integerItem(tail, rid);
  textItem(tail, kMore);
  booleanItem(tail, more);
  std::memcpy(room(tail.size()), tail.constData(), size_t(tail.size()));
  used_ += tail.size();
  // Before them, in the room left for it: the length, the map and the array of rows.
  QByteArray top(4, Qt::Uninitialized);
  head(top, cbor::Map, first_ ? 5 : 4);
  textItem(top, "ok");
  booleanItem(top, true);
  if (first_) {
    textItem(top, "columns");
    head(top, cbor::Array, quint64(columns_.size()));
    for (const QString& c : std::as_const(columns_)) textItem(top, c.toUtf8());
  }
  textItem(top, "rows");
  head(top, cbor::Array, quint64(rowCount_));
  const qsizetype start = headRoom_ - top.size();
  qToBigEndian<quint32>(quint32(used_ - start - 4), top.data());
  std::memcpy(frame_.data() + start, top.constData(), size_t(top.size()));
  frame_.resize(used_);
  frame_.remove(0, start);  // moves the start of the frame, not its bytes
  sentBytes_ += rows;
  first_ = false;
  used_ = 0;
  rowCount_ = 0;
  rids_.clear();
  return send_(std::exchange(frame_, QByteArray()));
}

QList<QByteArray> encodePacketFrames(const Packet& packet, qsizetype batchBytes) {
  QList<QByteArray> frames;
  PacketWriter writer(
      [&frames](const QByteArray& frame) {
        frames << frame;
        return true;
      },
      batchBytes);
  writer.begin(packet.columns, !packet.rids.isEmpty());
  for (qsizetype r = 0; r < packet.rows.size(); ++r) {
    if (r < packet.rids.size()) writer.rowIdentity(packet.rids[r]);
    for (const QVariant& value : packet.rows[r])
      withWireValue(value, [&writer](const auto& v) {
        using V = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<V, std::nullptr_t>)
          writer.null();
        else if constexpr (std::is_same_v<V, qint64>)
          writer.integer(v);
        else
          writer.text(v.toUtf8());
      });
    writer.endRow();
  }
  writer.finish();
  return frames;
}

namespace {

// Reads one frame body of an open reply. Every read returns false once the bytes are not what
// an open reply holds; the reader never reads past the body.
class FrameReader {
 public:
  FrameReader(const QByteArray& body, CompactPacket& packet, bool first)
      : in_(body), packet_(packet), first_(first) {}

  // Reads the map. `ok` tells whether it said "ok": true; `more` whether frames follow.
  bool read(bool* ok, bool* more);

 private:
  bool entry(QByteArrayView key, bool* more);
  bool columns();
  bool rows();
  bool rids();

  cbor::Reader in_;
  CompactPacket& packet_;
  bool first_;
  bool sawColumns_ = false;
  QByteArray keyScratch_;
  QByteArray scratch_;
};

bool FrameReader::read(bool* ok, bool* more) {
  *ok = false;
  *more = false;
  cbor::Reader::Container map;
  if (!in_.enter(cbor::Map, &map)) return false;
  while (in_.more(map)) {
    QByteArrayView key;  // a key that is no text is skipped with its value, as the map form does
    if (in_.peekMajor() == cbor::Text ? !in_.text(&key, &keyScratch_) : !in_.skip()) return false;
    if (key == "ok") {
      *ok = in_.nextIs(0xf5);
      if (!*ok) return true;
    }
    if (!entry(key, more)) return false;
  }
  return !in_.failed();  // without "ok" it is read as a refusal
}

bool FrameReader::entry(QByteArrayView key, bool* more) {
  if (key == "columns") return columns();
  if (key == "rows") return rows();
  if (key == "rids") return rids();
  if (key == kMore) return in_.boolean(more);
  return in_.skip();
}

bool FrameReader::columns() {
  cbor::Reader::Container names;
  if (!first_ || sawColumns_ || !in_.enter(cbor::Array, &names)) return false;
  sawColumns_ = true;
  packet_.columns.clear();
  while (in_.more(names)) {
    QByteArrayView name;
    if (!in_.text(&name, &scratch_)) return false;
    packet_.columns << QString::fromUtf8(name);
  }
  packet_.values = ValueStore(int(packet_.columns.size()));
  return !in_.failed();
}

bool FrameReader::rows() {
  cbor::Reader::Container rows;
  if (!in_.enter(cbor::Array, &rows)) return false;
  ValueStore& values = packet_.values;
  const int columns = values.columnCount();
  while (in_.more(rows)) {
    cbor::Reader::Container row;
    if (!in_.enter(cbor::Array, &row)) return false;
    int count = 0;
    for (; in_.more(row); ++count) {
      if (count == columns) return false;  // a row too long
      if (in_.takeNull()) {
        values.appendNull();
      } else if (in_.peekMajor() == cbor::Text) {
        QByteArrayView text;
        if (!in_.text(&text, &scratch_)) return false;
        values.appendText(text.data(), text.size());
      } else {
        qint64 i = 0;
        if (!in_.integer(&i)) return false;
        values.appendInteger(i);
      }
    }
    if (in_.failed() || count != columns) return false;
  }
  return !in_.failed();
}

bool FrameReader::rids() {
  cbor::Reader::Container rids;
  if (!in_.enter(cbor::Array, &rids)) return false;
  while (in_.more(rids)) {
    qint64 rid = 0;
    if (!in_.integer(&rid)) return false;
    packet_.rids.append(rid);
  }
  return !in_.failed();
}

}  // namespace

PacketReader::State PacketReader::read(const QByteArray& body) {
  bool ok = false, more = false;
  const bool readable = FrameReader(body, packet_, !started_).read(&ok, &more);
  if (readable && ok) {
    started_ = true;
    const qsizetype rows = packet_.values.rowCount();
    if (more) return State::More;
    if (packet_.rids.isEmpty() || packet_.rids.size() == rows) return State::Done;
  } else if (readable) {
    // A refusal is small: it is read as every other reply is.
    QString ignored;
    if (const std::optional<QCborMap> reply = parseFrameBody(body, &ignored)) {
      error_ = replyError(*reply).value_or(QString());
      if (!error_.isEmpty()) return State::Refused;
    }
  }
  error_ = kUnreadableFrame;
  return State::Malformed;
}

Packet toPacket(const CompactPacket& packet) {
  Packet out;
  out.columns = packet.columns;
  out.rids = packet.rids;
  for (qsizetype r = 0; r < packet.values.rowCount(); ++r) {
    QVariantList row;
    for (int c = 0; c < packet.values.columnCount(); ++c) row << packet.values.value(r, c);
    out.rows << row;
  }
  return out;
}

PacketReply readPacketReply(const QList<QByteArray>& bodies) {
  CompactPacket packet;
  PacketReader reader(packet);
  for (const QByteArray& body : bodies) {
    switch (reader.read(body)) {
      case PacketReader::State::More:
        continue;
      case PacketReader::State::Done:
        return {toPacket(packet), {}, false};
      case PacketReader::State::Refused:
        return {std::nullopt, reader.error(), false};
      case PacketReader::State::Malformed:
        return {std::nullopt, reader.error(), true};
    }
  }
  return {std::nullopt, kUnreadableFrame, true};  // the frames ended before the last
}

PacketReply readPacketReply(const QByteArray& body) { return readPacketReply(QList{body}); }

}  // namespace protocol
