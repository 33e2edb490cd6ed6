#ifndef TARVO_TESTS_SUPPORT_MEMORY_MAP_H_
#define TARVO_TESTS_SUPPORT_MEMORY_MAP_H_

namespace vexa {

// Whether the mapping of this process that holds address carries the transparent-huge-page hint
// (VmFlags "hg" in /proc/self/smaps, set by madvise(MADV_HUGEPAGE)). False when no mapping holds it.
bool HasHugePageHint(const void* address);

}  // namespace vexa

#endif  // TARVO_TESTS_SUPPORT_MEMORY_MAP_H_
