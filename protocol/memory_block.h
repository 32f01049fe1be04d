#pragma once

#include <QtGlobal>
#include <utility>

// A block of memory that never moves, for stores that grow large. A block of kHugeBytes or more
// is aligned to that size and advised to the kernel as huge pages: filling it takes one page
// fault per 2 MiB instead of one per 4 KiB page, and on a virtual machine a fault costs several
// microseconds, more than writing the page.
namespace protocol {

class MemoryBlock {
 public:
  static constexpr qsizetype kHugeBytes = qsizetype(2) << 20;

  MemoryBlock() = default;
  // Throws std::bad_alloc when the memory cannot be had.
  explicit MemoryBlock(qsizetype bytes);
  MemoryBlock(MemoryBlock&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
  MemoryBlock& operator=(MemoryBlock&& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    return *this;
  }
  ~MemoryBlock();

  char* data() const { return data_; }
  qsizetype size() const { return size_; }
  // Gives back all but the first `bytes`.
  void shrink(qsizetype bytes);

 private:
  char* data_ = nullptr;
  qsizetype size_ = 0;
};

}  // namespace protocol
