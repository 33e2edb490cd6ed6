#include "engine/index/numa_api.h"

#include <numa.h>

namespace vexa {

NumaApi LibnumaApi() { return NumaApi{numa_available, numa_max_node, numa_node_of_cpu, numa_run_on_node}; }

NumaApi& Numa() {
  static NumaApi api = LibnumaApi();
  return api;
}

}  // namespace vexa
