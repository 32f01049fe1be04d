#include "shell/remote_dataset.h"

#include <algorithm>
#include <utility>

#include "schema/values.h"
#include "shell/connection.h"
#include "shell/remote_error.h"

RemoteDataset::RemoteDataset(QString provider, QObject* parent)
    : RemoteDataset(std::move(provider), Connection::shared(), parent) {}

RemoteDataset::RemoteDataset(QString provider, Connection& connection, QObject* parent)
    : QObject(parent), connection_(connection) {
  source_.provider = std::move(provider);
}

void RemoteDataset::setCommandText(const QString& text, const QVariantList& params) {
  source_.text = text;
  source_.params = params;
}

void RemoteDataset::setPersonKey(std::optional<QString> key) { source_.personKey = std::move(key); }

void RemoteDataset::open() {
  if (active()) return;
  protocol::CompactPacket packet;
  connection_.open(source_, packet);
  load(std::move(packet));
}

void RemoteDataset::openInBatches() {
  if (active()) return;
  protocol::CompactPacket first;
  data_ = std::move(first);
  loadError_.clear();
  const bool done =
      connection_.openInParts(source_, data_, [this](bool done, const QString& error) {
        adoptArrivedRows();
        if (!done) return;
        loading_ = false;
        loadError_ = error;
        settle();
        emit loaded(error);
      });
  loading_ = !done;
  rows_.clear();
  deleted_.clear();
  adoptArrivedRows();
  state_ = State::Browse;
  current_ = rows_.empty() ? -1 : 0;
  eof_ = bof_ = rows_.empty();
  emit reset();
  emit currentChanged(current_);
  if (done) {
    settle();
    emit loaded(QString());
  }
}

void RemoteDataset::finishLoading() {
  if (loading_) connection_.finishParts();
  if (!loadError_.isEmpty()) throw RemoteError(loadError_);
}

void RemoteDataset::adoptArrivedRows() {
  const qsizetype first = qsizetype(rows_.size());
  const qsizetype count = data_.values.rowCount();
  for (qsizetype i = first; i < count; ++i) {
    Row row;
    row.stored = qint32(i);
    row.rid = i < data_.rids.size() ? data_.rids[i] : 0;
    row.order = qint32(i);
    rows_.push_back(std::move(row));
  }
  if (count > first && state_ != State::Inactive) emit rowsAppended(int(first), int(count - 1));
}

void RemoteDataset::settle() {
  data_.rids = {};
  data_.values.squeeze();
  rows_.shrink_to_fit();
}

void RemoteDataset::close() {
  if (!active()) return;
  if (std::exchange(loading_, false)) connection_.dropParts();
  state_ = State::Inactive;
  data_ = protocol::CompactPacket();
  rows_.clear();
  deleted_.clear();
  current_ = -1;
  eof_ = bof_ = true;
  emit reset();
}

void RemoteDataset::refresh() {
  requireActive();
  protocol::CompactPacket packet;
  connection_.open(source_, packet);
  load(std::move(packet));
}

void RemoteDataset::load(protocol::CompactPacket packet) {
  data_ = std::move(packet);
  rows_.clear();
  deleted_.clear();
  const qsizetype count = data_.values.rowCount();
  rows_.resize(size_t(count));
  for (qsizetype i = 0; i < count; ++i) {
    Row& row = rows_[size_t(i)];
    row.stored = qint32(i);
    row.rid = i < data_.rids.size() ? data_.rids[i] : 0;
    row.order = qint32(i);
  }
  settle();
  state_ = State::Browse;
  current_ = rows_.empty() ? -1 : 0;
  eof_ = bof_ = rows_.empty();
  emit reset();
  emit currentChanged(current_);
}

QVariant RemoteDataset::valueOf(const Row& row, int column) const {
  return row.edits ? (*row.edits)[column] : originalOf(row, column);
}

QVariant RemoteDataset::originalOf(const Row& row, int column) const {
  return row.stored >= 0 ? data_.values.value(row.stored, column) : QVariant();
}

QVariantList RemoteDataset::valuesOf(const Row& row) const {
  if (row.edits) return *row.edits;
  QVariantList values;
  values.reserve(data_.columns.size());
  for (int c = 0; c < data_.columns.size(); ++c) values << originalOf(row, c);
  return values;
}

void RemoteDataset::requireActive() const {
  if (!active()) throw RemoteError(QStringLiteral("数据集未打开：%1").arg(source_.provider));
}

void RemoteDataset::requireEditing(const char* operation) const {
  if (state_ != State::Edit && state_ != State::Insert)
    throw RemoteError(QStringLiteral("数据集不在编辑或插入状态，不能%1：%2")
                          .arg(QString::fromUtf8(operation), source_.provider));
}

void RemoteDataset::setCurrent(int row) {
  if (row == current_) return;
  current_ = row;
  emit currentChanged(current_);
}

