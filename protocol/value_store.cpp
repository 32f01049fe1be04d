#include "protocol/value_store.h"

#include "protocol/messages.h"

namespace protocol {

namespace {
constexpr quint64 kLengthBits = 30;
constexpr quint64 kMaxLength = (quint64(1) << kLengthBits) - 1;
}  // namespace

QVariant ValueStore::value(qsizetype row, int column) const {
  const quint64 c = cell(row, column);
  switch (kindOf(c)) {
    case Kind::Null:
      return {};
    case Kind::Integer:
      return QVariant(integers_[size_t(c & 0xffffffffu)]);
    case Kind::Real:
      return QVariant(reals_[size_t(c & 0xffffffffu)]);
    case Kind::Text:
      return QVariant(QString::fromUtf8(arena_.constData() + (c & 0xffffffffu),
                                        qsizetype((c >> 32) & kMaxLength)));
  }
  return {};
}

std::optional<QByteArrayView> ValueStore::utf8(qsizetype row, int column) const {
  const quint64 c = cell(row, column);
  if (kindOf(c) != Kind::Text) return std::nullopt;
  return QByteArrayView(arena_.constData() + (c & 0xffffffffu), qsizetype((c >> 32) & kMaxLength));
}

void ValueStore::appendInteger(qint64 value) {
  cells_.push_back(quint64(Kind::Integer) << 62 | quint64(integers_.size()));
  integers_.push_back(value);
}

void ValueStore::appendReal(double value) {
  cells_.push_back(quint64(Kind::Real) << 62 | quint64(reals_.size()));
  reals_.push_back(value);
}

void ValueStore::appendText(const char* utf8, qsizetype bytes) {
  // Values are bounded far below a gigabyte by the frame limit; the arena by 4 GiB.
  Q_ASSERT(quint64(bytes) <= kMaxLength && quint64(arena_.size()) + quint64(bytes) <= 0xffffffffu);
  cells_.push_back(quint64(Kind::Text) << 62 | quint64(bytes) << 32 | quint64(arena_.size()));
  arena_.append(utf8, bytes);
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
  cells_.shrink_to_fit();
  integers_.shrink_to_fit();
  reals_.shrink_to_fit();
  arena_.squeeze();
}

qsizetype ValueStore::bytes() const {
  return qsizetype(cells_.capacity() * sizeof(quint64) + integers_.capacity() * sizeof(qint64) +
                   reals_.capacity() * sizeof(double)) +
         arena_.capacity();
}

}  // namespace protocol
