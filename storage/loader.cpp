#include "storage/loader.h"

#include "storage/open.h"

namespace storage {

Result<std::unique_ptr<Loader>> Loader::open(const QString& location) {
  Result<std::unique_ptr<CopyEnd>> target = openCopyEnd(location, true);
  if (!target) return Error{target.error()};
  if (Status s = (*target)->beginWrite(); !s) return Error{s.error()};
  if (Status s = requireEmpty(**target); !s) return Error{s.error()};
  return std::unique_ptr<Loader>(new Loader(std::move(*target)));
}

Status Loader::append(const schema::Table& table, const QVariantList& row) {
  Pending& pending = pending_[&table];
  pending.rows.append(QVariantList{pending.next++} + row);
  return pending.rows.size() >= kBatchRows ? flush(table, pending) : ok();
}

Status Loader::flush(const schema::Table& table, Pending& pending) {
  if (pending.rows.isEmpty()) return ok();
  if (Status s = target_->startTable(table); !s) return s;
  for (const QVariantList& row : std::as_const(pending.rows))
    if (Status s = target_->write(row); !s) return s;
  pending.rows.clear();
  return target_->endTable();
}

Status Loader::commit() {
  for (auto& [table, pending] : pending_) {
    if (Status s = flush(*table, pending); !s) return s;
    if (Status s = target_->continueIdentities(*table, pending.next); !s) return s;
  }
  return target_->commit();
}

}  // namespace storage
