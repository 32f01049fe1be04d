#include "server/write_budget.h"

#include <algorithm>

namespace server {

namespace {

// Accounts whose budget is full again are forgotten once this many are kept.
constexpr qsizetype kMostBuckets = 10000;

}  // namespace

WriteBudget& WriteBudget::shared() {
  static WriteBudget budget;
  return budget;
}

bool WriteBudget::take(const QString& account, const Rate& rate, qint64 bytes) {
  QMutexLocker lock(&mutex_);
  const qint64 now = clock_.elapsed();
  const auto refilled = [&](const Bucket& b) {
    return std::min(double(rate.burstBytes),
                    b.bytes + double(now - b.at) * rate.perMinuteBytes / 60000.0);
  };
  if (buckets_.size() >= kMostBuckets)
    buckets_.removeIf([&](const auto& it) { return refilled(it.value()) >= rate.burstBytes; });
  auto found = buckets_.find(account);
  if (found == buckets_.end()) found = buckets_.insert(account, {double(rate.burstBytes), now});
  found->bytes = refilled(*found);
  found->at = now;
  if (found->bytes < double(bytes)) return false;
  found->bytes -= double(bytes);
  return true;
}

}  // namespace server
