// Picks the kernel table of the processor. The engine is compiled for the architecture's
// baseline; only the instruction-set files use wider instructions, and they are reached through
// here after the processor has been asked whether it runs them. On x86 the compiler's feature
// test reports an extension only when the operating system also saves its registers (it reads
// XCR0 for the 256-bit and the 512-bit state); on Arm the kernel's hardware capabilities say the
// same.
#include "engine/search/quant/kernels/kernel_table.h"

#include <initializer_list>

#if defined(__x86_64__)
#include <cpuid.h>
#endif
#if defined(__aarch64__)
#include <asm/hwcap.h>
#include <sys/auxv.h>
#endif

namespace vexa {
namespace {

#if defined(__x86_64__)
// Half-precision conversions; asked of the processor directly, since not every compiler's
// feature test knows them. They use the 256-bit state, whose saving the AVX tests already check.
bool HasF16c() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  return __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (ecx & bit_F16C) != 0;
}
#endif

}  // namespace

const KernelTable* KernelTableFor(Isa isa) {
#if defined(__x86_64__)
  __builtin_cpu_init();  // the feature test may run before the constructors that prepare it
#endif
  switch (isa) {
    case Isa::kScalar:
      return &kScalarKernels;
    case Isa::kAvx2:
#if defined(__x86_64__)
      if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") && HasF16c()) {
        return &kAvx2Kernels;
      }
#endif
      return nullptr;
    case Isa::kAvx512:
#if defined(__x86_64__)
      if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
          __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
          __builtin_cpu_supports("avx512vnni") && __builtin_cpu_supports("fma") && HasF16c()) {
        return &kAvx512Kernels;
      }
#endif
      return nullptr;
    case Isa::kNeon:
#if defined(__aarch64__)
      {
        const unsigned long hwcap = getauxval(AT_HWCAP);
        const unsigned long needed = HWCAP_ASIMD | HWCAP_FPHP | HWCAP_ASIMDHP | HWCAP_ASIMDDP |
                                     HWCAP_ASIMDFHM;
        if ((hwcap & needed) == needed) return &kNeonKernels;
      }
#endif
      return nullptr;
  }
  return nullptr;
}

namespace {

const KernelTable* WidestKernels() {
  for (Isa isa : {Isa::kAvx512, Isa::kAvx2, Isa::kNeon}) {
    if (const KernelTable* table = KernelTableFor(isa)) return table;
  }
  return &kScalarKernels;
}

}  // namespace

const KernelTable& ActiveKernels() {
  static const KernelTable* const table = WidestKernels();
  return *table;
}

}  // namespace vexa
