#include "protocol/packet_stream.h"

#include <QCborStreamReader>
#include <QCborStreamWriter>
#include <QIODevice>
#include <QUtf8StringView>
#include <QtEndian>
#include <limits>

#include "protocol/frame.h"

namespace protocol {

namespace {

const QByteArray kMore = QByteArrayLiteral("more");

// A CBOR item head in its shortest form, as QCborValue writes it.
void head(QByteArray& out, quint8 major, quint64 n) {
  const char type = char(major << 5);
  if (n < 24) {
    out.append(char(type | char(n)));
  } else if (n <= 0xff) {
    out.append(char(type | 24)).append(char(n));
  } else if (n <= 0xffff) {
    out.append(char(type | 25));
    out.append(char(n >> 8)).append(char(n));
  } else if (n <= 0xffffffffu) {
    out.append(char(type | 26));
    for (int shift = 24; shift >= 0; shift -= 8) out.append(char(n >> shift));
  } else {
    out.append(char(type | 27));
    for (int shift = 56; shift >= 0; shift -= 8) out.append(char(n >> shift));
  }
}

void textItem(QByteArray& out, QByteArrayView utf8) {
  head(out, 3, quint64(utf8.size()));
  out.append(utf8);
}

void integerItem(QByteArray& out, qint64 value) {
  if (value >= 0)
    head(out, 0, quint64(value));
  else
    head(out, 1, quint64(-1 - value));
}

void booleanItem(QByteArray& out, bool value) { out.append(value ? '\xf5' : '\xf4'); }

}  // namespace

struct PacketWriter::RowEncoder {
  explicit RowEncoder(QByteArray* rows) : writer(rows) {}
  QCborStreamWriter writer;
};

PacketWriter::PacketWriter(Send send, qsizetype batchBytes)
    : send_(std::move(send)),
      batchBytes_(batchBytes),
      encoder_(std::make_unique<RowEncoder>(&rows_)) {}

PacketWriter::~PacketWriter() = default;

void PacketWriter::begin(const QStringList& columns, bool) { columns_ = columns; }

void PacketWriter::startRow() {
  if (rowStarted_) return;
  rowStarted_ = true;
  // A full batch leaves when the next row starts, so the last frame is never an empty one.
  if (rowCount_ > 0 && rows_.size() >= batchBytes_ && !flush(true)) lost_ = true;
}

void PacketWriter::rowIdentity(qint64 rid) {
  startRow();
  rids_.append(rid);
}

void PacketWriter::openRow() {
  startRow();
  if (rowOpen_) return;
  encoder_->writer.startArray(quint64(columns_.size()));
  rowOpen_ = true;
}

void PacketWriter::null() {
  openRow();
  encoder_->writer.append(nullptr);
}

void PacketWriter::integer(qint64 value) {
  openRow();
  encoder_->writer.append(value);
}

void PacketWriter::text(QByteArrayView utf8) {
  openRow();
  encoder_->writer.appendTextString(utf8.data(), utf8.size());
}

bool PacketWriter::endRow() {
  openRow();
  encoder_->writer.endArray();
  rowOpen_ = rowStarted_ = false;
  ++rowCount_;
  return !lost_;
}

bool PacketWriter::finish() { return !lost_ && flush(false); }

bool PacketWriter::flush(bool more) {
  QByteArray frame(4, Qt::Uninitialized);
  frame.reserve(rows_.size() + 9 * rids_.size() + 64);
  head(frame, 5, first_ ? 5 : 4);
  textItem(frame, "ok");
  booleanItem(frame, true);
  if (first_) {
    textItem(frame, "columns");
    head(frame, 4, quint64(columns_.size()));
    for (const QString& c : std::as_const(columns_)) textItem(frame, c.toUtf8());
  }
  textItem(frame, "rows");
  head(frame, 4, quint64(rowCount_));
  frame.append(rows_);
  textItem(frame, "rids");
  head(frame, 4, quint64(rids_.size()));
  for (qint64 rid : std::as_const(rids_)) integerItem(frame, rid);
  textItem(frame, kMore);
  booleanItem(frame, more);
  qToBigEndian<quint32>(quint32(frame.size() - 4), frame.data());
  sentBytes_ += rows_.size();
  first_ = false;
  rows_.clear();
  encoder_->writer.device()->seek(0);  // the writer's buffer starts over with the next batch
  rowCount_ = 0;
  rids_.clear();
  return send_(frame);
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
      : reader_(body), size_(body.size()), packet_(packet), first_(first) {}

  // Reads the map. `ok` tells whether it said "ok": true; `more` whether frames follow.
  bool read(bool* ok, bool* more);

 private:
  bool entry(QByteArrayView key, bool* more);
  bool utf8(QByteArray* out);
  bool integer(qint64* out);
  bool columns();
  bool rows();
  bool rids();
  bool boolean(bool* out);
  qint64 left() const { return size_ - reader_.currentOffset(); }

  QCborStreamReader reader_;
  qint64 size_;
  CompactPacket& packet_;
  bool first_;
  bool sawColumns_ = false;
  QByteArray scratch_;
};

bool FrameReader::read(bool* ok, bool* more) {
  *ok = false;
  *more = false;
  if (!reader_.isMap() || !reader_.enterContainer()) return false;
  bool sawOk = false;
  while (reader_.hasNext()) {
    QByteArray key;  // a key that is no text is skipped with its value, as the map form does
    if (reader_.isString() ? !utf8(&key) : !reader_.next()) return false;
    if (key == "ok") {
      sawOk = true;
      *ok = reader_.isBool() && reader_.toBool();
      if (!*ok) return true;
    }
    if (!entry(key, more)) return false;
  }
  if (!sawOk) return true;  // read as a refusal
  return reader_.leaveContainer() && reader_.lastError() == QCborError::NoError;
}

bool FrameReader::entry(QByteArrayView key, bool* more) {
  if (key == "columns") return columns();
  if (key == "rows") return rows();
  if (key == "rids") return rids();
  if (key == kMore) return boolean(more);
  return reader_.next();
}

bool FrameReader::boolean(bool* out) {
  if (!reader_.isBool()) return false;
  *out = reader_.toBool();
  return reader_.next();
}

bool FrameReader::utf8(QByteArray* out) {
  if (!reader_.isString()) return false;
  out->clear();
  while (true) {
    const qsizetype chunk = std::max<qsizetype>(reader_.currentStringChunkSize(), 0);
    if (chunk > left()) return false;  // a length the body cannot hold
    const qsizetype at = out->size();
    out->resize(at + chunk);
    const QCborStreamReader::StringResult<qsizetype> r =
        reader_.readStringChunk(out->data() + at, chunk);
    if (r.status == QCborStreamReader::EndOfString) {
      out->resize(at);
      return QUtf8StringView(*out).isValidUtf8();
    }
    if (r.status != QCborStreamReader::Ok) return false;
    out->resize(at + r.data);
  }
}

bool FrameReader::integer(qint64* out) {
  // An encoded number n stands for n, or for -1 - n when negative; a qint64 holds either when n
  // does. toNegativeInteger() gives n + 1, wrapping to 0 for the largest n.
  quint64 n = 0;
  if (reader_.isUnsignedInteger())
    n = reader_.toUnsignedInteger();
  else if (reader_.isNegativeInteger())
    n = quint64(reader_.toNegativeInteger()) - 1;
  else
    return false;
  if (n > quint64(std::numeric_limits<qint64>::max())) return false;
  *out = reader_.toInteger();
  return reader_.next();
}

bool FrameReader::columns() {
  if (!first_ || sawColumns_ || !reader_.isArray() || !reader_.enterContainer()) return false;
  sawColumns_ = true;
  packet_.columns.clear();
  while (reader_.hasNext()) {
    if (!utf8(&scratch_)) return false;
    packet_.columns << QString::fromUtf8(scratch_);
  }
  packet_.values = ValueStore(int(packet_.columns.size()));
  return reader_.leaveContainer();
}

bool FrameReader::rows() {
  if (!reader_.isArray() || !reader_.enterContainer()) return false;
  ValueStore& values = packet_.values;
  while (reader_.hasNext()) {
    if (!reader_.isArray() || !reader_.enterContainer()) return false;
    int count = 0;
    for (; reader_.hasNext(); ++count) {
      if (count == values.columnCount()) return false;  // a row too long
      if (reader_.isNull()) {
        values.appendNull();
        if (!reader_.next()) return false;
      } else if (reader_.isString()) {
        if (!utf8(&scratch_)) return false;
        values.appendText(scratch_.constData(), scratch_.size());
      } else {
        qint64 i = 0;
        if (!integer(&i)) return false;
        values.appendInteger(i);
      }
    }
    if (count != values.columnCount() || !reader_.leaveContainer()) return false;
  }
  return reader_.leaveContainer();
}

bool FrameReader::rids() {
  if (!reader_.isArray() || !reader_.enterContainer()) return false;
  while (reader_.hasNext()) {
    qint64 rid = 0;
    if (!integer(&rid)) return false;
    packet_.rids.append(rid);
  }
  return reader_.leaveContainer();
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
