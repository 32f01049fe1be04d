#include "protocol/packet_stream.h"

#include <QCborStreamReader>
#include <QCborStreamWriter>
#include <limits>

#include "protocol/frame.h"

namespace protocol {

namespace {

template <typename T, typename Write>
void writeArray(QCborStreamWriter& writer, const QList<T>& items, Write&& write) {
  writer.startArray(quint64(items.size()));
  for (const T& item : items) write(item);
  writer.endArray();
}

// Reads an open reply out of a frame body. Each read returns false once the bytes are not what
// an open reply holds; the reader never reads past the body.
class PacketReader {
 public:
  explicit PacketReader(const QByteArray& body) : reader_(body), size_(body.size()) {}

  // Reads the reply map into `packet`. Stops at an "ok" that is not true, with `ok` false, which
  // it also is when the map has no "ok".
  bool read(Packet* packet, bool* ok);

 private:
  bool entry(const QString& key, Packet* packet);
  bool text(QString* out);
  bool integer(qint64* out);
  bool value(QVariant* out);
  bool row(QVariantList* out) { return array(out, &PacketReader::value); }
  template <typename T>
  bool array(QList<T>* out, bool (PacketReader::*item)(T*));

  QCborStreamReader reader_;
  qint64 size_;
};

bool PacketReader::read(Packet* packet, bool* ok) {
  *ok = false;
  if (!reader_.isMap() || !reader_.enterContainer()) return false;
  while (reader_.hasNext()) {
    QString key;  // a key that is no text is skipped with its value, as the map form does
    if (reader_.isString() ? !text(&key) : !reader_.next()) return false;
    if (key == key::kOk) {
      *ok = reader_.isBool() && reader_.toBool();
      if (!*ok) return true;
    }
    if (!entry(key, packet)) return false;
  }
  return reader_.leaveContainer();
}

bool PacketReader::entry(const QString& key, Packet* packet) {
  if (key == key::kColumns) return array(&packet->columns, &PacketReader::text);
  if (key == key::kRows) return array(&packet->rows, &PacketReader::row);
  if (key == key::kRids) return array(&packet->rids, &PacketReader::integer);
  return reader_.next();
}

bool PacketReader::text(QString* out) {
  if (!reader_.isString()) return false;
  out->clear();
  QCborStreamReader::StringResult<QString> chunk = reader_.readString();
  for (; chunk.status == QCborStreamReader::Ok; chunk = reader_.readString()) *out += chunk.data;
  return chunk.status == QCborStreamReader::EndOfString;
}

bool PacketReader::integer(qint64* out) {
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

bool PacketReader::value(QVariant* out) {
  if (reader_.isNull()) return reader_.next();
  if (reader_.isString()) {
    QString s;
    if (!text(&s)) return false;
    *out = std::move(s);
    return true;
  }
  qint64 i = 0;
  if (!integer(&i)) return false;
  *out = i;
  return true;
}

template <typename T>
bool PacketReader::array(QList<T>* out, bool (PacketReader::*item)(T*)) {
  if (!reader_.isArray()) return false;
  // Every item takes a byte at least, so a length the body cannot hold reserves no more.
  if (reader_.isLengthKnown())
    out->reserve(qsizetype(qMin(reader_.length(), quint64(size_ - reader_.currentOffset()))));
  if (!reader_.enterContainer()) return false;
  while (reader_.hasNext()) {
    T value;
    if (!(this->*item)(&value)) return false;
    out->append(std::move(value));
  }
  return reader_.leaveContainer();
}

// Every row has a value per column, and every row an identity or none has.
bool consistent(const Packet& packet) {
  for (const QVariantList& row : packet.rows)
    if (row.size() != packet.columns.size()) return false;
  return packet.rids.isEmpty() || packet.rids.size() == packet.rows.size();
}

}  // namespace

QByteArray encodePacketFrame(const Packet& packet) {
  return encodeStreamedFrame([&packet](QCborStreamWriter& writer) {
    const auto append = [&writer](const auto& value) { writer.append(value); };
    writer.startMap(4);
    writer.append(key::kOk);
    writer.append(true);
    writer.append(key::kColumns);
    writeArray(writer, packet.columns, append);
    writer.append(key::kRows);
    writeArray(writer, packet.rows, [&](const QVariantList& row) {
      writeArray(writer, row, [&](const QVariant& value) { withWireValue(value, append); });
    });
    writer.append(key::kRids);
    writeArray(writer, packet.rids, append);
    writer.endMap();
  });
}

PacketReply readPacketReply(const QByteArray& body) {
  Packet packet;
  bool ok = false;
  const bool readable = PacketReader(body).read(&packet, &ok);
  if (readable && ok && consistent(packet)) return {std::move(packet), {}, false};
  // A refusal is small: it is read as every other reply is.
  QString error;
  const std::optional<QCborMap> reply =
      readable && !ok ? parseFrameBody(body, &error) : std::nullopt;
  if (const std::optional<QString> refusal = reply ? replyError(*reply) : std::nullopt)
    return {std::nullopt, *refusal, false};
  return {std::nullopt, kUnreadableFrame, true};
}

}  // namespace protocol
