#ifndef TARVO_ENGINE_SEARCH_QUANT_KERNELS_INTEGER_FORMS_H_
#define TARVO_ENGINE_SEARCH_QUANT_KERNELS_INTEGER_FORMS_H_

#include <cstddef>
#include <cstdint>
#include <tuple>
#include <utility>

#include "engine/search/quant/kernels/batch16.h"
#include "engine/search/quant/kernels/kernel_forms.h"

// The integer forms of the x86 files, built around each file's registers and code kinds. The
// sums are exact, so each kind may compute them through any identity with the same integer
// result. A file supplies a type Simd with
//   Vec, kBytes (bytes per register), kGroup (codes that a batch runs side by side), Zero(),
//   Add(a, b) (32-bit lanes), Load(p), LoadPart(p, n) (n < kBytes bytes, a multiple of 16, the
//   rest of the register zero), SumLanes(v) and SumFour(v, out) / SumEight(v, out) (the lane
//   sums of 4 or 8 registers);
// and, per code kind,
//   a Pair for single distances: Add(q, x, a, b) folds kBytes query bytes q and code bytes x into
//   two accumulators, and Distance(a, b) is the register whose lane sum is the distance;
//   a Prepared kind for several codes: Prepare(q, query_acc) turns kBytes query bytes into the
//   Block that every code's Add(block, x, a, b) uses and adds the query's own terms to query_acc,
//   and Distance(a, b, query_acc) is the register whose lane sum is the code's distance.
// Zero bytes in both query and code add nothing in every kind. Like batch16.h, everything here is
// internal to the file that includes it.
namespace vexa {
namespace {

// A Pair that prepares each query register for its one code, from a Prepared kind that adds
// nothing to the query accumulator.
template <typename Simd, typename Kind>
struct PairOf {
  using Vec = typename Simd::Vec;
  static void Add(Vec q, Vec x, Vec& a, Vec& b) {
    Vec unused = Simd::Zero();
    Kind::Add(Kind::Prepare(q, unused), x, a, b);
  }
  static Vec Distance(Vec a, Vec b) { return Kind::Distance(a, b, Simd::Zero()); }
};

// A Prepared kind that prepares nothing, from a Pair.
template <typename Simd, typename Pair>
struct PreparedOf {
  using Vec = typename Simd::Vec;
  using Block = Vec;
  static Block Prepare(Vec q, Vec&) { return q; }
  static void Add(Block q, Vec x, Vec& a, Vec& b) { Pair::Add(q, x, a, b); }
  static Vec Distance(Vec a, Vec b, Vec) { return Pair::Distance(a, b); }
};

// A single distance over `bytes` bytes (a multiple of 64). One pair of accumulators: splitting
// them further costs more at small d than it gains at large, where the processor overlaps
// consecutive distances anyway.
template <typename Simd, typename Pair>
int32_t PairSum(const uint8_t* query, const uint8_t* code, int bytes) {
  typename Simd::Vec a = Simd::Zero(), b = a;
  for (int j = 0; j < bytes; j += Simd::kBytes) {
    Pair::Add(Simd::Load(query + j), Simd::Load(code + j), a, b);
  }
  return Simd::SumLanes(Pair::Distance(a, b));
}

template <typename Simd, typename Pair, int kComponentsPerByte, typename Byte>
int32_t PairSingle(const Byte* query, const Byte* code, int d) {
  return PairSum<Simd, Pair>(reinterpret_cast<const uint8_t*>(query),
                             reinterpret_cast<const uint8_t*>(code),
                             WholeBlocks(CodeBytes<kComponentsPerByte>(d), 64));
}

// The two accumulators of one code, and the same for each of a pack of codes.
template <typename Simd>
struct CodeAccumulators {
  typename Simd::Vec a = Simd::Zero();
  typename Simd::Vec b = Simd::Zero();
};
template <typename Simd, size_t>
using AccumulatorsOf = CodeAccumulators<Simd>;

// The distances of the codes C... over their first `bytes` bytes (a multiple of 16); a last
// partial register reads only its bytes. The accumulators are the members of a tuple: in an
// array the compiler keeps storing them to memory inside the loop.
template <typename Simd, typename Kind, size_t... C>
void PreparedSums(const uint8_t* query, const uint8_t* const codes[], int32_t out[], int bytes,
                  std::index_sequence<C...>) {
  using Vec = typename Simd::Vec;
  constexpr int kCodes = sizeof...(C);
  std::tuple<AccumulatorsOf<Simd, C>...> acc;
  Vec query_acc = Simd::Zero();
  int j = 0;
  for (; j + Simd::kBytes <= bytes; j += Simd::kBytes) {
    const typename Kind::Block q = Kind::Prepare(Simd::Load(query + j), query_acc);
    (Kind::Add(q, Simd::Load(codes[C] + j), std::get<C>(acc).a, std::get<C>(acc).b), ...);
  }
  if (j < bytes) {  // partial loads are slower, so only the last register has them
    const int n = bytes - j;
    const typename Kind::Block q = Kind::Prepare(Simd::LoadPart(query + j, n), query_acc);
    (Kind::Add(q, Simd::LoadPart(codes[C] + j, n), std::get<C>(acc).a, std::get<C>(acc).b), ...);
  }
  const Vec distances[kCodes] = {
      Kind::Distance(std::get<C>(acc).a, std::get<C>(acc).b, query_acc)...};
  if constexpr (kCodes == 4) {
    Simd::SumFour(distances, out);
  } else {
    static_assert(kCodes == 8, "batches of 4 or 8 codes");
    Simd::SumEight(distances, out);
  }
}

// The four-code form over whole blocks of 32 bytes.
template <typename Simd, typename Kind, int kComponentsPerByte>
void PreparedFour(const uint8_t* query, const uint8_t* c0, const uint8_t* c1, const uint8_t* c2,
                  const uint8_t* c3, int32_t out[4], int d) {
  const uint8_t* codes[4] = {c0, c1, c2, c3};
  PreparedSums<Simd, Kind>(query, codes, out, WholeBlocks(CodeBytes<kComponentsPerByte>(d), 32),
                           std::make_index_sequence<4>());
}

// The batch of sixteen over whole blocks of kBlock bytes, Simd::kGroup codes at a time.
template <typename Simd, typename Kind, int kComponentsPerByte, int kBlock, typename Query>
void PreparedSixteen(const Query* query, const uint8_t* codes, uint64_t code_size,
                     const int32_t ids[16], int32_t out[16], int d) {
  const uint8_t* batch[16];
  for (int i = 0; i < 16; ++i) batch[i] = CodeOf<uint8_t>(codes, code_size, ids[i]);
  const int bytes = WholeBlocks(CodeBytes<kComponentsPerByte>(d), kBlock);
  for (int g = 0; g < 16; g += Simd::kGroup) {
    PreparedSums<Simd, Kind>(reinterpret_cast<const uint8_t*>(query), batch + g, out + g, bytes,
                             std::make_index_sequence<Simd::kGroup>());
  }
}

}  // namespace
}  // namespace vexa

