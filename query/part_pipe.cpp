#include "query/part_pipe.h"

namespace spreadsheet::detail {

PartPipe::PartPipe(ZipWriter& zip) : zip_(zip), thread_([this] { run(); }) {}

PartPipe::~PartPipe() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

QByteArray PartPipe::write(QByteArray piece) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return failure_ || pieces_.size() < kMostWaiting; });
  if (failure_) std::rethrow_exception(failure_);
  pieces_.push_back(std::move(piece));
  changed_.notify_all();
  if (spare_.empty()) return {};
  QByteArray next = std::move(spare_.back());
  spare_.pop_back();
  return next;
}

void PartPipe::close() {
  {
    const std::lock_guard lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  thread_.join();
  if (failure_) std::rethrow_exception(failure_);
}

void PartPipe::run() {
  std::unique_lock lock(mutex_);
  while (true) {
    changed_.wait(lock, [this] { return stopping_ || closing_ || !pieces_.empty(); });
    if (stopping_ || pieces_.empty()) return;
    QByteArray piece = std::move(pieces_.front());
    pieces_.pop_front();
    changed_.notify_all();  // room for the next piece
    lock.unlock();
    try {
      zip_.write(piece);
    } catch (...) {
      lock.lock();
      failure_ = std::current_exception();
      changed_.notify_all();
      return;
    }
    piece.resize(0);  // keeps its room
    lock.lock();
    if (spare_.size() < kMostWaiting) spare_.push_back(std::move(piece));
  }
}

}  // namespace spreadsheet::detail
