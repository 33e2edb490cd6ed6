#include "bench/ann/tarvo_systems.h"

namespace tarvo_bench {

std::vector<std::unique_ptr<AnnSystem>> MakeTarvoSystems(bool /*quick*/) { return {}; }

}  // namespace tarvo_bench
