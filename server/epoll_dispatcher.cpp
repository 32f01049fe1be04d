#include "server/epoll_dispatcher.h"

#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimerEvent>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <vector>

namespace server {

namespace {

// Ready descriptors taken from epoll per turn; more wait for the next turn, in epoll's rotation.
constexpr int kBatch = 512;

qint64 nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// What wakes each kind of notifier: a hang-up or an error wakes them all, as in Qt's own loop,
// so that the owner finds out.
constexpr quint32 kWakes[3] = {EPOLLIN | EPOLLHUP | EPOLLERR, EPOLLOUT | EPOLLHUP | EPOLLERR,
                               EPOLLPRI | EPOLLHUP | EPOLLERR};
// What each kind asks epoll for.
constexpr quint32 kAsks[3] = {EPOLLIN, EPOLLOUT, EPOLLPRI};

}  // namespace

EpollDispatcher::EpollDispatcher(QObject* parent)
    : QAbstractEventDispatcher(parent),
      epoll_(epoll_create1(EPOLL_CLOEXEC)),
      wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (epoll_ < 0 || wakeFd_ < 0) qFatal("cannot make an event loop: %s", std::strerror(errno));
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.fd = wakeFd_;
  if (epoll_ctl(epoll_, EPOLL_CTL_ADD, wakeFd_, &event) != 0)
    qFatal("cannot make an event loop: %s", std::strerror(errno));
}

EpollDispatcher::~EpollDispatcher() {
  close(wakeFd_);
  close(epoll_);
}

bool EpollDispatcher::processEvents(QEventLoop::ProcessEventsFlags flags) {
  interrupted_.store(false);
  emit awake();
  QCoreApplication::sendPostedEvents();

  const bool timers = !(flags & QEventLoop::X11ExcludeTimers);
  int timeout = 0;
  if ((flags & QEventLoop::WaitForMoreEvents) && !interrupted_.load())
    timeout = timers ? msToNextTimer() : -1;
  if (timeout != 0) emit aboutToBlock();

  bool activated = false;
  if (flags & QEventLoop::ExcludeSocketNotifiers) {
    pollfd wake{wakeFd_, POLLIN, 0};
    if (poll(&wake, 1, timeout) > 0) {
      drainWakeUps();
      activated = true;
    }
  } else {
    epoll_event events[kBatch];
    const int ready = epoll_wait(epoll_, events, kBatch, timeout);
    for (int i = 0; i < ready; ++i) {
      if (events[i].data.fd == wakeFd_) {
        drainWakeUps();
        activated = true;
      } else if (activateSocket(events[i].data.fd, events[i].events)) {
        activated = true;
      }
    }
  }
  if (timers && activateTimers()) activated = true;
  return activated;
}

void EpollDispatcher::drainWakeUps() {
  quint64 count = 0;
  [[maybe_unused]] const ssize_t n = read(wakeFd_, &count, sizeof count);
  // Cleared after the read: a wake-up asked for in between has its event sent on the next turn,
  // which begins with the posted events.
  wakeUpPending_.store(false);
}

void EpollDispatcher::wakeUp() {
  if (wakeUpPending_.exchange(true)) return;
  const quint64 one = 1;
  [[maybe_unused]] const ssize_t n = write(wakeFd_, &one, sizeof one);
}

void EpollDispatcher::interrupt() {
  interrupted_.store(true);
  wakeUp();
}

void EpollDispatcher::registerSocketNotifier(QSocketNotifier* notifier) {
  const int fd = int(notifier->socket());
  const int type = int(notifier->type());
  Watch& watch = watches_[fd];
  // Another notifier still here means its socket was closed while watched: the number is a new
  // socket's, which epoll has not seen.
  const bool stale = watch.notifiers[type] && watch.notifiers[type] != notifier;
  if (stale) qWarning("EpollDispatcher: a second notifier of one kind for socket %d", fd);
  watch.notifiers[type] = notifier;
  updateWatch(fd, watch, stale);
}

void EpollDispatcher::unregisterSocketNotifier(QSocketNotifier* notifier) {
  const int fd = int(notifier->socket());
  const auto found = watches_.find(fd);
  if (found == watches_.end() || found->notifiers[int(notifier->type())] != notifier) return;
  found->notifiers[int(notifier->type())] = nullptr;
  updateWatch(fd, *found);
}

