#include "engine/search/memory/bounded_copy.h"

#include <cstdint>
#include <cstring>

namespace vexa {
namespace {

bool Overlap(const void* dest, const void* src, size_t count) {
  const auto d = reinterpret_cast<uintptr_t>(dest);
  const auto s = reinterpret_cast<uintptr_t>(src);
  return d != s && ((d < s && s - d < count) || (s < d && d - s < count));
}

}  // namespace

int memcpy_s(void* dest, size_t destMax, const void* src, size_t count) {
  if (destMax == 0 || destMax > kBoundedCopyMaxBytes) return kCopyRange;
  if (dest == nullptr) return kCopyInvalid;
  if (src == nullptr) {
    std::memset(dest, 0, destMax);
    return kCopyInvalidAndReset;
  }
  if (count > destMax) {
    std::memset(dest, 0, destMax);
    return kCopyRangeAndReset;
  }
  if (Overlap(dest, src, count)) {
    std::memset(dest, 0, destMax);
    return kCopyOverlapAndReset;
  }
  if (dest != src && count != 0) std::memcpy(dest, src, count);
  return kCopyOk;
}

int memset_s(void* dest, size_t destMax, int c, size_t count) {
  if (destMax == 0 || destMax > kBoundedCopyMaxBytes) return kCopyRange;
  if (dest == nullptr) return kCopyInvalid;
  if (count > destMax) {
    std::memset(dest, c, destMax);
    return kCopyRangeAndReset;
  }
  std::memset(dest, c, count);
  return kCopyOk;
}

}  // namespace vexa
