#ifndef TARVO_ENGINE_SEARCH_QUANT_KERNELS_KERNEL_FORMS_H_
#define TARVO_ENGINE_SEARCH_QUANT_KERNELS_KERNEL_FORMS_H_

#include <cstdint>

#include "engine/search/quant/kernels/batch16.h"

// The entry points of the SIMD kernel files, built around each file's own loops. A file
// supplies, per float term, an Fp32Blocks type with
//   using Term; struct Acc; static Acc Zero(); static void Add(Acc&, a, b) (one block of 16
//   components, the pair functions' four accumulators); static float Main(const Acc&) (their
//   reduction); static float Rest(a, b, m, d) (the fused remainder after the blocks that end at m)
// and, per term, a Chains type with
//   template <int kQuads> static void Run(query, codes[4 kQuads], float out[4 kQuads], covered)
// (one float accumulator per code over the first `covered` components), and either its own
// integer forms (the x86 files, see integer_forms.h) or, per code kind, a Sums type with
//   template <int kCodes> static void Run(query, codes[kCodes], int32_t out[kCodes], bytes)
// (exact sums over the first `bytes` bytes). Like batch16.h, everything here is internal to the
// file that includes it, so each copy is compiled for that file's instruction set only.
namespace vexa {
namespace {

// The whole blocks of `block` elements among `count`, in elements.
inline int WholeBlocks(int count, int block) { return count >= block ? count / block * block : 0; }

// Bytes that a code of d components occupies: one per component, or one per two for nibbles.
template <int kComponentsPerByte>
int CodeBytes(int d) {
  return d > 0 ? d / kComponentsPerByte + (d % kComponentsPerByte != 0 ? 1 : 0) : 0;
}

// The pair function of a with kRows rows side by side: each row keeps its own accumulators and
// so gets exactly the bits of the pair function alone, while the independent additions of the
// rows overlap. With kPrefetch, block k of every row of `ahead` is prefetched beside block k of
// the rows, so the next rows arrive while these are summed.
template <typename Blocks, int kRows, bool kPrefetch>
void PairsSideBySide(const float* a, const float* const* rows, const float* const* ahead, float* out,
                     int d) {
  const int m = WholeBlocks(d, 16);
  typename Blocks::Acc acc[kRows];
  for (int r = 0; r < kRows; ++r) acc[r] = Blocks::Zero();
  for (int k = 0; k < m; k += 16) {
    for (int r = 0; r < kRows; ++r) Blocks::Add(acc[r], a + k, rows[r] + k);
    if (kPrefetch) {
      for (int r = 0; r < kRows; ++r) __builtin_prefetch(ahead[r] + k, 0, 3);
    }
  }
  for (int r = 0; r < kRows; ++r) {
    const float main = m > 0 ? Blocks::Main(acc[r]) : 0.0f;
    out[r] = Blocks::Term::Finish(main + Blocks::Rest(a, rows[r], m, d));
  }
}

// The pair function (DistanceFP32L2 or DistanceFP32IP of one term).
template <typename Blocks>
float Pair(const float* a, const float* b, int d) {
  float out;
  PairsSideBySide<Blocks, 1, false>(a, &b, nullptr, &out, d);
  return out;
}

// The pair function of a with each of count rows, four rows at a time; the rows of the next four
// are prefetched while the current ones are summed.
template <typename Blocks>
void PairsMany(const float* a, const float* const* rows, int count, float* out, int d) {
  constexpr int kGroup = 4;
  int i = 0;
  for (; i + kGroup <= count; i += kGroup) {
    const float* ahead[kGroup];
    for (int r = 0; r < kGroup; ++r) ahead[r] = rows[i + kGroup + r < count ? i + kGroup + r : i + r];
    PairsSideBySide<Blocks, kGroup, true>(a, rows + i, ahead, out + i, d);
  }
  switch (count - i) {
    case 3:
      PairsSideBySide<Blocks, 3, false>(a, rows + i, nullptr, out + i, d);
      break;
    case 2:
      PairsSideBySide<Blocks, 2, false>(a, rows + i, nullptr, out + i, d);
      break;
    case 1:
      PairsSideBySide<Blocks, 1, false>(a, rows + i, nullptr, out + i, d);
      break;
    default:
      break;
  }
}

// The four-code float form over whole blocks of kBlock components.
template <typename Chains, typename Element, int kBlock>
void FourCodes(const Element* query, const Element* c0, const Element* c1, const Element* c2,
               const Element* c3, float out[4], int d) {
  const Element* codes[4] = {c0, c1, c2, c3};
  Chains::template Run<1>(query, codes, out, WholeBlocks(d, kBlock));
}

// The batch of sixteen: the four-code form on each quarter, the quarters side by side.
template <typename Chains, typename Element, int kBlock>
void SixteenCodes(const Element* query, const uint8_t* codes, uint64_t code_size,
                  const int32_t ids[16], float out[16], int d) {
  const Element* batch[16];
  for (int i = 0; i < 16; ++i) batch[i] = CodeOf<Element>(codes, code_size, ids[i]);
  Chains::template Run<4>(query, batch, out, WholeBlocks(d, kBlock));
}

// A single integer form over whole blocks of kBlock bytes.
template <typename Sums, int kComponentsPerByte, int kBlock, typename Byte>
int32_t CodeSingle(const Byte* query, const Byte* code, int d) {
  const uint8_t* codes[1] = {reinterpret_cast<const uint8_t*>(code)};
  int32_t out[1];
  Sums::template Run<1>(reinterpret_cast<const uint8_t*>(query), codes, out,
                        WholeBlocks(CodeBytes<kComponentsPerByte>(d), kBlock));
  return out[0];
}

// A four-code integer form over whole blocks of 32 bytes.
template <typename Sums, int kComponentsPerByte>
void CodeFour(const uint8_t* query, const uint8_t* c0, const uint8_t* c1, const uint8_t* c2,
              const uint8_t* c3, int32_t out[4], int d) {
  const uint8_t* codes[4] = {c0, c1, c2, c3};
  Sums::template Run<4>(query, codes, out, WholeBlocks(CodeBytes<kComponentsPerByte>(d), 32));
}

}  // namespace
}  // namespace vexa

