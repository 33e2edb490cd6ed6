// Compiled for this processor (-march=native) so that hnswlib takes its widest path.
#include "bench/kernels_peers.h"

#include <faiss/utils/distances.h>
#include <hnswlib/hnswlib.h>

namespace vexa {
namespace bench {
namespace {

float CallFaissL2(const float* a, const float* b, size_t d, const void*) {
  return faiss::fvec_L2sqr(a, b, d);
}
float CallFaissIP(const float* a, const float* b, size_t d, const void*) {
  return faiss::fvec_inner_product(a, b, d);
}

template <typename Space>
float CallHnswlib(const float* a, const float* b, size_t, const void* state) {
  auto* space = static_cast<Space*>(const_cast<void*>(state));
  return space->get_dist_func()(a, b, space->get_dist_func_param());
}

}  // namespace

PeerDistance FaissL2(size_t) { return {CallFaissL2, nullptr}; }
PeerDistance FaissIP(size_t) { return {CallFaissIP, nullptr}; }
// The spaces live until the process ends.
PeerDistance HnswlibL2(size_t d) {
  return {CallHnswlib<hnswlib::L2Space>, new hnswlib::L2Space(d)};
}
PeerDistance HnswlibIP(size_t d) {
  return {CallHnswlib<hnswlib::InnerProductSpace>, new hnswlib::InnerProductSpace(d)};
}

const char* HnswlibPath() {
#if defined(USE_AVX512)
  return "AVX-512";
#elif defined(USE_AVX)
  return "AVX";
#elif defined(USE_SSE)
  return "SSE";
#else
  return "scalar";
#endif
}

}  // namespace bench
}  // namespace vexa
