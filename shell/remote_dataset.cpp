#include "shell/remote_dataset.h"

#include <algorithm>

#include "shell/connection.h"
#include "shell/remote_error.h"

namespace {

// Values equal in kind and content: an empty text differs from null, 1 differs from "1".
bool sameValue(const QVariant& a, const QVariant& b) {
  if (a.isNull() || b.isNull()) return a.isNull() == b.isNull();
  return a.typeId() == b.typeId() && a == b;
}

}  // namespace

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
  load(connection_.open(source_));
}

void RemoteDataset::close() {
  if (!active()) return;
  state_ = State::Inactive;
  columns_.clear();
  rows_.clear();
  deleted_.clear();
  current_ = -1;
  eof_ = bof_ = true;
  emit reset();
}

void RemoteDataset::refresh() {
  requireActive();
  load(connection_.open(source_));
}

void RemoteDataset::load(protocol::Packet packet) {
  columns_ = std::move(packet.columns);
  rows_.clear();
  deleted_.clear();
  rows_.reserve(packet.rows.size());
  for (qsizetype i = 0; i < packet.rows.size(); ++i) {
    Row row;
    row.values = std::move(packet.rows[i]);
    row.original = row.values;
    row.rid = i < packet.rids.size() ? packet.rids[i] : 0;
    row.order = int(i);
    rows_.append(std::move(row));
  }
  state_ = State::Browse;
  current_ = rows_.isEmpty() ? -1 : 0;
  eof_ = bof_ = rows_.isEmpty();
  emit reset();
  emit currentChanged(current_);
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
  setCurrent(rows_.isEmpty() ? -1 : 0);
  eof_ = bof_ = rows_.isEmpty();
}

