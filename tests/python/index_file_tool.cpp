// The C++ side of the Python tests that pass index files between the two deliverables, through
// libtarvo. Vectors and results travel as raw native-endian files.
//
//   index_file_tool build <vectors.f32> <n> <dim> <R> <L> <A> <index_type> <level> <index>
//     builds an index over n rows of dim floats and saves it at <index>;
//   index_file_tool search <index> <queries.f32> <nq> <k> <labels.i64> <distances.f32> <copy>
//     loads <index>, searches the nq queries on one thread and saves the loaded index at <copy>.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/index/tarvo.h"
#include "tests/support/raw_values.h"

namespace {

int Fail(const char* step) {
  std::fprintf(stderr, "%s failed\n", step);
  return 1;
}

int Build(char** argv) {
  const int n = std::atoi(argv[3]);
  const int dim = std::atoi(argv[4]);
  const std::vector<float> vectors =
      tarvo_test::ReadRawValues<float>(argv[2], static_cast<size_t>(n) * dim);
  Tarvo index(dim, std::atoi(argv[5]), std::atoi(argv[6]), std::atoi(argv[7]), 0, "L2",
              "RNNDescent", argv[8]);
  if (index.Add(n, vectors.data(), 20, 0, std::atoi(argv[9])) != 0) return Fail("Add");
  if (index.BuildSearcher() != 0) return Fail("BuildSearcher");
  if (index.Save(argv[10]) != 0) return Fail("Save");
  return 0;
}

int Search(char** argv) {
  Tarvo index;
  if (index.Load(argv[2]) != 0) return Fail("Load");
  const int nq = std::atoi(argv[4]);
  const int k = std::atoi(argv[5]);
  const size_t results = static_cast<size_t>(nq) * k;
  const std::vector<float> queries =
      tarvo_test::ReadRawValues<float>(argv[3], static_cast<size_t>(nq) * index.GetDim());
  std::vector<long> labels(results, -1);
  std::vector<float> distances(results, 0.0f);
  if (index.Search(nq, queries.data(), k, distances.data(), labels.data(), 1) != 0) {
    return Fail("Search");
  }
  tarvo_test::WriteRawValues(argv[6], labels);  // 64-bit labels
  tarvo_test::WriteRawValues(argv[7], distances);
  if (index.Save(argv[8]) != 0) return Fail("Save");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "build" && argc == 11) return Build(argv);
  if (mode == "search" && argc == 9) return Search(argv);
  std::fprintf(stderr, "usage: %s build|search ... (see the comment at the top of its source)\n",
               argv[0]);
  return 2;
}
