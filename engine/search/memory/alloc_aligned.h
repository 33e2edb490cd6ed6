#ifndef TARVO_ENGINE_SEARCH_MEMORY_ALLOC_ALIGNED_H_
#define TARVO_ENGINE_SEARCH_MEMORY_ALLOC_ALIGNED_H_

#include <cstddef>
#include <cstdlib>
#include <memory>

namespace vexa {

// Bytes of the cache line that small blocks are aligned to.
constexpr size_t kCacheLineBytes = 64;
// Blocks of at least this size are aligned to it and hinted for transparent huge pages.
constexpr size_t kHugePageBytes = size_t{2} << 20;
// Blocks of at least this size are aligned to it (and hinted).
constexpr size_t kGigaPageBytes = size_t{1} << 30;

// Returns a zero-filled block of at least `bytes` bytes, or null when the C library has none.
// Below 2 MiB the block is 64-byte aligned; from 2 MiB it is 2 MiB aligned, from 1 GiB 1 GiB
// aligned, and both large classes carry the transparent-huge-page hint. The size is rounded up to
// the alignment and the whole rounded block is zeroed, from 2 MiB by the calling thread's OpenMP
// team. The caller releases it with free().
void* AllocAligned(size_t bytes);

// Gives the whole 2 MiB pages inside the bytes at block the transparent-huge-page hint; a hint,
// so nothing is reported.
void AdviseHugePages(void* block, size_t bytes);

// Like AllocAligned, but throws std::bad_alloc instead of returning null.
void* AllocAlignedOrThrow(size_t bytes);

// Bytes of `count` elements of `elementBytes` each; throws std::bad_alloc when the product does
// not fit in size_t, so that an oversized count never turns into a small block.
size_t ArrayBytesOrThrow(size_t count, size_t elementBytes);

// Releases blocks that came from AllocAligned or aligned_alloc.
struct FreeDeleter {
  void operator()(void* block) const { std::free(block); }
};

// Sole owner of a block released with free().
template <typename T>
using FreePtr = std::unique_ptr<T, FreeDeleter>;

// A zero-filled array of `count` elements of T from AllocAlignedOrThrow, owned by the result.
template <typename T>
FreePtr<T> MakeAlignedArray(size_t count) {
  return FreePtr<T>(static_cast<T*>(AllocAlignedOrThrow(ArrayBytesOrThrow(count, sizeof(T)))));
}

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_MEMORY_ALLOC_ALIGNED_H_
