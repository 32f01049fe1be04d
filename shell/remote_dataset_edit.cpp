#include <algorithm>
#include <utility>

#include "shell/connection.h"
#include "shell/remote_dataset.h"
#include "shell/remote_error.h"

// Editing a dataset's local copy and applying its changes to the server.

namespace {

// Values equal in kind and content: an empty text differs from null, 1 differs from "1".
bool sameValue(const QVariant& a, const QVariant& b) {
  if (a.isNull() || b.isNull()) return a.isNull() == b.isNull();
  return a.typeId() == b.typeId() && a == b;
}

}  // namespace

void RemoteDataset::edit() {
  requireActive();
  if (state_ != State::Browse) return;
  if (current_ < 0) {  // editing an empty dataset appends, as the forms expect
    append();
    return;
  }
  Row& row = rows_[size_t(current_)];
  editBuffer_ = valuesOf(row);
  if (!row.edits) row.edits = std::make_unique<QVariantList>(editBuffer_);
  state_ = State::Edit;
}

void RemoteDataset::insertRowAt(int row) {
  Row fresh;
  fresh.status = Status::Inserted;
  fresh.edits = std::make_unique<QVariantList>(data_.columns.size());
  rows_.insert(rows_.begin() + row, std::move(fresh));
  emit rowInserted(row);
  current_ = -1;  // force the signal: the row index may be unchanged
  setCurrent(row);
  eof_ = bof_ = false;
  state_ = State::Insert;
}

void RemoteDataset::append() {
  requireActive();
  post();
  insertRowAt(recordCount());
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
  (*rows_[size_t(current_)].edits)[column] = value;
  emit rowChanged(current_);
}

void RemoteDataset::post() {
  if (state_ == State::Edit) {
    Row& row = rows_[size_t(current_)];
    if (row.status == Status::Unchanged) {
      for (int i = 0; i < data_.columns.size() && row.status == Status::Unchanged; ++i)
        if (!sameValue((*row.edits)[i], originalOf(row, i))) row.status = Status::Modified;
      if (row.status == Status::Unchanged) row.edits.reset();  // nothing changed: back to compact
    }
  }
  if (state_ == State::Edit || state_ == State::Insert) state_ = State::Browse;
}

void RemoteDataset::cancel() {
  if (state_ == State::Edit) {
    Row& row = rows_[size_t(current_)];
    if (row.status == Status::Unchanged)
      row.edits.reset();
    else
      *row.edits = editBuffer_;
    state_ = State::Browse;
    emit rowChanged(current_);
  } else if (state_ == State::Insert) {
    const int row = current_;
    rows_.erase(rows_.begin() + row);
    state_ = State::Browse;
    emit rowRemoved(row);
    current_ = -2;
    setCurrent(rows_.empty() ? -1 : std::min(row, recordCount() - 1));
    eof_ = bof_ = rows_.empty();
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
  if (rows_[size_t(row)].status != Status::Inserted)
    deleted_.push_back(std::move(rows_[size_t(row)]));
  rows_.erase(rows_.begin() + row);
  emit rowRemoved(row);
  current_ = -2;
  setCurrent(rows_.empty() ? -1 : std::min(row, recordCount() - 1));
  eof_ = rows_.empty() || row >= recordCount();
  bof_ = rows_.empty();
}

int RemoteDataset::pendingChanges() const {
  int count = int(deleted_.size());
  for (const Row& row : rows_)
    if (row.status != Status::Unchanged) ++count;
  return count;
}

QVariantMap RemoteDataset::originalMap(const Row& row) const {
  QVariantMap map;
  for (int i = 0; i < data_.columns.size(); ++i) map.insert(data_.columns[i], originalOf(row, i));
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
    for (int i = 0; i < data_.columns.size(); ++i) {
      const QVariant& value = (*row.edits)[i];
      const bool wanted =
          change.kind == Kind::Insert ? !value.isNull() : !sameValue(value, originalOf(row, i));
      if (wanted) change.values.insert(data_.columns[i], value);
    }
    part.changes.append(change);
  }
  return part;
}

void RemoteDataset::markApplied(QList<qint64>::const_iterator& rids) {
  qint32 order = 0;
  for (Row& row : rows_) {
    if (row.status == Status::Inserted) row.rid = *rids++;
    if (row.status != Status::Unchanged) {
      row.stored = qint32(data_.values.appendRow(*row.edits));
      row.edits.reset();
      row.status = Status::Unchanged;
    }
    row.order = order++;
  }
  deleted_.clear();
}

void RemoteDataset::applyUpdates() { applyTogether({this}); }

void RemoteDataset::cancelUpdates() {
  requireActive();
  if (state_ == State::Edit || state_ == State::Insert) cancel();
  std::erase_if(rows_, [](const Row& row) { return row.status == Status::Inserted; });
  for (Row& row : deleted_) rows_.push_back(std::move(row));
  deleted_.clear();
  for (Row& row : rows_) {
    row.edits.reset();
    row.status = Status::Unchanged;
  }
  std::stable_sort(rows_.begin(), rows_.end(),
                   [](const Row& a, const Row& b) { return a.order < b.order; });
  current_ = rows_.empty() ? -1 : 0;
  eof_ = bof_ = rows_.empty();
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
