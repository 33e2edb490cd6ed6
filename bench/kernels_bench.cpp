// Every distance kernel form, on the reference and on each SIMD path this processor runs, at the
// dimensions 128, 784 and 960, beside faiss's and hnswlib's float distances. Counters:
// ns/dist, the nanoseconds per distance, and B/ns, the code bytes read per nanosecond.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bench/kernels_peers.h"
#include "engine/search/memory/alloc_aligned.h"
#include "engine/search/memory/half.h"
#include "engine/search/quant/kernels/kernel_table.h"

namespace vexa {
namespace {

constexpr int kDims[] = {128, 784, 960};
constexpr int kCodes = 16;  // codes the loops cycle through (resident in the first two caches)

int RoundUp(int d, int block) { return (d + block - 1) / block * block; }

// A query and kCodes codes of code_size bytes each, 64-byte aligned, with random contents of
// the right kind.
class CodeSet {
 public:
  enum class Kind { kFloat, kHalf, kByte };

  CodeSet(Kind kind, uint64_t code_size)
      : code_size_(code_size),
        query_(MakeAlignedArray<uint8_t>(code_size)),
        codes_(MakeAlignedArray<uint8_t>(code_size * kCodes)) {
    std::mt19937 rng(5);
    Fill(kind, query_.get(), code_size, rng);
    Fill(kind, codes_.get(), code_size * kCodes, rng);
  }
  CodeSet(const CodeSet&) = delete;
  CodeSet& operator=(const CodeSet&) = delete;

  uint64_t code_size() const { return code_size_; }
  template <typename T>
  const T* query() const {
    return reinterpret_cast<const T*>(query_.get());
  }
  template <typename T>
  const T* code(int i) const {
    return reinterpret_cast<const T*>(codes_.get() + i * code_size_);
  }
  const uint8_t* codes() const { return codes_.get(); }

 private:
  static void Fill(Kind kind, uint8_t* bytes, uint64_t size, std::mt19937& rng) {
    std::normal_distribution<float> normal(0.0f, 1.0f);
    for (uint64_t i = 0; i < size;) {
      if (kind == Kind::kFloat) {
        const float v = normal(rng);
        std::memcpy(bytes + i, &v, 4);
        i += 4;
      } else if (kind == Kind::kHalf) {
        const Half v = FloatToHalf(normal(rng));
        std::memcpy(bytes + i, &v, 2);
        i += 2;
      } else {
        bytes[i++] = static_cast<uint8_t>(rng());
      }
    }
  }