void RemoteDataset::first() {
  requireActive();
  post();
  setCurrent(rows_.empty() ? -1 : 0);
  eof_ = bof_ = rows_.empty();
}

void RemoteDataset::next() {
  requireActive();
  post();
  bof_ = false;
  if (current_ + 1 < recordCount()) {
    setCurrent(current_ + 1);
    eof_ = false;
  } else {
    eof_ = true;
  }
}

void RemoteDataset::prior() {
  requireActive();
  post();
  eof_ = false;
  if (current_ > 0) {
    setCurrent(current_ - 1);
    bof_ = false;
  } else {
    bof_ = true;
  }
}

void RemoteDataset::last() {
  requireActive();
  post();
  setCurrent(recordCount() - 1);
  eof_ = bof_ = rows_.empty();
}

void RemoteDataset::moveTo(int row) {
  requireActive();
  if (row < 0 || row >= recordCount()) return;
  if (row == current_) return;
  post();
  setCurrent(row);
  eof_ = bof_ = false;
}

int RemoteDataset::fieldIndex(QStringView name) const {
  for (int i = 0; i < data_.columns.size(); ++i)
    if (data_.columns[i] == name) return i;
  return -1;
}

QVariant RemoteDataset::field(QStringView name) const {
  requireActive();
  const int column = fieldIndex(name);
  if (column < 0)
    throw RemoteError(QStringLiteral("%1: 找不到字段 '%2'").arg(source_.provider, name));
  return current_ < 0 ? QVariant() : valueOf(rows_[size_t(current_)], column);
}

QString RemoteDataset::fieldText(QStringView name) const { return field(name).toString(); }

QVariant RemoteDataset::value(int row, int column) const {
  if (row < 0 || row >= recordCount() || column < 0 || column >= data_.columns.size()) return {};
  return valueOf(rows_[size_t(row)], column);
}

QByteArrayView RemoteDataset::utf8(int row, int column, QByteArray& scratch) const {
  const Row& r = rows_.at(size_t(row));
  if (!r.edits && r.stored >= 0)
    if (std::optional<QByteArrayView> bytes = data_.values.utf8(r.stored, column)) return *bytes;
  scratch = valueOf(r, column).toString().toUtf8();
  return scratch;
}

int RemoteDataset::locate(int column, const QString& text, int from) const {
  if (column < 0 || column >= data_.columns.size()) return -1;
  const QByteArray wanted = text.toUtf8();
  for (int i = std::max(from, 0); i < recordCount(); ++i) {
    const Row& row = rows_[size_t(i)];
    if (row.edits || row.stored < 0) {
      if (schema::trim(valueOf(row, column).toString()) == text) return i;
      continue;
    }
    std::optional<QByteArrayView> bytes = data_.values.utf8(row.stored, column);
    if (bytes && schema::trimUtf8(*bytes) == QByteArrayView(wanted)) return i;
  }
  return -1;
}

void RemoteDataset::discardRows(int first, int count) {
  requireActive();
  post();
  first = std::clamp(first, 0, recordCount());
  count = std::clamp(count, 0, recordCount() - first);
  for (int i = first + count - 1; i >= first; --i) {
    rows_.erase(rows_.begin() + i);
    emit rowRemoved(i);
  }
  current_ = -2;
  setCurrent(rows_.empty() ? -1 : std::min(first, recordCount() - 1));
  eof_ = bof_ = rows_.empty();
}

void RemoteDataset::insertRows(int at, const RemoteDataset& from) {
  requireActive();
  from.requireActive();
  if (from.data_.columns != data_.columns)
    throw RemoteError(QStringLiteral("%1: 列不一致，不能插入记录").arg(source_.provider));
  post();
  at = std::clamp(at, 0, recordCount());
  for (int i = 0; i < from.recordCount(); ++i) {
    const Row& source = from.rows_[size_t(i)];
    Row row;
    row.stored = qint32(data_.values.appendRow(from.valuesOf(source)));
    row.rid = source.rid;
    rows_.insert(rows_.begin() + at + i, std::move(row));
    emit rowInserted(at + i);
  }
  qint32 order = 0;
  for (Row& row : rows_) row.order = order++;
}

void RemoteDataset::replaceRows(int first, const RemoteDataset& from) {
  requireActive();
  from.requireActive();
  if (from.data_.columns != data_.columns || first < 0 ||
      first + from.recordCount() > recordCount())
    throw RemoteError(QStringLiteral("%1: 不能替换这些记录").arg(source_.provider));
  post();
  for (int i = 0; i < from.recordCount(); ++i) {
    const Row& source = from.rows_[size_t(i)];
    Row& row = rows_[size_t(first + i)];
    row.stored = qint32(data_.values.appendRow(from.valuesOf(source)));
    row.rid = source.rid;
    emit rowChanged(first + i);
  }
}