// The float entries of a SIMD file's kernel table, set by name in `table`, from the file's own
// templates Fp32Blocks, Fp16Single and Chains and its terms FloatL2, FloatIP, HalfL2 and HalfIP.
#define TARVO_SET_SIMD_FLOAT_KERNELS(table)                     \
  table.fp32_l2 = Pair<Fp32Blocks<FloatL2>>;                    \
  table.fp32_ip = Pair<Fp32Blocks<FloatIP>>;                    \
  table.fp32_l2_many = PairsMany<Fp32Blocks<FloatL2>>;          \
  table.fp32_ip_many = PairsMany<Fp32Blocks<FloatIP>>;          \
  table.fp32_l2_x4 = FourCodes<Chains<FloatL2>, float, 16>;     \
  table.fp32_ip_x4 = FourCodes<Chains<FloatIP>, float, 16>;     \
  table.fp32_l2_x16 = SixteenCodes<Chains<FloatL2>, float, 16>; \
  table.fp32_ip_x16 = SixteenCodes<Chains<FloatIP>, float, 16>; \
  table.fp16_l2 = Fp16Single<HalfL2>;                           \
  table.fp16_ip = Fp16Single<HalfIP>;                           \
  table.fp16_l2_x4 = FourCodes<Chains<HalfL2>, Half, 8>;        \
  table.fp16_ip_x4 = FourCodes<Chains<HalfIP>, Half, 8>;        \
  table.fp16_l2_x16 = SixteenCodes<Chains<HalfL2>, Half, 8>;    \
  table.fp16_ip_x16 = SixteenCodes<Chains<HalfIP>, Half, 8>

#endif  // TARVO_ENGINE_SEARCH_QUANT_KERNELS_KERNEL_FORMS_H_
