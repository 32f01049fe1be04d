#include "server/worker_pool.h"

#include <algorithm>
#include <chrono>

namespace server {

WorkerPool::WorkerPool(int workers, Open open)
    : open_(std::move(open)), mostWriting_(std::max(1, workers / 2)) {
  for (int i = 0; i < std::max(1, workers); ++i) threads_.emplace_back([this] { work(); });
}

WorkerPool::~WorkerPool() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
    queue_.clear();
    for (Idle* idle : idle_) {
      idle->woken = true;
      idle->wake.notify_one();
    }
  }
  for (std::thread& thread : threads_) thread.join();
}

void WorkerPool::submit(const QString& key, int most, Job job, bool writes) {
  const std::lock_guard lock(mutex_);
  queue_.push_back({key, std::max(1, most), writes, std::move(job)});
  wakeOne();
}

void WorkerPool::wakeOne() {
  if (idle_.empty()) return;
  Idle* last = idle_.back();
  idle_.pop_back();
  last->woken = true;
  last->wake.notify_one();
}

std::deque<WorkerPool::Queued>::iterator WorkerPool::runnable() {
  return std::find_if(queue_.begin(), queue_.end(), [&](const Queued& q) {
    return running_.value(q.key) < q.most && (!q.writes || writing_ < mostWriting_);
  });
}

bool WorkerPool::drain(int timeoutMs) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [this] { return queue_.empty() && busy_ == 0; });
}

void WorkerPool::work() {
  std::unique_ptr<storage::Storage> store;
  Idle self;
  std::unique_lock lock(mutex_);
  while (true) {
    const auto next = runnable();
    if (stopping_) break;
    if (next == queue_.end()) {
      // Nothing this worker may run: it waits at the back of the idle ones until a job comes.
      self.woken = false;
      idle_.push_back(&self);
      self.wake.wait(lock, [&] { return self.woken; });
      continue;
    }
    Queued queued = std::move(*next);
    queue_.erase(next);
    ++running_[queued.key];
    ++busy_;
    writing_ += queued.writes;
    // A job that became runnable when another ended, beside the one taken here.
    if (runnable() != queue_.end()) wakeOne();
    lock.unlock();

    QString failure;
    if (!store) {
      storage::Result<std::unique_ptr<storage::Storage>> opened = open_();
      if (opened)
        store = std::move(*opened);
      else
        failure = opened.error();
    }
    queued.job(store.get(), failure);
    queued.job = nullptr;  // what the job holds goes before the next one starts

    lock.lock();
    if (--running_[queued.key] <= 0) running_.remove(queued.key);
    --busy_;
    writing_ -= queued.writes;
    changed_.notify_all();
  }
}

}  // namespace server
