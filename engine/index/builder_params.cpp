#include "engine/index/builder_params.h"

#include <cstdint>
#include <string>

#include "engine/index/print_line.h"

namespace {

// Whether value lies in lo .. hi, both included.
bool InRange(uint64_t value, uint64_t lo, uint64_t hi) { return value >= lo && value <= hi; }
// The same for a signed value: negative values are outside every range.
bool InRange(int value, uint64_t lo, uint64_t hi) {
  return value >= 0 && InRange(static_cast<uint64_t>(value), lo, hi);
}

// Prints text and gives false.
bool Refuse(const char* text) {
  vexa::PrintLine(text);
  return false;
}

bool IsKnownMetric(const std::string& metric) { return metric == "L2" || metric == "IP"; }

}  // namespace

bool CheckSSGParams(const vexa::SSG* builder) {
  if (builder == nullptr) return false;
  const vexa::SSG& b = *builder;
  if (!InRange(b.dim, 1, 2999)) return Refuse("[ERROR] Wrong K_features when creating Tarvo.");
  if (!InRange(b.R, 11, 499)) return Refuse("[ERROR] Wrong R when creating Tarvo.");
  if (!InRange(b.L, 11, 1999)) return Refuse("[ERROR] Wrong L when creating Tarvo.");
  if (!(b.A >= 1.0f && b.A <= 360.0f)) return Refuse("[ERROR] Wrong A when creating Tarvo.");
  if (!InRange(b.graph_opt_iter, 0, 30)) return Refuse("[ERROR] Wrong graph_opt_iter when creating Tarvo.");
  if (!IsKnownMetric(b.metric)) return Refuse("[ERROR] Wrong metric when creating Tarvo.");
  if (b.init_builder_type != "RNNDescent" && b.init_builder_type != "NNDescent") {
    return Refuse("[ERROR] Wrong init_builder_type when creating Tarvo.");
  }
  if (b.index_type != "SSG" && b.index_type != "NSG" && b.index_type != "TSDG") {
    return Refuse("[ERROR] Wrong index_type when creating Tarvo.");
  }
  return true;
}

bool CheckHNSWParams(const vexa::HNSW* hnsw) {
  if (hnsw == nullptr) return false;
  if (!InRange(hnsw->dim, 1, 2999)) return Refuse("[ERROR] Wrong K_features when creating Tarvo.");
  if (!InRange(uint64_t{hnsw->GetM()}, 5, 500)) return Refuse("[ERROR] Wrong R when creating Tarvo.");
  if (!InRange(uint64_t{hnsw->GetEfConstruction()}, 11, 1999)) {
    return Refuse("[ERROR] Wrong ef_construction when creating Tarvo.");
  }
  if (!IsKnownMetric(hnsw->metric)) return Refuse("[ERROR] Wrong metric when creating Tarvo.");
  return true;
}
