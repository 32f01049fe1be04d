#pragma once

#include <QByteArray>
#include <QObject>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

// Between a request's worker and its connection: the reply's frames on their way to the
// connection's thread, which writes them. The worker waits while much is written and not yet
// taken (a client reading slowly holds its reply there, not in memory without end), but never
// longer than a deadline; once the connection is gone, sending fails at once.
namespace server {

class ReplyLink {
 public:
  // Frames waiting beyond this make the sender wait.
  static constexpr qint64 kHighWaterBytes = 4 * 1024 * 1024;

  // `connection` has a slot flushReply() that calls take() when it can write more.
  explicit ReplyLink(QObject* connection) : connection_(connection) {}

  // Queues `frame` for the connection and has it written; false when the connection is gone or
  // the frames before it were not taken within `timeoutMs`.
  bool send(QByteArray frame, int timeoutMs);
  // Runs `function` on the connection's thread, unless the connection is gone by then.
  void post(std::function<void()> function);

  // For the connection: takes the frames waiting, and wakes a waiting sender. Until it is
  // called, no further flushReply() is posted.
  std::deque<QByteArray> take();
  // For the connection as it goes: every later send fails and posts are dropped.
  void detach();

 private:
  std::mutex mutex_;
  std::condition_variable taken_;
  std::deque<QByteArray> frames_;
  qint64 bytes_ = 0;
  QObject* connection_;  // null once detached
  bool flushPosted_ = false;
};

}  // namespace server
