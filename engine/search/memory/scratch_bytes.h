#ifndef TARVO_ENGINE_SEARCH_MEMORY_SCRATCH_BYTES_H_
#define TARVO_ENGINE_SEARCH_MEMORY_SCRATCH_BYTES_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/search/memory/alloc_aligned.h"

namespace vexa {

// A block of bytes reused from one use to the next, such as one thread's query codes: it grows
// when a use needs more and never shrinks, so that after the first uses nothing is allocated.
class ScratchBytes {
 public:
  ScratchBytes() = default;
  ScratchBytes(const ScratchBytes&) = delete;
  ScratchBytes& operator=(const ScratchBytes&) = delete;

  // At least n zero bytes, aligned as AllocAligned aligns a block of the size held. Throws
  // std::bad_alloc when a larger block cannot be had (the block held stays).
  uint8_t* Zeroed(size_t n) {
    if (n > capacity_) {
      block_.reset(static_cast<uint8_t*>(AllocAlignedOrThrow(n)));  // zero-filled
      capacity_ = n;
      return block_.get();
    }
    if (n > 0) std::memset(block_.get(), 0, n);
    return block_.get();
  }

 private:
  FreePtr<uint8_t> block_;  // capacity_ bytes, from AllocAligned
  size_t capacity_ = 0;
};

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_MEMORY_SCRATCH_BYTES_H_
