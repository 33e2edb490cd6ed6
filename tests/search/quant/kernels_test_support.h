#ifndef TARVO_TESTS_SEARCH_QUANT_KERNELS_TEST_SUPPORT_H_
#define TARVO_TESTS_SEARCH_QUANT_KERNELS_TEST_SUPPORT_H_

#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/search/quant/kernels/kernel_table.h"

#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace vexa {
namespace testing {

// Every kernel table this processor runs, the reference first.
inline std::vector<const KernelTable*> AvailableTables() {
  std::vector<const KernelTable*> tables;
  for (Isa isa : {Isa::kScalar, Isa::kAvx2, Isa::kAvx512, Isa::kNeon}) {
    if (const KernelTable* table = KernelTableFor(isa)) tables.push_back(table);
  }
  return tables;
}

// The tables to check against the reference: every available one but the reference itself.
inline std::vector<const KernelTable*> SimdTables() {
  std::vector<const KernelTable*> tables = AvailableTables();
  tables.erase(tables.begin());
  return tables;
}

inline uint32_t Bits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  return bits;
}

inline float FromBits(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof(value));
  return value;
}

// Sets flush-to-zero with subnormal inputs read as zero and rounding to nearest on this thread
// (the mode the library runs its threads in) while it lives; restores the previous mode after.
class FlushToZeroScope {
 public:
  FlushToZeroScope() {
#if defined(__x86_64__)
    saved_ = _mm_getcsr();
    _mm_setcsr((saved_ & ~0x6000u) | 0x8040u);  // FTZ and DAZ, round to nearest
#elif defined(__aarch64__)
    uint64_t fpcr;
    __asm__ volatile("mrs %0, fpcr" : "=r"(fpcr));
    saved_ = fpcr;
    // FZ on, FZ16 off, round to nearest.
    fpcr = (fpcr | (uint64_t{1} << 24)) & ~(uint64_t{1} << 19) & ~(uint64_t{3} << 22);
    __asm__ volatile("msr fpcr, %0" : : "r"(fpcr));
#endif
  }
  ~FlushToZeroScope() {
#if defined(__x86_64__)
    _mm_setcsr(static_cast<unsigned>(saved_));
#elif defined(__aarch64__)
    __asm__ volatile("msr fpcr, %0" : : "r"(saved_));
#endif
  }
  FlushToZeroScope(const FlushToZeroScope&) = delete;
  FlushToZeroScope& operator=(const FlushToZeroScope&) = delete;

 private:
  uint64_t saved_ = 0;  // the thread's mode before the scope
};

}  // namespace testing
}  // namespace vexa

#endif  // TARVO_TESTS_SEARCH_QUANT_KERNELS_TEST_SUPPORT_H_
