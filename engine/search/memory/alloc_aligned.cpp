#include "engine/search/memory/alloc_aligned.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <new>

namespace vexa {

void AdviseHugePages(void* block, size_t bytes) {
  const uintptr_t start = reinterpret_cast<uintptr_t>(block);
  const uintptr_t first = (start + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
  const uintptr_t end = (start + bytes) / kHugePageBytes * kHugePageBytes;
  if (first < end) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}

void* AllocAligned(size_t bytes) {
  size_t alignment = kCacheLineBytes;
  if (bytes >= kGigaPageBytes) {
    alignment = kGigaPageBytes;
  } else if (bytes >= kHugePageBytes) {
    alignment = kHugePageBytes;
  }
  if (bytes > SIZE_MAX - (alignment - 1)) return nullptr;
  const size_t size = (bytes + alignment - 1) / alignment * alignment;
  void* block = std::aligned_alloc(alignment, size);
  if (block == nullptr) return nullptr;
  if (alignment == kCacheLineBytes) {
    std::memset(block, 0, size);
    return block;
  }
  AdviseHugePages(block, size);
  // Zeroing first touches the pages, and the kernel clears each page as it hands it out: the
  // calling thread's team shares that work, one huge page per iteration.
  const int64_t pages = static_cast<int64_t>(size / kHugePageBytes);
  char* bytes_of_block = static_cast<char*>(block);
#pragma omp parallel for schedule(static)
  for (int64_t p = 0; p < pages; ++p) std::memset(bytes_of_block + p * kHugePageBytes, 0, kHugePageBytes);
  return block;
}

void* AllocAlignedOrThrow(size_t bytes) {
  void* block = AllocAligned(bytes);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

size_t ArrayBytesOrThrow(size_t count, size_t elementBytes) {
  if (elementBytes != 0 && count > SIZE_MAX / elementBytes) throw std::bad_alloc();
  return count * elementBytes;
}

}  // namespace vexa
