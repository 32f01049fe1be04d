#include "protocol/memory_block.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <new>

namespace protocol {

MemoryBlock::MemoryBlock(qsizetype bytes) : size_(bytes) {
  const bool huge = bytes >= kHugeBytes;
  data_ = static_cast<char*>(
      huge ? std::aligned_alloc(kHugeBytes, (bytes + kHugeBytes - 1) / kHugeBytes * kHugeBytes)
           : std::malloc(size_t(std::max<qsizetype>(bytes, 1))));
  if (!data_) throw std::bad_alloc();
  if (huge) madvise(data_, size_t(bytes), MADV_HUGEPAGE);  // a hint: nothing is lost without it
}

MemoryBlock::~MemoryBlock() { std::free(data_); }

void MemoryBlock::shrink(qsizetype bytes) {
  if (bytes >= size_) return;
  if (void* smaller = std::realloc(data_, size_t(std::max<qsizetype>(bytes, 1)))) {
    data_ = static_cast<char*>(smaller);
    size_ = bytes;
  }
}

}  // namespace protocol
