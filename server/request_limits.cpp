#include "server/request_limits.h"

#include <QCborStreamReader>
#include <algorithm>

#include "protocol/frame.h"

namespace server::limits {

namespace {

QString tooLarge(const QString& what) { return QStringLiteral("请求过大：%1").arg(what); }

// Walks one item and everything inside it, counting items against the limits, without
// keeping any of it.
class ShapeWalk {
 public:
  explicit ShapeWalk(const QByteArray& body) : reader_(body) {}

  std::optional<QString> run(qint64 bodySize) {
    if (std::optional<QString> refusal = item(1)) return refusal;
    if (reader_.lastError() != QCborError::NoError || reader_.currentOffset() != bodySize)
      return protocol::kUnreadableFrame;
    return std::nullopt;
  }

 private:
  std::optional<QString> item(int depth) {
    if (++items_ > kMaxItems) return tooLarge(QStringLiteral("超过 %1 项").arg(kMaxItems));
    if (reader_.lastError() != QCborError::NoError) return protocol::kUnreadableFrame;
    if (reader_.isString() || reader_.isByteArray()) return string();
    if (reader_.isTag() || reader_.isInvalid()) return protocol::kUnreadableFrame;
    if (!reader_.isContainer()) {
      if (!reader_.next()) return protocol::kUnreadableFrame;
      return std::nullopt;
    }
    if (depth > kMaxDepth) return tooLarge(QStringLiteral("嵌套超过 %1 层").arg(kMaxDepth));
    const bool map = reader_.isMap();
    const qint64 most = map ? kMaxMapEntries * 2 : kMaxListItems;
    if (reader_.isLengthKnown() && qint64(reader_.length()) > (map ? kMaxMapEntries : most))
      return tooLarge(map ? QStringLiteral("一组值超过 %1 项").arg(kMaxMapEntries)
                          : QStringLiteral("列表超过 %1 项").arg(kMaxListItems));
    if (!reader_.enterContainer()) return protocol::kUnreadableFrame;
    for (qint64 n = 0; reader_.lastError() == QCborError::NoError && reader_.hasNext(); ++n) {
      if (n >= most)
        return tooLarge(map ? QStringLiteral("一组值超过 %1 项").arg(kMaxMapEntries)
                            : QStringLiteral("列表超过 %1 项").arg(kMaxListItems));
      if (std::optional<QString> refusal = item(depth + 1)) return refusal;
    }
    if (reader_.lastError() != QCborError::NoError || !reader_.leaveContainer())
      return protocol::kUnreadableFrame;
    return std::nullopt;
  }

  // A string is measured chunk by chunk before its bytes are read into a buffer the size of
  // one chunk (at most kMaxValueBytes).
  std::optional<QString> string() {
    QByteArray buffer;
    qint64 size = 0;
    while (true) {
      const qsizetype next = reader_.currentStringChunkSize();
      size += std::max<qsizetype>(next, 0);
      if (size > kMaxValueBytes)
        return tooLarge(QStringLiteral("单个值超过 %1 KiB").arg(kMaxValueBytes / 1024));
      buffer.resize(std::max<qsizetype>(next, 0));
      const auto chunk = reader_.readStringChunk(buffer.data(), buffer.size());
      if (chunk.status == QCborStreamReader::Error) return protocol::kUnreadableFrame;
      if (chunk.status == QCborStreamReader::EndOfString) return std::nullopt;
    }
  }

  QCborStreamReader reader_;
  qint64 items_ = 0;
};

}  // namespace

std::optional<QString> checkShape(const QByteArray& body) {
  return ShapeWalk(body).run(body.size());
}

}  // namespace server::limits
