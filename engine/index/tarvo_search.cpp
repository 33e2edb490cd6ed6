// Search and the search parameters of the facade.
#include <sched.h>

#include <cstddef>
#include <cstdint>

#include "engine/index/numa_api.h"
#include "engine/index/print_line.h"
#include "engine/index/replica_walk.h"
#include "engine/index/search_team.h"
#include "engine/index/tarvo.h"
#include "engine/index/tarvo_impl.h"

namespace {

// The replica that serves a query that runs on node: node modulo num_numa_nodes, or replica 0
// when that names none of the index's replicas (libnuma knows no node for the CPU, or the global
// has been raised since the index was made).
size_t ReplicaOfNode(int node, size_t replicas) {
  const int nodes = num_numa_nodes;
  if (nodes < 1) return 0;
  const int replica = node % nodes;
  return replica >= 0 && static_cast<size_t>(replica) < replicas ? static_cast<size_t>(replica) : 0;
}

// Runs set on every replica, each while the thread runs on its node; a replica without a
// searcher prints its refusal and the others are still set.
template <typename Set>
int SetOnEveryReplica(const vexa::Replicas& replicas, Set set) {
  return vexa::WalkReplicas(replicas, [&](TarvoImpl& replica, int) {
    set(replica);
    return 0;
  });
}

}  // namespace

int Tarvo::Search(int n, const float* x, int k, float* distances, long* labels, int num_thread) {
  if (n < 1) {
    vexa::PrintLine("[ERROR] Wrong number of data when tarvo search.");
    return -1;
  }
  if (x == nullptr) {
    vexa::PrintLine("[ERROR] Data x is nullptr when tarvo search.");
    return -1;
  }
  if (k < 1) {
    vexa::PrintLine("[ERROR] Wrong topk when tarvo search.");
    return -1;
  }
  if (labels == nullptr || distances == nullptr) {
    vexa::PrintLine("[ERROR] Data labels is nullptr when tarvo search.");
    return -1;
  }
  if (num_thread < 1 || num_thread > maxThreadNum) {
    vexa::PrintLine("[ERROR] Wrong number of num_thread when tarvo search.");
    return -1;
  }
  if (k > tarvoDataNum) {
    vexa::PrintLine("[ERROR] The value of k is greater than that of data_num when tarvo search.");
    return -1;
  }
  if (First() == nullptr) return vexa::ImplMissing();
  if (NUMA_ENABLED) {
    // Each query is served by the replica of the node it runs on, asked again for every row.
    return vexa::SearchTeam(n, num_thread, true, [&](int64_t i) {
      const int node = vexa::Numa().nodeOfCpu(sched_getcpu());
      impls[ReplicaOfNode(node, impls.size())]->SearchOne(i, x, k, distances, labels);
    });
  }
  if (num_thread == 1) return impl->Search(n, x, k, distances, labels);
  return impl->SearchParallel(n, x, k, distances, labels, num_thread);
}

int Tarvo::SetEf(int ef) {
  if (ef < 1 || ef > tarvoDataNum) {
    vexa::PrintLine("[ERROR] Wrong ef when setting ef.");
    return -1;
  }
  if (First() == nullptr) return vexa::ImplMissing();
  if (!NUMA_ENABLED) return impl->SetEf(ef);
  return SetOnEveryReplica(impls, [ef](TarvoImpl& replica) { replica.SetEf(ef); });
}

int Tarvo::SetEarlyStoppingParams(int adding_pref, int patience) {
  if (adding_pref < 1) {
    vexa::PrintLine("[ERROR] Wrong adding_pref when setting stopping params.");
    return -1;
  }
  if (patience < 1) {
    vexa::PrintLine("[ERROR] Wrong patience when setting stopping params.");
    return -1;
  }
  if (First() == nullptr) return vexa::ImplMissing();
  if (!NUMA_ENABLED) return impl->SetEarlyStoppingParams(adding_pref, patience);
  return SetOnEveryReplica(impls, [=](TarvoImpl& replica) { replica.SetEarlyStoppingParams(adding_pref, patience); });
}
