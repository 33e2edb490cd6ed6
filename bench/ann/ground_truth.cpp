#include "bench/ann/ground_truth.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "tests/support/cached_exact_knn.h"
#include "tests/support/exact_knn.h"

namespace tarvo_bench {

std::vector<int> CachedGroundTruth(const tarvo_test::Dataset& base, const tarvo_test::Dataset& queries, int depth,
                                   const std::string& cache_dir, const std::string& name, bool inner_product) {
  char checksum[24];
  std::snprintf(checksum, sizeof(checksum), "%016llx",
                static_cast<unsigned long long>(tarvo_test::DatasetChecksum(queries, tarvo_test::DatasetChecksum(base))));
  const std::string path = cache_dir + "/" + name + (inner_product ? "-ip-" : "-l2-") + std::to_string(base.n) + "x" +
                           std::to_string(queries.n) + "-top" + std::to_string(depth) + "-" + checksum + ".bin";
  std::vector<int> truth(static_cast<size_t>(queries.n) * depth);
  std::ifstream in(path, std::ios::binary);
  if (in.read(reinterpret_cast<char*>(truth.data()), static_cast<std::streamsize>(truth.size() * sizeof(int)))) {
    return truth;
  }
  std::fprintf(stderr, "computing exact top-%d for %d queries over %d vectors...\n", depth, queries.n, base.n);
  truth = tarvo_test::ExactKnn(base, queries, depth, inner_product);
  if (std::system(("mkdir -p '" + cache_dir + "'").c_str()) == 0) {
    // Written under another name and renamed, so that an interrupted run leaves no short file.
    const std::string partial = path + ".partial";
    std::ofstream out(partial, std::ios::binary);
    out.write(reinterpret_cast<const char*>(truth.data()), static_cast<std::streamsize>(truth.size() * sizeof(int)));
    out.close();
    if (out) std::rename(partial.c_str(), path.c_str());
  }
  return truth;
}

}  // namespace tarvo_bench