void EpollDispatcher::updateWatch(int fd, Watch& watch, bool renew) {
  quint32 wanted = 0;
  for (int type = 0; type < 3; ++type)
    if (watch.notifiers[type]) wanted |= kAsks[type];
  if (wanted == watch.events && !renew) {
    if (wanted == 0) watches_.remove(fd);
    return;
  }
  epoll_event event{};
  event.events = wanted;
  event.data.fd = fd;
  if (wanted == 0) {
    // Fails harmlessly when the descriptor was closed first: epoll forgot it then.
    epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
    watches_.remove(fd);
    return;
  }
  // A descriptor closed while watched leaves epoll's set by itself, and its number may come back
  // for a new socket: either operation may find the other state.
  const int op = watch.events == 0 ? EPOLL_CTL_ADD : EPOLL_CTL_MOD;
  if (epoll_ctl(epoll_, op, fd, &event) != 0 &&
      epoll_ctl(epoll_, op == EPOLL_CTL_ADD ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &event) != 0)
    qWarning("EpollDispatcher: cannot watch socket %d: %s", fd, std::strerror(errno));
  watch.events = wanted;
}

bool EpollDispatcher::activateSocket(int fd, quint32 events) {
  bool activated = false;
  for (int type = 0; type < 3; ++type) {
    if (!(events & kWakes[type])) continue;
    // Looked up afresh: an earlier handler may have removed this notifier or its socket.
    const auto found = watches_.constFind(fd);
    if (found == watches_.cend()) break;
    if (QSocketNotifier* notifier = found->notifiers[type]) {
      QEvent event(QEvent::SockAct);
      QCoreApplication::sendEvent(notifier, &event);
      activated = true;
    }
  }
  return activated;
}

void EpollDispatcher::registerTimer(int timerId, qint64 interval, Qt::TimerType timerType,
                                    QObject* object) {
  const qint64 deadline = nowNs() + interval * 1000000;
  timers_.insert(timerId, {interval, timerType, object, deadline, false});
  deadlines_.emplace(deadline, timerId);
}

bool EpollDispatcher::unregisterTimer(int timerId) {
  const auto found = timers_.find(timerId);
  if (found == timers_.end()) return false;
  deadlines_.erase({found->deadlineNs, timerId});
  timers_.erase(found);
  return true;
}

bool EpollDispatcher::unregisterTimers(QObject* object) {
  bool any = false;
  for (auto it = timers_.begin(); it != timers_.end();) {
    if (it->object == object) {
      deadlines_.erase({it->deadlineNs, it.key()});
      it = timers_.erase(it);
      any = true;
    } else {
      ++it;
    }
  }
  return any;
}

QList<QAbstractEventDispatcher::TimerInfo> EpollDispatcher::registeredTimers(
    QObject* object) const {
  QList<TimerInfo> out;
  for (auto it = timers_.cbegin(); it != timers_.cend(); ++it)
    if (it->object == object) out.append({it.key(), int(it->intervalMs), it->type});
  return out;
}

int EpollDispatcher::remainingTime(int timerId) {
  const auto found = timers_.constFind(timerId);
  if (found == timers_.cend()) return -1;
  return int(std::max<qint64>(0, (found->deadlineNs - nowNs() + 999999) / 1000000));
}

int EpollDispatcher::msToNextTimer() const {
  // A timer whose handler is still running (it opened a loop of its own) does not count.
  for (const auto& [deadline, id] : deadlines_) {
    if (timers_.value(id).firing) continue;
    const qint64 wait = deadline - nowNs();
    return wait <= 0 ? 0 : int(std::min<qint64>((wait + 999999) / 1000000, INT_MAX));
  }
  return -1;
}

bool EpollDispatcher::activateTimers() {
  const qint64 now = nowNs();
  std::vector<int> due;
  for (const auto& [deadline, id] : deadlines_) {
    if (deadline > now) break;
    due.push_back(id);
  }
  bool activated = false;
  for (const int id : due) {
    const auto found = timers_.find(id);
    // Gone, rescheduled or still running since an earlier handler ran.
    if (found == timers_.end() || found->deadlineNs > now || found->firing) continue;
    deadlines_.erase({found->deadlineNs, id});
    qint64 next = found->deadlineNs + found->intervalMs * 1000000;
    if (next <= now) next = now + found->intervalMs * 1000000;
    found->deadlineNs = next;
    found->firing = true;
    deadlines_.emplace(next, id);
    QObject* object = found->object;
    QTimerEvent event(id);
    QCoreApplication::sendEvent(object, &event);
    activated = true;
    if (const auto still = timers_.find(id); still != timers_.end()) still->firing = false;
  }
  return activated;
}

}  // namespace server
