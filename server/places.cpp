#include "server/places.h"

namespace server {

namespace {

const QString kFull = QStringLiteral("服务器连接数已满，请稍后再试");
const QString kMadeRoom = QStringLiteral("服务器连接数已满，空闲时间最长的连接已关闭");

}  // namespace

Places::Places(const PlaceLimits& limits) : limits_(limits) { clock_.start(); }

int Places::shareOf(const User& user) const {
  return user.role == access::kPerson ? limits_.perPerson : limits_.perAdministrator;
}

int Places::count(const std::function<bool(const Place&)>& pick) const {
  int n = 0;
  for (const Place& p : places_)
    if (!p.closing && pick(p)) ++n;
  return n;
}

bool Places::closeLongestIdle(const std::function<bool(const Place&)>& pick,
                              const QString& reason) {
  Place* oldest = nullptr;
  for (Place& p : places_)
    if (!p.closing && pick(p) && (!oldest || p.lastActive < oldest->lastActive)) oldest = &p;
  if (!oldest) return false;
  oldest->closing = true;
  oldest->close(reason);
  return true;
}

std::optional<QString> Places::enter(quint64 id, const QString& address, Close close) {
  QMutexLocker lock(&mutex_);
  const auto fromHere = [&](const Place& p) { return p.address == address; };
  const auto isUnsigned = [](const Place& p) { return p.account.isEmpty(); };
  if (count(fromHere) >= limits_.perAddress)
    return QStringLiteral("来自同一地址的连接过多，请稍后再试");
  // Connections that have not signed in take places of their own; a full share makes room from
  // the address holding the most of it, so churn from a few addresses keeps nobody else out.
  if (count(isUnsigned) >= limits_.unsigned_) {
    QHash<QString, int> holders;
    for (const Place& p : places_)
      if (!p.closing && p.account.isEmpty()) ++holders[p.address];
    QString most;
    for (auto it = holders.cbegin(); it != holders.cend(); ++it)
      if (most.isEmpty() || *it > holders.value(most)) most = it.key();
    if (!closeLongestIdle([&](const Place& p) { return p.account.isEmpty() && p.address == most; },
                          QStringLiteral("未登录的连接过多，连接已关闭")))
      return kFull;
  }
  if (count([](const Place&) { return true; }) >= limits_.connections) {
    // An account holding more than one place when the server is full is over its share.
    QHash<QString, int> held;
    for (const Place& p : places_)
      if (!p.closing && !p.account.isEmpty()) ++held[p.account];
    if (!closeLongestIdle([&](const Place& p) { return held.value(p.account) > 1; }, kMadeRoom))
      return kFull;
  }
  places_.insert(id, {address, QString(), -1, clock_.elapsed(), false, std::move(close)});
  return std::nullopt;
}

std::optional<QString> Places::signIn(quint64 id, const User& user) {
  QMutexLocker lock(&mutex_);
  const auto found = places_.find(id);
  if (found == places_.end()) return kFull;
  found->account.clear();
  found->role = user.role;
  const auto mine = [&](const Place& p) { return p.account == user.id; };
  // The account's own longest-idle connection makes room for its new one.
  if (count(mine) >= shareOf(user) &&
      !closeLongestIdle(mine, QStringLiteral("同一账户的连接过多，空闲时间最长的连接已关闭")))
    return kFull;
  if (user.role == access::kPerson && count([](const Place& p) {
                                        return p.role == access::kPerson && !p.account.isEmpty();
                                      }) >= limits_.connections - limits_.administratorReserve) {
    QHash<QString, int> held;
    for (const Place& p : places_)
      if (!p.closing && !p.account.isEmpty()) ++held[p.account];
    if (!closeLongestIdle(
            [&](const Place& p) { return p.role == access::kPerson && held.value(p.account) > 1; },
            kMadeRoom)) {
      found->role = -1;
      return kFull;
    }
  }
  found->account = user.id;
  found->lastActive = clock_.elapsed();
  return std::nullopt;
}

void Places::signOut(quint64 id) {
  QMutexLocker lock(&mutex_);
  if (const auto found = places_.find(id); found != places_.end()) {
    found->account.clear();
    found->role = -1;
  }
}

void Places::touch(quint64 id) {
  QMutexLocker lock(&mutex_);
  if (const auto found = places_.find(id); found != places_.end())
    found->lastActive = clock_.elapsed();
}

void Places::leave(quint64 id) {
  QMutexLocker lock(&mutex_);
  places_.remove(id);
}

int Places::connections() const {
  QMutexLocker lock(&mutex_);
  return int(places_.size());
}

}  // namespace server
