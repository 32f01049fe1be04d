#pragma once

#include <QHash>
#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "storage/storage.h"

// The threads that run requests. Each worker keeps a storage of its own, opened when it first
// needs one, so a connection holds no thread and no database handle between its requests.
// Requests wait in one queue, first come first served, except that the jobs of one key (an
// account, or an address before sign-in) run only a few at a time: nobody takes every worker.
// A new job wakes one idle worker, the one that went idle last: its storage, statements and
// mapped pages are the warmest, and the others sleep on. Writes run at most half the workers at
// a time: they take their turns at the database one by one, each waiting for the disk, and
// while they wait they must not hold every worker the reads need.
namespace server {

class WorkerPool {
 public:
  using Open = std::function<storage::Result<std::unique_ptr<storage::Storage>>()>;
  // Runs on a worker with its storage, or with none and the reason it could not be opened.
  using Job = std::function<void(storage::Storage* store, const QString& failure)>;

  WorkerPool(int workers, Open open);
  // Finishes the running jobs, drops those still queued, and closes every storage.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Queues `job`; the jobs of `key` run at most `most` at a time, in the order queued. A job
  // that `writes` also waits for a writer's place.
  void submit(const QString& key, int most, Job job, bool writes = false);
  // Waits until nothing is queued or running, at most `timeoutMs`; false when time ran out.
  bool drain(int timeoutMs);
  int workers() const { return int(threads_.size()); }

 private:
  struct Queued {
    QString key;
    int most;
    bool writes;
    Job job;
  };
  // A worker waiting for a job.
  struct Idle {
    std::condition_variable wake;
    bool woken = false;
  };
  void work();
  // The first queued job whose key (and, for a write, the writers) may run one more, or the end.
  std::deque<Queued>::iterator runnable();
  // Wakes the worker that went idle last, if one is.
  void wakeOne();

  Open open_;
  std::mutex mutex_;
  std::condition_variable changed_;  // a job ended: for drain()
  std::deque<Queued> queue_;
  std::vector<Idle*> idle_;  // the worker that went idle last at the back
  QHash<QString, int> running_;
  int busy_ = 0;
  int writing_ = 0;
  int mostWriting_ = 1;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace server
