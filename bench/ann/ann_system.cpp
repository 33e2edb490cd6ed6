#include "bench/ann/ann_system.h"

namespace tarvo_bench {

void AnnSystem::SearchBatch(const tarvo_test::Dataset& queries, int k, int threads, int64_t* labels) const {
#pragma omp parallel for schedule(static) num_threads(threads)
  for (int q = 0; q < queries.n; ++q) Search(queries.row(q), k, labels + static_cast<size_t>(q) * k);
}

}  // namespace tarvo_bench
