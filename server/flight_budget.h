#pragma once

#include <QMutex>
#include <QtGlobal>

// The bytes of all requests in flight together: a request's frame, and what reading it makes,
// take from this budget from the moment its length is known until its reply is done. A frame
// that does not fit waits, unread, until others finish; no number of connections sending large
// frames at once can hold more memory than the budget.
namespace server {

class FlightBudget {
 public:
  explicit FlightBudget(qint64 bytes) : left_(bytes) {}

  // What a frame of `frameBytes` costs in flight: the frame and its typed request beside it.
  static qint64 costOf(qint64 frameBytes) { return 4 * frameBytes + 4096; }

  // Takes `bytes`; false (taking nothing) when fewer are left.
  bool take(qint64 bytes) {
    QMutexLocker lock(&mutex_);
    if (bytes > left_) return false;
    left_ -= bytes;
    return true;
  }
  void giveBack(qint64 bytes) {
    QMutexLocker lock(&mutex_);
    left_ += bytes;
  }

 private:
  QMutex mutex_;
  qint64 left_;
};

}  // namespace server
