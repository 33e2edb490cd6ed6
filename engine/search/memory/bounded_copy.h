#ifndef TARVO_ENGINE_SEARCH_MEMORY_BOUNDED_COPY_H_
#define TARVO_ENGINE_SEARCH_MEMORY_BOUNDED_COPY_H_

#include <cstddef>

namespace vexa {

// Result codes of the bounded copy and fill.
enum BoundedCopyError : int {
  kCopyOk = 0,
  kCopyInvalid = 22,           // null destination
  kCopyRange = 34,             // destination size 0 or above kBoundedCopyMaxBytes
  kCopyInvalidAndReset = 150,  // null source; the destination was cleared
  kCopyRangeAndReset = 162,    // count above the destination size; the destination was cleared (filled)
  kCopyOverlapAndReset = 182,  // the two ranges overlap; the destination was cleared
};

// The largest destination size the bounded copy and fill accept.
constexpr size_t kBoundedCopyMaxBytes = 0x7fffffff;

// The largest piece that callers moving more bytes hand to one bounded copy or fill (just under
// kBoundedCopyMaxBytes, a multiple of 8).
constexpr size_t kBoundedCopyPieceBytes = 0x7ffffff8;

// Copies count bytes from src to dest, which has room for destMax bytes. Returns 0 or one of the
// codes above; on a "reset" code the destMax bytes of dest are zero.
int memcpy_s(void* dest, size_t destMax, const void* src, size_t count);

// Fills count bytes of dest, which has room for destMax bytes, with c. Returns 0 or a code above;
// when count exceeds destMax the whole destination is filled and the range code is returned.
int memset_s(void* dest, size_t destMax, int c, size_t count);

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_MEMORY_BOUNDED_COPY_H_
