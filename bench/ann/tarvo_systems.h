#ifndef TARVO_BENCH_ANN_TARVO_SYSTEMS_H_
#define TARVO_BENCH_ANN_TARVO_SYSTEMS_H_

#include <memory>
#include <vector>

#include "bench/ann/ann_system.h"

namespace tarvo_bench {

// The engine's configurations: every graph type, reordered and not, each searched with every code
// kind, with and without early stopping. The quick run keeps a smaller set.
std::vector<std::unique_ptr<AnnSystem>> MakeTarvoSystems(bool quick);

}  // namespace tarvo_bench

#endif  // TARVO_BENCH_ANN_TARVO_SYSTEMS_H_