// The integer entries of an x86 file's kernel table, set by name in `table`, from its Simd type
// and its code kinds Sq8L2Pair, Sq8L2Prepared, Sq8IPPair, Sq8IPPrepared, Sq4L2Pair, Sq4L2Prepared,
// Sq4IPPair and Sq4IPPrepared. Single forms read blocks of 64 bytes, four-code forms and the
// batches blocks of 32, the SQ8 IP batch steps of 16.
#define TARVO_SET_X86_INTEGER_KERNELS(table)                                 \
  table.sq8_l2 = PairSingle<Simd, Sq8L2Pair, 1, uint8_t>;                    \
  table.sq8_l2_x4 = PreparedFour<Simd, Sq8L2Prepared, 1>;                    \
  table.sq8_l2_x16 = PreparedSixteen<Simd, Sq8L2Prepared, 1, 32, uint8_t>;   \
  table.sq8_ip = PairSingle<Simd, Sq8IPPair, 1, int8_t>;                     \
  table.sq8_ip_x16 = PreparedSixteen<Simd, Sq8IPPrepared, 1, 16, int8_t>;    \
  table.sq4_l2 = PairSingle<Simd, Sq4L2Pair, 2, uint8_t>;                    \
  table.sq4_l2_x4 = PreparedFour<Simd, Sq4L2Prepared, 2>;                    \
  table.sq4_l2_x16 = PreparedSixteen<Simd, Sq4L2Prepared, 2, 32, uint8_t>;   \
  table.sq4_ip = PairSingle<Simd, Sq4IPPair, 2, uint8_t>;                    \
  table.sq4_ip_x4 = PreparedFour<Simd, Sq4IPPrepared, 2>;                    \
  table.sq4_ip_x16 = PreparedSixteen<Simd, Sq4IPPrepared, 2, 32, uint8_t>

// Defines the kernel table `variable`, called `table_name`, of an x86 file: the float entries of
// kernel_forms.h and the integer entries above.
#define TARVO_DEFINE_X86_KERNEL_TABLE(variable, table_name) \
  namespace {                                               \
  constexpr KernelTable MakeKernelTable() {                 \
    KernelTable table{};                                    \
    table.name = table_name;                                \
    TARVO_SET_SIMD_FLOAT_KERNELS(table);                    \
    TARVO_SET_X86_INTEGER_KERNELS(table);                   \
    return table;                                           \
  }                                                         \
  }                                                         \
  extern const KernelTable variable = MakeKernelTable()

#endif  // TARVO_ENGINE_SEARCH_QUANT_KERNELS_INTEGER_FORMS_H_
