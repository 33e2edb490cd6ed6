#ifndef TARVO_BENCH_ANN_TARVO_SYSTEMS_H_
#define TARVO_BENCH_ANN_TARVO_SYSTEMS_H_

#include <memory>
#include <string>
#include <vector>

#include "bench/ann/ann_system.h"

namespace tarvo_bench {

// Which engine configurations a run measures: graph types, reordered or not, code kinds, with and
// without early stopping, and the metrics the graphs are built and searched with. The systems'
// names carry the metric unless it is squared L2 alone.
struct TarvoSelection {
  std::vector<std::string> types;  // "HNSW", "SSG", "NSG", "TSDG"
  std::vector<bool> reorders;
  std::vector<std::string> codes;  // "FP32", "SQ8U", "SQ4U", "FP16"
  std::vector<bool> early_stops;
  std::vector<std::string> metrics = {"L2"};  // "L2", "IP"
};

// The engine's configurations, each a `Tarvo` object driven as a user drives it. The graph of each
// (type, reorder, metric) triple is built once by Add and written to a graph file in scratch_dir; every code
// kind then loads it with LoadGraph at its level, which builds that searcher. The graph files are
// removed when the last system is destroyed.
std::vector<std::unique_ptr<AnnSystem>> MakeTarvoSystems(const TarvoSelection& selection,
                                                         const std::string& scratch_dir);

}  // namespace tarvo_bench

#endif  // TARVO_BENCH_ANN_TARVO_SYSTEMS_H_
