#include "query/zip_parts.h"

#include <zlib.h>

#include "query/sheet_cells.h"
#include "query/spreadsheet.h"

namespace spreadsheet::detail {

namespace {

constexpr quint32 kEndSignature = 0x06054b50;
constexpr quint32 kEntrySignature = 0x02014b50;
constexpr quint32 kLocalSignature = 0x04034b50;
constexpr qsizetype kEndBytes = 22;
constexpr qsizetype kEntryBytes = 46;
constexpr qsizetype kLocalBytes = 30;

Error notWhole() {
  return Error(QStringLiteral("它不是电子表格：文件不完整或已损坏（zip 压缩包的目录读不出来）"));
}

Error damaged(const QString& part) { return Error(QStringLiteral("文件中的 %1 已损坏").arg(part)); }

Error tooLarge(const QString& part) {
  return Error(QStringLiteral("文件中的 %1 解压后超过 %2 MiB，不能读取")
                   .arg(part)
                   .arg(kMaxPartBytes / (1024 * 1024)));
}

// Little-endian integers of the archive, bounds checked: reading past the end is a damaged file.
class Bytes {
 public:
  explicit Bytes(const QByteArray& file) : file_(file) {}
  bool has(qint64 at, qint64 count) const {
    return at >= 0 && count >= 0 && at <= file_.size() && count <= file_.size() - at;
  }
  quint32 u16(qint64 at) const { return byte(at) | byte(at + 1) << 8; }
  quint32 u32(qint64 at) const { return u16(at) | u16(at + 2) << 16; }
  const char* at(qint64 at) const { return file_.constData() + at; }

 private:
  quint32 byte(qint64 at) const {
    if (!has(at, 1)) throw notWhole();
    return quint8(file_[qsizetype(at)]);
  }
  const QByteArray& file_;
};

}  // namespace

ZipParts::ZipParts(const QByteArray& file) : file_(file) {
  const Bytes bytes(file);
  // The end record sits at the end, after a comment of at most 65535 bytes.
  qint64 end = file.size() - kEndBytes;
  const qint64 first = qMax<qint64>(0, end - 65535);
  while (end >= first && bytes.u32(end) != kEndSignature) --end;
  if (end < first) throw notWhole();
  const qint64 count = bytes.u16(end + 10);
  const qint64 size = bytes.u32(end + 12);
  qint64 at = bytes.u32(end + 16);
  if (!bytes.has(at, size) || at + size > end) throw notWhole();

  for (qint64 i = 0; i < count; ++i) {
    if (!bytes.has(at, kEntryBytes) || bytes.u32(at) != kEntrySignature) throw notWhole();
    Entry entry;
    entry.encrypted = bytes.u16(at + 8) & 1;
    entry.method = int(bytes.u16(at + 10));
    entry.compressed = bytes.u32(at + 20);
    entry.size = bytes.u32(at + 24);
    const qint64 nameBytes = bytes.u16(at + 28);
    const qint64 rest = nameBytes + bytes.u16(at + 30) + bytes.u16(at + 32);
    entry.offset = bytes.u32(at + 42);
    if (!bytes.has(at + kEntryBytes, rest)) throw notWhole();
    entry.name = QString::fromUtf8(bytes.at(at + kEntryBytes), qsizetype(nameBytes));
    entries_.push_back(std::move(entry));
    at += kEntryBytes + rest;
  }
}

const ZipParts::Entry* ZipParts::find(const QString& name) const {
  for (const Entry& e : entries_)
    if (e.name == name) return &e;
  return nullptr;
}

bool ZipParts::contains(const QString& name) const { return find(name) != nullptr; }

QByteArray ZipParts::read(const QString& name) const {
  const Entry* entry = find(name);
  if (!entry) throw Error(QStringLiteral("文件中缺少 %1").arg(name));
  QByteArray part;
  part.reserve(qsizetype(entry->size));
  inflate(*entry, [&part](const char* data, qsizetype size) { part.append(data, size); });
  return part;
}

void ZipParts::checkAll() const {
  for (const Entry& e : entries_) inflate(e, [](const char*, qsizetype) {});
}

void ZipParts::inflate(const Entry& entry,
                       const std::function<void(const char*, qsizetype)>& sink) const {
  // Sizes of 0xFFFFFFFF stand for a zip64 archive's: parts of 4 GiB and more.
  if (entry.size > kMaxPartBytes) throw tooLarge(entry.name);
  if (entry.encrypted) throw Error(QStringLiteral("文件中的 %1 已加密，不能读取").arg(entry.name));
  const Bytes bytes(file_);
  if (!bytes.has(entry.offset, kLocalBytes) || bytes.u32(entry.offset) != kLocalSignature)
    throw damaged(entry.name);
  const qint64 start =
      entry.offset + kLocalBytes + bytes.u16(entry.offset + 26) + bytes.u16(entry.offset + 28);
  if (!bytes.has(start, entry.compressed)) throw damaged(entry.name);

  if (entry.method == 0) {
    if (entry.compressed != entry.size) throw damaged(entry.name);
    sink(bytes.at(start), qsizetype(entry.size));
    return;
  }
  if (entry.method != Z_DEFLATED)
    throw Error(QStringLiteral("文件中的 %1 用了不支持的压缩方式").arg(entry.name));

  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) throw damaged(entry.name);
  struct End {
    z_stream& s;
    ~End() { inflateEnd(&s); }
  } end{stream};
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.at(start)));
  stream.avail_in = uInt(entry.compressed);
  char piece[64 * 1024];
  qint64 total = 0;
  int status = Z_OK;
  while (status != Z_STREAM_END) {
    stream.next_out = reinterpret_cast<Bytef*>(piece);
    stream.avail_out = sizeof piece;
    status = ::inflate(&stream, Z_NO_FLUSH);
    if (status != Z_OK && status != Z_STREAM_END) throw damaged(entry.name);
    const qsizetype produced = qsizetype(sizeof piece - stream.avail_out);
    total += produced;
    // More than the directory claims: a damaged part, or one made to exhaust memory.
    if (total > entry.size) throw damaged(entry.name);
    if (produced == 0 && stream.avail_in == 0 && status != Z_STREAM_END) throw damaged(entry.name);
    sink(piece, produced);
  }
  if (total != entry.size) throw damaged(entry.name);
}

}  // namespace spreadsheet::detail
