#pragma once

#include <QByteArray>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "query/zip_write.h"

// Hands the pieces of one zip part to a thread that checksums, deflates and writes them, so that
// the caller makes the next piece meanwhile: a large workbook is written in about the time of
// the slower of the two instead of their sum. At most two pieces wait, so memory stays constant.
namespace spreadsheet::detail {

class PartPipe {
 public:
  // The part has begun in `zip`, which outlives the pipe.
  explicit PartPipe(ZipWriter& zip);
  // Stops the thread; pieces not yet written are dropped.
  ~PartPipe();
  PartPipe(const PartPipe&) = delete;
  PartPipe& operator=(const PartPipe&) = delete;

  // Queues `piece` for the part and returns an emptied buffer for the next one. Throws what
  // writing an earlier piece threw.
  QByteArray write(QByteArray piece);
  // Returns once every piece is written. Throws what writing one threw.
  void close();

 private:
  static constexpr size_t kMostWaiting = 2;
  void run();

  ZipWriter& zip_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<QByteArray> pieces_;
  std::vector<QByteArray> spare_;  // written pieces, emptied, for the caller to fill again
  bool closing_ = false;
  bool stopping_ = false;
  std::exception_ptr failure_;
  std::thread thread_;  // last: it starts once everything it uses is there
};

}  // namespace spreadsheet::detail
