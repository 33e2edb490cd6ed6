#ifndef TARVO_TESTS_SUPPORT_PEAK_RESIDENT_H_
#define TARVO_TESTS_SUPPORT_PEAK_RESIDENT_H_

#include <sys/resource.h>

namespace vexa {

// The most memory this process has held resident so far, in KiB.
inline long PeakResidentKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace vexa

#endif  // TARVO_TESTS_SUPPORT_PEAK_RESIDENT_H_
