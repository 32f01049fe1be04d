#include "server/throttle.h"

#include <algorithm>

namespace server {

SignInThrottle::SignInThrottle(int firstDelayMs) : firstDelayMs_(firstDelayMs) { clock_.start(); }

qint64 SignInThrottle::left(const Entry* entry, qint64 now) const {
  return entry ? std::max<qint64>(0, entry->until - now) : 0;
}

qint64 SignInThrottle::waitFor(const QString& account, const QString& address) {
  if (firstDelayMs_ == 0) return 0;
  QMutexLocker lock(&mutex_);
  const qint64 now = clock_.elapsed();
  const auto own = addresses_.constFind(address);
  if (own == addresses_.cend() || now - own->lastFailure > kForgetMs) return 0;
  const auto shared = accounts_.constFind(account);
  qint64 accountWait = shared == accounts_.cend() ? 0 : left(&*shared, now);
  // Within its free failures an address waits for the account at most kHonestWaitMs after its
  // own last failure.
  if (own->failures <= kFreeFailures)
    accountWait =
        std::min(accountWait, std::max<qint64>(0, own->lastFailure + kHonestWaitMs - now));
  return std::max(left(&*own, now), accountWait);
}

void SignInThrottle::fail(QHash<QString, Entry>& entries, const QString& key, qint64 now) {
  if (entries.size() >= kMaxEntries && !entries.contains(key)) prune(entries, now);
  Entry& entry = entries[key];
  if (now - entry.lastFailure > kForgetMs) entry.failures = 0;
  ++entry.failures;
  entry.lastFailure = now;
  const int past = entry.failures - kFreeFailures;
  if (past > 0)
    entry.until = now + qint64(firstDelayMs_) * (qint64(1) << std::min(past - 1, kMaxDoublings));
}

// Drops what is forgotten anyway; when guessers spread over very many keys, also the entries
// with the fewest failures, so the table stays bounded.
void SignInThrottle::prune(QHash<QString, Entry>& entries, qint64 now) {
  entries.removeIf([now](const auto& it) { return now - it.value().lastFailure > kForgetMs; });
  for (int keep = 2; entries.size() >= kMaxEntries; ++keep)
    entries.removeIf([keep](const auto& it) { return it.value().failures < keep; });
}

void SignInThrottle::failed(const QString& account, const QString& address) {
  if (firstDelayMs_ == 0) return;
  QMutexLocker lock(&mutex_);
  const qint64 now = clock_.elapsed();
  fail(accounts_, account, now);
  fail(addresses_, address, now);
}

void SignInThrottle::succeeded(const QString& account, const QString& address) {
  QMutexLocker lock(&mutex_);
  accounts_.remove(account);
  addresses_.remove(address);
}

}  // namespace server
