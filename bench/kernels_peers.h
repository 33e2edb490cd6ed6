#ifndef TARVO_BENCH_KERNELS_PEERS_H_
#define TARVO_BENCH_KERNELS_PEERS_H_

#include <cstddef>

// The float distances of two peer libraries, measured beside the engine's kernels: faiss's
// fvec_L2sqr and fvec_inner_product (as the Debian library was built), and hnswlib's L2 and
// inner-product spaces (header-only, compiled for this processor).
namespace vexa {
namespace bench {

// A peer's distance for one dimension.
struct PeerDistance {
  float (*distance)(const float* a, const float* b, size_t d, const void* state);
  const void* state;  // the peer's own object for this dimension, kept for the whole run
};

PeerDistance FaissL2(size_t d);
PeerDistance FaissIP(size_t d);
PeerDistance HnswlibL2(size_t d);
PeerDistance HnswlibIP(size_t d);

// The widest instruction set that hnswlib's spaces were compiled for.
const char* HnswlibPath();

}  // namespace bench
}  // namespace vexa

#endif  // TARVO_BENCH_KERNELS_PEERS_H_
