#pragma once

#include <QAbstractEventDispatcher>
#include <QHash>
#include <atomic>
#include <set>
#include <utility>

class QSocketNotifier;

// An event dispatcher for a thread that holds thousands of sockets, most of them idle. Qt's own
// dispatcher hands every socket it watches to poll() on each turn of the loop and walks them all
// again afterwards, so a turn costs in proportion to the connections held, not to the ones that
// have something to say. This one keeps the sockets in an epoll set and is told only of the
// ready ones; timers sit in deadline order. Semantics follow Qt's: notifiers are level-triggered,
// a hang-up or error wakes a socket's read and write notifiers, a timer does not fire again
// while its own handler runs, posted events are sent on every turn. Linux only; set it on a
// thread before the thread starts (QThread::setEventDispatcher).
namespace server {

class EpollDispatcher : public QAbstractEventDispatcher {
  Q_OBJECT

 public:
  explicit EpollDispatcher(QObject* parent = nullptr);
  ~EpollDispatcher() override;

  bool processEvents(QEventLoop::ProcessEventsFlags flags) override;

  void registerSocketNotifier(QSocketNotifier* notifier) override;
  void unregisterSocketNotifier(QSocketNotifier* notifier) override;

  void registerTimer(int timerId, qint64 interval, Qt::TimerType timerType,
                     QObject* object) override;
  bool unregisterTimer(int timerId) override;
  bool unregisterTimers(QObject* object) override;
  QList<TimerInfo> registeredTimers(QObject* object) const override;
  int remainingTime(int timerId) override;

  // Safe from any thread.
  void wakeUp() override;
  void interrupt() override;

 private:
  // The notifiers of one descriptor, by QSocketNotifier::Type (read, write, exception).
  struct Watch {
    QSocketNotifier* notifiers[3] = {};
    quint32 events = 0;  // as given to epoll
  };
  struct Timer {
    qint64 intervalMs = 0;
    Qt::TimerType type = Qt::CoarseTimer;
    QObject* object = nullptr;
    qint64 deadlineNs = 0;
    bool firing = false;  // its handler is running
  };

  // Gives epoll what `watch` now asks for; `renew`: even when that did not change.
  void updateWatch(int fd, Watch& watch, bool renew = false);
  // Ms until the first timer is due: 0 when one is, -1 when there is none.
  int msToNextTimer() const;
  // Activates the notifiers that epoll's `events` for `fd` concern; true when any was.
  bool activateSocket(int fd, quint32 events);
  bool activateTimers();
  void drainWakeUps();

  const int epoll_;
  const int wakeFd_;
  std::atomic<bool> wakeUpPending_ = false;
  std::atomic<bool> interrupted_ = false;
  QHash<int, Watch> watches_;
  QHash<int, Timer> timers_;
  std::set<std::pair<qint64, int>> deadlines_;  // (deadline in ns, timer id)
};

}  // namespace server
