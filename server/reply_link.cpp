#include "server/reply_link.h"

#include <QMetaObject>
#include <chrono>

namespace server {

bool ReplyLink::send(QByteArray frame, int timeoutMs) {
  std::unique_lock lock(mutex_);
  if (!taken_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                       [this] { return !connection_ || bytes_ < kHighWaterBytes; }) ||
      !connection_)
    return false;
  bytes_ += frame.size();
  frames_.push_back(std::move(frame));
  // One flush at a time is enough: it takes every frame waiting by then.
  if (!std::exchange(flushPosted_, true))
    QMetaObject::invokeMethod(connection_, "flushReply", Qt::QueuedConnection);
  return true;
}

void ReplyLink::post(std::function<void()> function) {
  const std::lock_guard lock(mutex_);
  if (connection_)
    QMetaObject::invokeMethod(connection_, std::move(function), Qt::QueuedConnection);
}

std::deque<QByteArray> ReplyLink::take() {
  std::deque<QByteArray> frames;
  {
    const std::lock_guard lock(mutex_);
    frames.swap(frames_);
    bytes_ = 0;
    flushPosted_ = false;
  }
  taken_.notify_all();
  return frames;
}

void ReplyLink::detach() {
  {
    const std::lock_guard lock(mutex_);
    connection_ = nullptr;
    frames_.clear();
    bytes_ = 0;
  }
  taken_.notify_all();
}

}  // namespace server
