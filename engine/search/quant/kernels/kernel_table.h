#ifndef TARVO_ENGINE_SEARCH_QUANT_KERNELS_KERNEL_TABLE_H_
#define TARVO_ENGINE_SEARCH_QUANT_KERNELS_KERNEL_TABLE_H_

#include <cstdint>

#include "engine/search/memory/half.h"

namespace vexa {

// The instruction sets that the distance kernels are written for.
enum class Isa { kScalar, kAvx2, kAvx512, kNeon };

// One implementation of every distance kernel (see engine/search/quant/distance.h for what each
// computes). All tables give the same bits for the same inputs; they differ in speed only.
struct KernelTable {
  const char* name;

  float (*fp32_l2)(const float* a, const float* b, int d);
  float (*fp32_ip)(const float* a, const float* b, int d);
  void (*fp32_l2_many)(const float* a, const float* const* rows, int count, float* out, int d);
  void (*fp32_ip_many)(const float* a, const float* const* rows, int count, float* out, int d);
  void (*fp32_l2_x4)(const float* query, const float* c0, const float* c1, const float* c2,
                     const float* c3, float out[4], int d);
  void (*fp32_ip_x4)(const float* query, const float* c0, const float* c1, const float* c2,
                     const float* c3, float out[4], int d);
  void (*fp32_l2_x16)(const float* query, const uint8_t* codes, uint64_t code_size,
                      const int32_t ids[16], float out[16], int d);
  void (*fp32_ip_x16)(const float* query, const uint8_t* codes, uint64_t code_size,
                      const int32_t ids[16], float out[16], int d);

  float (*fp16_l2)(const Half* query, const Half* code, int d);
  float (*fp16_ip)(const Half* query, const Half* code, int d);
  void (*fp16_l2_x4)(const Half* query, const Half* c0, const Half* c1, const Half* c2,
                     const Half* c3, float out[4], int d);
  void (*fp16_ip_x4)(const Half* query, const Half* c0, const Half* c1, const Half* c2,
                     const Half* c3, float out[4], int d);
  void (*fp16_l2_x16)(const Half* query, const uint8_t* codes, uint64_t code_size,
                      const int32_t ids[16], float out[16], int d);
  void (*fp16_ip_x16)(const Half* query, const uint8_t* codes, uint64_t code_size,
                      const int32_t ids[16], float out[16], int d);

  int32_t (*sq8_l2)(const uint8_t* query, const uint8_t* code, int d);
  void (*sq8_l2_x4)(const uint8_t* query, const uint8_t* c0, const uint8_t* c1, const uint8_t* c2,
                    const uint8_t* c3, int32_t out[4], int d);
  void (*sq8_l2_x16)(const uint8_t* query, const uint8_t* codes, uint64_t code_size,
                     const int32_t ids[16], int32_t out[16], int d);
  int32_t (*sq8_ip)(const int8_t* query, const int8_t* code, int d);
  void (*sq8_ip_x16)(const int8_t* query, const uint8_t* codes, uint64_t code_size,
                     const int32_t ids[16], int32_t out[16], int d);

  int32_t (*sq4_l2)(const uint8_t* query, const uint8_t* code, int d);
  void (*sq4_l2_x4)(const uint8_t* query, const uint8_t* c0, const uint8_t* c1, const uint8_t* c2,
                    const uint8_t* c3, int32_t out[4], int d);
  void (*sq4_l2_x16)(const uint8_t* query, const uint8_t* codes, uint64_t code_size,
                     const int32_t ids[16], int32_t out[16], int d);
  int32_t (*sq4_ip)(const uint8_t* query, const uint8_t* code, int d);
  void (*sq4_ip_x4)(const uint8_t* query, const uint8_t* c0, const uint8_t* c1, const uint8_t* c2,
                    const uint8_t* c3, int32_t out[4], int d);
  void (*sq4_ip_x16)(const uint8_t* query, const uint8_t* codes, uint64_t code_size,
                     const int32_t ids[16], int32_t out[16], int d);
};

// The table of one instruction set, or null when this build or this processor lacks it.
const KernelTable* KernelTableFor(Isa isa);

// The table of the widest instruction set that this processor runs, chosen on first use.
const KernelTable& ActiveKernels();

// The tables themselves, one per instruction-set file (those of other architectures are not
// compiled in). Reached through KernelTableFor, which checks the processor first. Each file sets
// every entry by name in a constant expression, so its table is ready before any constructor runs.
extern const KernelTable kScalarKernels;
extern const KernelTable kAvx2Kernels;
extern const KernelTable kAvx512Kernels;
extern const KernelTable kNeonKernels;

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_QUANT_KERNELS_KERNEL_TABLE_H_