  uint64_t code_size_;
  FreePtr<uint8_t> query_;  // owned query code
  FreePtr<uint8_t> codes_;  // owned codes, kCodes of them
};

// Runs `pass` (kCodes distances per call) and sets the counters.
void Measure(benchmark::State& state, uint64_t code_size, const std::function<void()>& pass) {
  for (auto _ : state) pass();
  const double distances = static_cast<double>(state.iterations()) * kCodes;
  state.counters["ns/dist"] =
      benchmark::Counter(distances * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["B/ns"] =
      benchmark::Counter(distances * code_size * 1e-9, benchmark::Counter::kIsRate);
}

std::string Name(const char* kernel, const char* path, int dim) {
  return std::string(kernel) + "/" + path + "/d:" + std::to_string(dim);
}

// One kernel family: its element kind, its padding block and its three forms.
template <typename Out, typename Query, typename Code>
struct Forms {
  using Single = Out (*)(const Query*, const Code*, int);
  using FourCodes = void (*)(const Query*, const Code*, const Code*, const Code*, const Code*, Out*,
                             int);
  using Sixteen = void (*)(const Query*, const uint8_t*, uint64_t, const int32_t*, Out*, int);
};

template <typename Out, typename Query, typename Code>
void RegisterSingle(const char* kernel, const char* path, int dim, int d, const CodeSet* set,
                    typename Forms<Out, Query, Code>::Single single) {
  benchmark::RegisterBenchmark(Name(kernel, path, dim).c_str(), [=](benchmark::State& state) {
    Measure(state, set->code_size(), [&] {
      for (int i = 0; i < kCodes; ++i) {
        benchmark::DoNotOptimize(single(set->query<Query>(), set->code<Code>(i), d));
      }
    });
  });
}

// The many-vector form over the kCodes codes, one call per pass.
void RegisterMany(const char* kernel, const char* path, int dim, int d, const CodeSet* set,
                  void (*many)(const float*, const float* const*, int, float*, int)) {
  benchmark::RegisterBenchmark(Name(kernel, path, dim).c_str(), [=](benchmark::State& state) {
    const float* rows[kCodes];
    for (int i = 0; i < kCodes; ++i) rows[i] = set->code<float>(i);
    Measure(state, set->code_size(), [&] {
      float out[kCodes];
      many(set->query<float>(), rows, kCodes, out, d);
      benchmark::DoNotOptimize(out);
    });
  });
}

template <typename Out, typename Query, typename Code>
void RegisterFour(const char* kernel, const char* path, int dim, int d, const CodeSet* set,
                  typename Forms<Out, Query, Code>::FourCodes four) {
  benchmark::RegisterBenchmark(Name(kernel, path, dim).c_str(), [=](benchmark::State& state) {
    Measure(state, set->code_size(), [&] {
      Out out[4];
      for (int i = 0; i < kCodes; i += 4) {
        four(set->query<Query>(), set->code<Code>(i), set->code<Code>(i + 1),
             set->code<Code>(i + 2), set->code<Code>(i + 3), out, d);
        benchmark::DoNotOptimize(out);
      }
    });
  });
}

template <typename Out, typename Query, typename Code>
void RegisterSixteen(const char* kernel, const char* path, int dim, int d, const CodeSet* set,
                     typename Forms<Out, Query, Code>::Sixteen sixteen) {
  benchmark::RegisterBenchmark(Name(kernel, path, dim).c_str(), [=](benchmark::State& state) {
    const int32_t ids[kCodes] = {3, 9, 0, 14, 7, 1, 12, 5, 10, 2, 15, 8, 4, 13, 6, 11};
    Measure(state, set->code_size(), [&] {
      Out out[16];
      sixteen(set->query<Query>(), set->codes(), set->code_size(), ids, out, d);
      benchmark::DoNotOptimize(out);
    });
  });
}

void RegisterTable(const KernelTable& t, int dim, const std::vector<const CodeSet*>& sets) {
  const CodeSet& fp32 = *sets[0];
  const CodeSet& fp16 = *sets[1];
  const CodeSet& sq8 = *sets[2];
  const CodeSet& sq4 = *sets[3];
  const int d32 = RoundUp(dim, 16), d16 = RoundUp(dim, 32), d8 = RoundUp(dim, 64),
            d4 = RoundUp(dim, 128);
  const char* p = t.name;
  RegisterSingle<float, float, float>("FP32L2", p, dim, d32, &fp32, t.fp32_l2);
  RegisterSingle<float, float, float>("FP32IP", p, dim, d32, &fp32, t.fp32_ip);
  RegisterMany("FP32L2Many", p, dim, d32, &fp32, t.fp32_l2_many);
  RegisterMany("FP32IPMany", p, dim, d32, &fp32, t.fp32_ip_many);
  RegisterFour<float, float, float>("FP32L2x4", p, dim, d32, &fp32, t.fp32_l2_x4);
  RegisterFour<float, float, float>("FP32IPx4", p, dim, d32, &fp32, t.fp32_ip_x4);
  RegisterSixteen<float, float, float>("FP32L2x16", p, dim, d32, &fp32, t.fp32_l2_x16);
  RegisterSixteen<float, float, float>("FP32IPx16", p, dim, d32, &fp32, t.fp32_ip_x16);
  RegisterSingle<float, Half, Half>("FP16L2", p, dim, d16, &fp16, t.fp16_l2);
  RegisterSingle<float, Half, Half>("FP16IP", p, dim, d16, &fp16, t.fp16_ip);
  RegisterFour<float, Half, Half>("FP16L2x4", p, dim, d16, &fp16, t.fp16_l2_x4);
  RegisterFour<float, Half, Half>("FP16IPx4", p, dim, d16, &fp16, t.fp16_ip_x4);
  RegisterSixteen<float, Half, Half>("FP16L2x16", p, dim, d16, &fp16, t.fp16_l2_x16);
  RegisterSixteen<float, Half, Half>("FP16IPx16", p, dim, d16, &fp16, t.fp16_ip_x16);
  RegisterSingle<int32_t, uint8_t, uint8_t>("SQ8L2", p, dim, d8, &sq8, t.sq8_l2);
  RegisterFour<int32_t, uint8_t, uint8_t>("SQ8L2x4", p, dim, d8, &sq8, t.sq8_l2_x4);
  RegisterSixteen<int32_t, uint8_t, uint8_t>("SQ8L2x16", p, dim, d8, &sq8, t.sq8_l2_x16);
  RegisterSingle<int32_t, int8_t, int8_t>("SQ8IP", p, dim, d8, &sq8, t.sq8_ip);
  RegisterSixteen<int32_t, int8_t, int8_t>("SQ8IPx16", p, dim, d8, &sq8, t.sq8_ip_x16);
  RegisterSingle<int32_t, uint8_t, uint8_t>("SQ4L2", p, dim, d4, &sq4, t.sq4_l2);
  RegisterFour<int32_t, uint8_t, uint8_t>("SQ4L2x4", p, dim, d4, &sq4, t.sq4_l2_x4);
  RegisterSixteen<int32_t, uint8_t, uint8_t>("SQ4L2x16", p, dim, d4, &sq4, t.sq4_l2_x16);
  RegisterSingle<int32_t, uint8_t, uint8_t>("SQ4IP", p, dim, d4, &sq4, t.sq4_ip);
  RegisterFour<int32_t, uint8_t, uint8_t>("SQ4IPx4", p, dim, d4, &sq4, t.sq4_ip_x4);
  RegisterSixteen<int32_t, uint8_t, uint8_t>("SQ4IPx16", p, dim, d4, &sq4, t.sq4_ip_x16);
}

void RegisterPeer(const char* kernel, const char* path, int dim, const CodeSet* set,
                  bench::PeerDistance peer) {
  benchmark::RegisterBenchmark(Name(kernel, path, dim).c_str(), [=](benchmark::State& state) {
    Measure(state, set->code_size(), [&] {
      for (int i = 0; i < kCodes; ++i) {
        benchmark::DoNotOptimize(
            peer.distance(set->query<float>(), set->code<float>(i), dim, peer.state));
      }
    });
  });
}

}  // namespace
}  // namespace vexa

int main(int argc, char** argv) {
  using vexa::CodeSet;
  std::vector<std::unique_ptr<CodeSet>> sets;  // live for the whole run
  for (int dim : vexa::kDims) {
    std::vector<const CodeSet*> by_kind;
    for (auto [kind, bytes] :
         {std::pair{CodeSet::Kind::kFloat, 4 * vexa::RoundUp(dim, 16)},
          std::pair{CodeSet::Kind::kHalf, 2 * vexa::RoundUp(dim, 32)},
          std::pair{CodeSet::Kind::kByte, vexa::RoundUp(dim, 64)},
          std::pair{CodeSet::Kind::kByte, vexa::RoundUp(dim, 128) / 2}}) {
      sets.push_back(std::make_unique<CodeSet>(kind, bytes));
      by_kind.push_back(sets.back().get());
    }
    for (vexa::Isa isa : {vexa::Isa::kScalar, vexa::Isa::kAvx2, vexa::Isa::kAvx512, vexa::Isa::kNeon}) {
      if (const vexa::KernelTable* table = vexa::KernelTableFor(isa)) {
        vexa::RegisterTable(*table, dim, by_kind);
      }
    }
    vexa::RegisterPeer("FP32L2", "faiss", dim, by_kind[0], vexa::bench::FaissL2(dim));
    vexa::RegisterPeer("FP32IP", "faiss", dim, by_kind[0], vexa::bench::FaissIP(dim));
    vexa::RegisterPeer("FP32L2", "hnswlib", dim, by_kind[0], vexa::bench::HnswlibL2(dim));
    vexa::RegisterPeer("FP32IP", "hnswlib", dim, by_kind[0], vexa::bench::HnswlibIP(dim));
  }
  benchmark::AddCustomContext("hnswlib_path", vexa::bench::HnswlibPath());
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