void RemoteDataset::next() {
  requireActive();
  post();
  bof_ = false;
  if (current_ + 1 < rows_.size()) {
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
  setCurrent(int(rows_.size()) - 1);
  eof_ = bof_ = rows_.isEmpty();
}

void RemoteDataset::moveTo(int row) {
  requireActive();
  if (row < 0 || row >= rows_.size()) return;
  if (row == current_) return;
  post();
  setCurrent(row);
  eof_ = bof_ = false;
}

int RemoteDataset::fieldIndex(QStringView name) const {
  for (int i = 0; i < columns_.size(); ++i)
    if (columns_[i] == name) return i;
  return -1;
}

QVariant RemoteDataset::field(QStringView name) const {
  requireActive();
  const int column = fieldIndex(name);
  if (column < 0)
    throw RemoteError(QStringLiteral("%1: 找不到字段 '%2'").arg(source_.provider, name));
  return current_ < 0 ? QVariant() : rows_[current_].values[column];
}

QString RemoteDataset::fieldText(QStringView name) const { return field(name).toString(); }

QVariant RemoteDataset::value(int row, int column) const {
  if (row < 0 || row >= rows_.size() || column < 0 || column >= columns_.size()) return {};
  return rows_[row].values[column];
}

void RemoteDataset::edit() {
  requireActive();
  if (state_ != State::Browse) return;
  if (current_ < 0) {  // editing an empty dataset appends, as the forms expect
    append();
    return;
  }
  editBuffer_ = rows_[current_].values;
  state_ = State::Edit;
}

void RemoteDataset::insertRowAt(int row) {
  Row fresh;
  fresh.values = QVariantList(columns_.size());
  fresh.original = fresh.values;
  fresh.status = Status::Inserted;
  rows_.insert(row, fresh);
  emit rowInserted(row);
  current_ = -1;  // force the signal: the row index may be unchanged
  setCurrent(row);
  eof_ = bof_ = false;
  state_ = State::Insert;
}

void RemoteDataset::append() {
  requireActive();
  post();
  insertRowAt(int(rows_.size()));
}

void RemoteDataset::insert() {
  requireActive();
  post();
  insertRowAt(current_ < 0 ? 0 : current_);
}

void RemoteDataset::setField(QStringView name, const QVariant& value) {
  const int column = fieldIndex(name);
  if (column < 0)
    throw RemoteError(QStringLiteral("%1: 找不到字段 '%2'").arg(source_.provider, name));
  setValue(column, value);
}

void RemoteDataset::setValue(int column, const QVariant& value) {
  requireEditing("修改字段");
  rows_[current_].values[column] = value;
  emit rowChanged(current_);
}

void RemoteDataset::post() {
  if (state_ == State::Edit) {
    Row& row = rows_[current_];
    if (row.status == Status::Unchanged) {
      for (int i = 0; i < columns_.size(); ++i)
        if (!sameValue(row.values[i], row.original[i])) row.status = Status::Modified;
    }
  }
  if (state_ == State::Edit || state_ == State::Insert) state_ = State::Browse;
}

void RemoteDataset::cancel() {
  if (state_ == State::Edit) {
    rows_[current_].values = editBuffer_;
    state_ = State::Browse;
    emit rowChanged(current_);
  } else if (state_ == State::Insert) {
    const int row = current_;
    rows_.removeAt(row);
    state_ = State::Browse;
    emit rowRemoved(row);
    current_ = -2;
    setCurrent(rows_.isEmpty() ? -1 : std::min(row, int(rows_.size()) - 1));
    eof_ = bof_ = rows_.isEmpty();
  }
}

void RemoteDataset::remove() {
  requireActive();
  if (state_ == State::Insert) {
    cancel();
    return;
  }
  if (current_ < 0) throw RemoteError(QStringLiteral("没有可删除的记录"));
  if (state_ == State::Edit) cancel();
  const int row = current_;
  if (rows_[row].status != Status::Inserted) deleted_.append(rows_[row]);
  rows_.removeAt(row);
  emit rowRemoved(row);
  current_ = -2;
  setCurrent(rows_.isEmpty() ? -1 : std::min(row, int(rows_.size()) - 1));
  eof_ = rows_.isEmpty() || row >= rows_.size();
  bof_ = rows_.isEmpty();
}

int RemoteDataset::pendingChanges() const {
  int count = int(deleted_.size());
  for (const Row& row : rows_)
    if (row.status != Status::Unchanged) ++count;
  return count;
}

QVariantMap RemoteDataset::originalMap(const Row& row) const {
  QVariantMap map;
  for (int i = 0; i < columns_.size(); ++i) map.insert(columns_[i], row.original[i]);
  return map;
}

protocol::ApplyPart RemoteDataset::pendingPart() const {
  using Kind = protocol::Change::Kind;
  protocol::ApplyPart part{source_, {}};
  for (const Row& row : deleted_)
    part.changes.append({Kind::Delete, row.rid, originalMap(row), {}});
  for (const Row& row : rows_) {
    if (row.status == Status::Unchanged) continue;
    protocol::Change change;
    change.kind = row.status == Status::Inserted ? Kind::Insert : Kind::Update;
    change.rid = row.rid;
    if (change.kind == Kind::Update) change.original = originalMap(row);
    for (int i = 0; i < columns_.size(); ++i) {
      const bool wanted = change.kind == Kind::Insert ? !row.values[i].isNull()
                                                      : !sameValue(row.values[i], row.original[i]);
      if (wanted) change.values.insert(columns_[i], row.values[i]);
    }
    part.changes.append(change);
  }
  return part;
}

void RemoteDataset::markApplied(QList<qint64>::const_iterator& rids) {
  int order = 0;
  for (Row& row : rows_) {
    if (row.status == Status::Inserted) row.rid = *rids++;
    row.original = row.values;
    row.status = Status::Unchanged;
    row.order = order++;
  }
  deleted_.clear();
}

void RemoteDataset::applyUpdates() { applyTogether({this}); }

void RemoteDataset::cancelUpdates() {
  requireActive();
  if (state_ == State::Edit || state_ == State::Insert) cancel();
  rows_.removeIf([](const Row& row) { return row.status == Status::Inserted; });
  rows_.append(deleted_);
  deleted_.clear();
  for (Row& row : rows_) {
    row.values = row.original;
    row.status = Status::Unchanged;
  }
  std::stable_sort(rows_.begin(), rows_.end(),
                   [](const Row& a, const Row& b) { return a.order < b.order; });
  current_ = rows_.isEmpty() ? -1 : 0;
  eof_ = bof_ = rows_.isEmpty();
  emit reset();
  emit currentChanged(current_);
}

void applyTogether(const QList<RemoteDataset*>& datasets) {
  protocol::ApplyRequest request;
  QList<RemoteDataset*> pending;
  qsizetype inserts = 0;
  for (RemoteDataset* dataset : datasets) {
    dataset->requireActive();
    dataset->post();
    protocol::ApplyPart part = dataset->pendingPart();
    if (part.changes.isEmpty()) continue;
    if (&dataset->connection_ != &datasets.front()->connection_)
      throw RemoteError(QStringLiteral("一次保存的数据集必须使用同一个连接"));
    for (const protocol::Change& change : part.changes)
      if (change.kind == protocol::Change::Kind::Insert) ++inserts;
    request.parts.append(std::move(part));
    pending.append(dataset);
  }
  if (pending.isEmpty()) return;

  const protocol::ApplyReply reply = pending.front()->connection_.apply(request);
  if (reply.insertedRids.size() != inserts)
    throw RemoteError(QStringLiteral("应用服务器的保存应答不完整"));
  auto rids = reply.insertedRids.cbegin();
  for (RemoteDataset* dataset : pending) dataset->markApplied(rids);
}
