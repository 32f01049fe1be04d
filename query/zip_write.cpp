#include "query/zip_write.h"

#include <QDateTime>
#include <QtEndian>

#include "query/spreadsheet.h"

namespace spreadsheet::detail {

namespace {

constexpr quint32 kLocalSignature = 0x04034b50;
constexpr quint32 kEntrySignature = 0x02014b50;
constexpr quint32 kEndSignature = 0x06054b50;
constexpr quint16 kVersion = 20;  // 2.0: deflate
constexpr quint64 kMost = 0xffffffffu;

// The little-endian fields of a header, in order.
class Fields {
 public:
  Fields& u16(quint16 value) {
    char b[2];
    qToLittleEndian(value, b);
    bytes.append(b, 2);
    return *this;
  }
  Fields& u32(quint64 value) {
    char b[4];
    qToLittleEndian(quint32(value), b);
    bytes.append(b, 4);
    return *this;
  }
  QByteArray bytes;
};

}  // namespace

ZipWriter::ZipWriter(QFile& file, const QString& path) : file_(file), path_(path) {
  const QDateTime now = QDateTime::currentDateTime();
  const QDate d = now.date();
  const QTime t = now.time();
  date_ = quint16((std::max(d.year(), 1980) - 1980) << 9 | d.month() << 5 | d.day());
  time_ = quint16(t.hour() << 11 | t.minute() << 5 | t.second() / 2);
}

ZipWriter::~ZipWriter() {
  if (deflating_) deflateEnd(&stream_);
}

void ZipWriter::fail() const {
  throw Error(QStringLiteral("无法写入文件 %1：%2").arg(path_, file_.errorString()));
}

void ZipWriter::put(QByteArrayView bytes) {
  if (file_.write(bytes.data(), bytes.size()) != bytes.size()) fail();
}

void ZipWriter::begin(const QString& name, int level) {
  Entry entry;
  entry.name = name.toUtf8();
  entry.offset = quint64(file_.pos());
  entry.crc = quint32(crc32(0, nullptr, 0));
  // Its CRC and sizes are filled in once the part is whole.
  Fields header;
  header.u32(kLocalSignature).u16(kVersion).u16(0).u16(Z_DEFLATED).u16(time_).u16(date_);
  header.u32(0).u32(0).u32(0).u16(quint16(entry.name.size())).u16(0);
  put(header.bytes);
  put(entry.name);
  entries_.push_back(std::move(entry));
  stream_ = z_stream{};
  if (deflateInit2(&stream_, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw Error(QStringLiteral("无法写入文件 %1：内存不足").arg(path_));
  deflating_ = true;
}

void ZipWriter::write(QByteArrayView bytes) {
  Entry& entry = entries_.back();
  const auto* data = reinterpret_cast<const Bytef*>(bytes.data());
  entry.crc = quint32(crc32_z(entry.crc, data, size_t(bytes.size())));
  entry.size += quint64(bytes.size());
  stream_.next_in = const_cast<Bytef*>(data);
  stream_.avail_in = uInt(bytes.size());
  deflateInto(Z_NO_FLUSH);
}

void ZipWriter::deflateInto(int flush) {
  char out[64 * 1024];
  do {
    stream_.next_out = reinterpret_cast<Bytef*>(out);
    stream_.avail_out = sizeof out;
    if (deflate(&stream_, flush) == Z_STREAM_ERROR) fail();
    const qsizetype produced = qsizetype(sizeof out - stream_.avail_out);
    entries_.back().compressed += quint64(produced);
    put(QByteArrayView(out, produced));
  } while (stream_.avail_out == 0);
}

void ZipWriter::end() {
  deflateInto(Z_FINISH);
  deflateEnd(&stream_);
  deflating_ = false;
  const Entry& entry = entries_.back();
  const qint64 after = file_.pos();
  if (entry.size > kMost || quint64(after) > kMost)
    throw Error(QStringLiteral("文件 %1 将超过 4 GiB，无法写入").arg(path_));
  Fields sizes;
  sizes.u32(entry.crc).u32(entry.compressed).u32(entry.size);
  if (!file_.seek(qint64(entry.offset) + 14)) fail();
  put(sizes.bytes);
  if (!file_.seek(after)) fail();
}

void ZipWriter::finish() {
  const quint64 start = quint64(file_.pos());
  for (const Entry& e : entries_) {
    Fields entry;
    entry.u32(kEntrySignature).u16(kVersion).u16(kVersion).u16(0).u16(Z_DEFLATED);
    entry.u16(time_).u16(date_).u32(e.crc).u32(e.compressed).u32(e.size);
    entry.u16(quint16(e.name.size())).u16(0).u16(0).u16(0).u16(0).u32(0).u32(e.offset);
    put(entry.bytes);
    put(e.name);
  }
  const quint64 directory = quint64(file_.pos()) - start;
  if (quint64(file_.pos()) > kMost)
    throw Error(QStringLiteral("文件 %1 将超过 4 GiB，无法写入").arg(path_));
  Fields end;
  end.u32(kEndSignature).u16(0).u16(0).u16(quint16(entries_.size())).u16(quint16(entries_.size()));
  end.u32(directory).u32(start).u16(0);
  put(end.bytes);
}

}  // namespace spreadsheet::detail
