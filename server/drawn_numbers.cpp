#include "server/drawn_numbers.h"

#include <atomic>

namespace server {

DrawnNumbers& DrawnNumbers::shared() {
  static DrawnNumbers numbers;
  return numbers;
}

quint64 DrawnNumbers::newSession() {
  static std::atomic<quint64> next = 1;
  return next++;
}

QString DrawnNumbers::key(const QString& table, qint64 number) {
  return table + u':' + QString::number(number);
}

bool DrawnNumbers::hold(const QString& table, qint64 number, quint64 session) {
  QMutexLocker lock(&mutex_);
  int& count = held_[session];
  if (count >= kMostHeld) return false;
  ++count;
  holders_.insert(key(table, number), session);
  return true;
}

bool DrawnNumbers::mayUse(const QString& table, qint64 number, quint64 session) const {
  QMutexLocker lock(&mutex_);
  const auto holder = holders_.constFind(key(table, number));
  return holder == holders_.cend() || *holder == session;
}

void DrawnNumbers::used(const QString& table, qint64 number) {
  QMutexLocker lock(&mutex_);
  const auto holder = holders_.constFind(key(table, number));
  if (holder == holders_.cend()) return;
  if (--held_[*holder] <= 0) held_.remove(*holder);
  holders_.erase(holder);
}

void DrawnNumbers::release(quint64 session) {
  QMutexLocker lock(&mutex_);
  if (!held_.remove(session)) return;
  holders_.removeIf([session](const auto& it) { return it.value() == session; });
}

}  // namespace server
