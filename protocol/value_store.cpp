#include "protocol/value_store.h"

#include <algorithm>
#include <cstring>

#include "protocol/messages.h"

namespace protocol {

namespace {
constexpr quint64 kLengthBits = 30;
constexpr quint64 kMaxLength = (quint64(1) << kLengthBits) - 1;
// Blocks grow eightfold from the first size to a huge page; a longer text has a block of its own.
constexpr qsizetype kFirstTextBytes = 1024;
constexpr qsizetype kFirstCells = 512;
}  // namespace

void ValueStore::growCells() {
  if (cellRoom_ == kBlockCells) {  // the last block is full-sized: another follows it
    cells_.emplace_back(kBlockCells * qsizetype(sizeof(quint64)));
    lastCells_ = 0;
    return;
  }
  // The first block, or one that squeeze() shrank: a larger copy replaces it.
  const qsizetype room =
      cells_.size() > 1 ? kBlockCells : std::clamp(cellRoom_ * 8, kFirstCells, kBlockCells);
  MemoryBlock larger(room * qsizetype(sizeof(quint64)));
  if (cells_.empty()) cells_.emplace_back();
  if (lastCells_ > 0)
    std::memcpy(larger.data(), cells_.back().data(), size_t(lastCells_) * sizeof(quint64));
  cells_.back() = std::move(larger);
  cellRoom_ = room;
}

const char* ValueStore::arenaAt(quint64 offset) const {
  const auto block = std::upper_bound(textStarts_.cbegin(), textStarts_.cend(), offset) - 1;
  return texts_[size_t(block - textStarts_.cbegin())].data() + (offset - *block);
}

QVariant ValueStore::value(qsizetype row, int column) const {
  const quint64 c = cell(row, column);
  switch (kindOf(c)) {
    case Kind::Null:
      return {};
    case Kind::Integer:
      return QVariant(integers_[qsizetype(c & 0xffffffffu)]);
    case Kind::Real:
      return QVariant(reals_[qsizetype(c & 0xffffffffu)]);
    case Kind::Text:
      return QVariant(
          QString::fromUtf8(arenaAt(c & 0xffffffffu), qsizetype((c >> 32) & kMaxLength)));
  }
  return {};
}

std::optional<QByteArrayView> ValueStore::utf8(qsizetype row, int column) const {
  const quint64 c = cell(row, column);
  if (kindOf(c) != Kind::Text) return std::nullopt;
  return QByteArrayView(arenaAt(c & 0xffffffffu), qsizetype((c >> 32) & kMaxLength));
}

void ValueStore::appendInteger(qint64 value) {
  appendCell(quint64(Kind::Integer) << 62 | quint64(integers_.size()));
  integers_.append(value);
}

void ValueStore::appendReal(double value) {
  appendCell(quint64(Kind::Real) << 62 | quint64(reals_.size()));
  reals_.append(value);
}

void ValueStore::appendText(const char* utf8, qsizetype bytes) {
  if (texts_.empty() || texts_.back().size() - lastBytes_ < bytes) {
    const qsizetype last = texts_.empty() ? 0 : texts_.back().size();
    textStarts_.push_back(texts_.empty() ? 0 : textStarts_.back() + quint64(last));
    texts_.emplace_back(
        std::max(bytes, std::clamp(8 * last, kFirstTextBytes, MemoryBlock::kHugeBytes)));
    lastBytes_ = 0;
  }
  const quint64 offset = textStarts_.back() + quint64(lastBytes_);
  // Values are bounded far below a gigabyte by the frame limit; the arena by 4 GiB.
  Q_ASSERT(quint64(bytes) <= kMaxLength && offset + quint64(bytes) <= 0xffffffffu);
  appendCell(quint64(Kind::Text) << 62 | quint64(bytes) << 32 | offset);
  std::memcpy(texts_.back().data() + lastBytes_, utf8, size_t(bytes));
  lastBytes_ += bytes;
}

void ValueStore::appendText(QStringView text) {
  const QByteArray utf8 = text.toUtf8();
  appendText(utf8.constData(), utf8.size());
}

void ValueStore::appendValue(const QVariant& value) {
  if (value.typeId() == QMetaType::Double) {
    appendReal(value.toDouble());
    return;
  }
  withWireValue(value, [this](const auto& v) {
    using V = std::decay_t<decltype(v)>;
    if constexpr (std::is_same_v<V, std::nullptr_t>)
      appendNull();
    else if constexpr (std::is_same_v<V, qint64>)
      appendInteger(v);
    else
      appendText(v);
  });
}

qsizetype ValueStore::appendRow(const QVariantList& values) {
  const qsizetype row = rowCount();
  for (int c = 0; c < columns_; ++c) appendValue(c < values.size() ? values[c] : QVariant());
  return row;
}

void ValueStore::squeeze() {
  if (!cells_.empty()) {
    cells_.back().shrink(lastCells_ * qsizetype(sizeof(quint64)));
    cellRoom_ = lastCells_;
  }
  if (!texts_.empty()) texts_.back().shrink(lastBytes_);
  integers_.squeeze();
  reals_.squeeze();
}

qsizetype ValueStore::bytes() const {
  qsizetype held = (integers_.capacity() + reals_.capacity() + qsizetype(textStarts_.capacity())) *
                   qsizetype(sizeof(qint64));
  for (const MemoryBlock& block : cells_) held += block.size();
  for (const MemoryBlock& block : texts_) held += block.size();
  return held;
}

}  // namespace protocol
