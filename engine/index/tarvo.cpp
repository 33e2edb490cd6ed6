#include "engine/index/tarvo.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <thread>
#include <type_traits>

#include "engine/index/node_binding.h"
#include "engine/index/numa_api.h"
#include "engine/index/print_line.h"
#include "engine/index/replica_walk.h"
#include "engine/index/tarvo_impl.h"

// Labels are handed to the searchers, which write 64-bit labels, as they are.
static_assert(std::is_same_v<long, int64_t>, "long is the 64-bit label type");

bool NUMA_ENABLED = true;
int num_numa_nodes = 4;

namespace {

// The index type of the six-argument constructor.
const char* const default_index_type = "SSG";

// The machine's hardware threads; at least 1, so that a search can always run.
int HardwareThreads() { return std::max(1u, std::thread::hardware_concurrency()); }

// Turns NUMA mode off when the machine has no NUMA support and lowers the replica count to the
// machine's nodes; then makes impl, or in NUMA mode one replica per node, each with make() while
// the thread runs on the replica's node.
template <typename Make>
void MakeReplicas(std::unique_ptr<TarvoImpl>& impl, vexa::Replicas& impls, Make make) {
  const vexa::NumaApi& numa = vexa::Numa();
  if (numa.available() == -1) NUMA_ENABLED = false;
  const int machineNodes = numa.maxNode() + 1;
  if (machineNodes < num_numa_nodes) num_numa_nodes = machineNodes;
  if (!NUMA_ENABLED) {
    impl = make();
    return;
  }
  vexa::PrintLine("[+]Numa enabled, initial impl on " + std::to_string(num_numa_nodes) + " nodes.");
  {
    vexa::NodeBinding binding;
    for (int i = 0; i < num_numa_nodes; ++i) {
      vexa::PrintLine("[+]initial on Node " + std::to_string(i));
      binding.To(i);
      impls.push_back(make());
    }
  }
  vexa::PrintLine("[+]initial done.");
}

}  // namespace

Tarvo::Tarvo() : maxThreadNum(HardwareThreads()), tarvoDataNum(0) {
  MakeReplicas(impl, impls, [] { return std::make_unique<TarvoImpl>(); });
}

Tarvo::Tarvo(int K_features, int R, int L, int A, int graph_opt_iter, const std::string& metric,
             const std::string& init_builder_type, const std::string& index_type)
    : maxThreadNum(HardwareThreads()), tarvoDataNum(0) {
  MakeReplicas(impl, impls, [&] {
    return std::make_unique<TarvoImpl>(K_features, R, L, A, graph_opt_iter, metric, init_builder_type, index_type);
  });
}

Tarvo::Tarvo(int K_features, int R, int L, int A, const char* metric, const std::string& init_builder_type)
    : maxThreadNum(HardwareThreads()), tarvoDataNum(0) {
  MakeReplicas(impl, impls, [&] {
    return std::make_unique<TarvoImpl>(K_features, R, L, A, 0, std::string(metric), init_builder_type,
                                       default_index_type);
  });
}

Tarvo::~Tarvo() {
  if (!NUMA_ENABLED || impls.empty()) return;
  vexa::NodeBinding binding;
  for (size_t i = 0; i < impls.size(); ++i) {
    binding.To(static_cast<int>(i));
    impls[i].reset();
  }
}

const TarvoImpl* Tarvo::First() const {
  if (!NUMA_ENABLED) return impl.get();
  return impls.empty() ? nullptr : impls[0].get();
}

void Tarvo::TakeDataNum() { tarvoDataNum = First()->GetNTotal(); }

int Tarvo::GetNTotal() const { return First() != nullptr ? First()->GetNTotal() : 0; }

int Tarvo::GetDim() const { return First() != nullptr ? First()->GetDim() : 0; }

int Tarvo::Add(int n, const float* x, int consecutive, int reorder, int level) {
  if (n < 1) {
    vexa::PrintLine("[ERROR] Wrong number of data when tarvo add.");
    return -1;
  }
  if (x == nullptr) {
    vexa::PrintLine("[ERROR] Data x is nullptr when tarvo add.");
    return -1;
  }
  if (consecutive < 1 || consecutive > 31) {
    vexa::PrintLine("[ERROR] Wrong consecutive when tarvo add.");
    return -1;
  }
  if (level < 0 || level > 3) {
    vexa::PrintLine("[ERROR] Wrong level when tarvo add.");
    return -1;
  }
  if (reorder < 0 || reorder > 1) {
    vexa::PrintLine("[ERROR] Wrong reorder when tarvo add.");
    return -1;
  }
  if (First() == nullptr) return vexa::ImplMissing();
  const auto add = [&](TarvoImpl& replica, int) { return replica.Add(n, x, consecutive, reorder, level); };
  if ((NUMA_ENABLED ? vexa::WalkReplicas(impls, add) : add(*impl, 0)) != 0) return -1;
  TakeDataNum();
  return 0;
}

// Reorder 0 passes the reorder check, so the four-argument form is the five-argument one.
int Tarvo::Add(int n, const float* x, int consecutive, int level) { return Add(n, x, consecutive, 0, level); }

int Tarvo::BuildSearcher() {
  if (First() == nullptr) return vexa::ImplMissing();
  const auto build = [](TarvoImpl& replica, int) { return replica.BuildSearcher(); };
  return NUMA_ENABLED ? vexa::WalkReplicas(impls, build) : build(*impl, 0);
}
