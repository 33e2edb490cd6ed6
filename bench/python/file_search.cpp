// Times batch searches of an index file from C++, the baseline of the Python binding benchmark
// (binding_overhead.py): the same file and the same queries that the Python side searches.
//
//   tarvo_file_search tarvo <index> <queries.f32> <nq> <dim> <k> <ef> <threads> <repeat>
//     through libtarvo's Tarvo::Search, one call for all queries;
//   tarvo_file_search hnswlib <index> <queries.f32> <nq> <dim> <k> <ef> <threads> <repeat>
//     through hnswlib's searchKnn in an OpenMP loop with a dynamic schedule, as hnswlib's own
//     Python knn_query hands out queries; compiled with the distribution's default flags, as
//     Debian's hnswlib module is.
// Prints the best of <repeat> passes as "seconds <s>".

#include <hnswlib/hnswlib.h>
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "engine/index/tarvo.h"
#include "tests/support/raw_values.h"

namespace {

double BestSeconds(int repeat, const std::function<void()>& pass) {
  double best = 1e30;
  for (int r = 0; r < repeat; ++r) {
    const auto start = std::chrono::steady_clock::now();
    pass();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 10) {
    std::fprintf(stderr,
                 "usage: %s tarvo|hnswlib <index> <queries.f32> <nq> <dim> <k> <ef> <threads> "
                 "<repeat>\n",
                 argv[0]);
    return 2;
  }
  const std::string system = argv[1];
  const int nq = std::atoi(argv[4]), dim = std::atoi(argv[5]), k = std::atoi(argv[6]);
  const int ef = std::atoi(argv[7]), threads = std::atoi(argv[8]), repeat = std::atoi(argv[9]);
  const std::vector<float> queries =
      tarvo_test::ReadRawValues<float>(argv[3], static_cast<size_t>(nq) * dim);
  std::vector<long> labels(static_cast<size_t>(nq) * k);
  std::vector<float> distances(labels.size());
  double seconds = 0;
  if (system == "tarvo") {
    Tarvo index;
    if (index.Load(argv[2]) != 0 || index.SetEf(ef) != 0) return 1;
    seconds = BestSeconds(repeat, [&] {
      index.Search(nq, queries.data(), k, distances.data(), labels.data(), threads);
    });
  } else if (system == "hnswlib") {
    hnswlib::L2Space space(dim);
    hnswlib::HierarchicalNSW<float> index(&space, argv[2]);
    index.setEf(ef);
    seconds = BestSeconds(repeat, [&] {
#pragma omp parallel for num_threads(threads) schedule(dynamic, 1)
      for (int q = 0; q < nq; ++q) {
        auto result = index.searchKnn(queries.data() + static_cast<size_t>(q) * dim, k);
        for (int j = k - 1; j >= 0 && !result.empty(); --j, result.pop()) {
          labels[static_cast<size_t>(q) * k + j] = static_cast<long>(result.top().second);
        }
      }
    });
  } else {
    std::fprintf(stderr, "unknown system %s\n", argv[1]);
    return 2;
  }
  std::printf("seconds %.6f\n", seconds);
  return 0;
}
