// Indexes Debian's Fashion-MNIST (60,000 images of 784 pixels) with libtarvo, searches the
// 10,000 test images, prints recall@10 and queries per second at a few search breadths, then
// saves the index, loads it into a second object and checks that it answers identically.
//
//   fashion_mnist [data folder] [index file] [base vectors] [queries]
//
// The data folder defaults to /usr/share/datasets/fashion-mnist (package dataset-fashion-mnist).
#include <tarvo.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr int kDim = 784;  // a multiple of 16
constexpr int kTopK = 10;

// Reads up to max_rows images of an idx3 file as floats of 0 to 255, row after row.
std::vector<float> ReadImages(const std::string& path, int max_rows, int* rows) {
  gzFile file = gzopen(path.c_str(), "rb");
  if (file == nullptr) throw std::runtime_error("cannot open " + path);
  unsigned char header[16];
  if (gzread(file, header, sizeof(header)) != static_cast<int>(sizeof(header))) {
    gzclose(file);
    throw std::runtime_error("not an image file: " + path);
  }
  auto big_endian = [&](int at) {
    return static_cast<int>((uint32_t{header[at]} << 24) | (uint32_t{header[at + 1]} << 16) |
                            (uint32_t{header[at + 2]} << 8) | uint32_t{header[at + 3]});
  };
  *rows = std::min(big_endian(4), max_rows);
  if (big_endian(0) != 0x803 || big_endian(8) * big_endian(12) != kDim) {
    gzclose(file);
    throw std::runtime_error("not 28 x 28 images: " + path);
  }
  std::vector<unsigned char> pixels(static_cast<size_t>(*rows) * kDim);
  const int got = gzread(file, pixels.data(), static_cast<unsigned>(pixels.size()));
  gzclose(file);
  if (got != static_cast<int>(pixels.size())) throw std::runtime_error("short file: " + path);
  return std::vector<float>(pixels.begin(), pixels.end());
}

// The exact k nearest base rows of every query by squared L2 distance, computed on every core.
std::vector<long> ExactNeighbours(const std::vector<float>& base, int n, const std::vector<float>& queries, int nq) {
  std::vector<long> truth(static_cast<size_t>(nq) * kTopK);
  auto work = [&](int first, int last) {
    std::vector<std::pair<float, long>> scored(n);
    for (int q = first; q < last; ++q) {
      const float* query = &queries[static_cast<size_t>(q) * kDim];
      for (int i = 0; i < n; ++i) {
        const float* row = &base[static_cast<size_t>(i) * kDim];
        float lanes[16] = {};  // independent partial sums, so the compiler can vectorise them
        for (int c = 0; c < kDim; c += 16) {
          for (int l = 0; l < 16; ++l) lanes[l] += (query[c + l] - row[c + l]) * (query[c + l] - row[c + l]);
        }
        float sum = 0;
        for (float lane : lanes) sum += lane;
        scored[i] = {sum, i};
      }
      std::partial_sort(scored.begin(), scored.begin() + kTopK, scored.end());
      for (int j = 0; j < kTopK; ++j) truth[static_cast<size_t>(q) * kTopK + j] = scored[j].second;
    }
  };
  const int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  std::vector<std::thread> team;
  for (int t = 0; t < threads; ++t) team.emplace_back(work, nq * t / threads, nq * (t + 1) / threads);
  for (std::thread& thread : team) thread.join();
  return truth;
}

// Share of the exact top k found among the first k results of each query.
double Recall(const std::vector<long>& found, const std::vector<long>& truth, int nq) {
  long hits = 0;
  for (int q = 0; q < nq; ++q) {
    const long* exact = &truth[static_cast<size_t>(q) * kTopK];
    for (int j = 0; j < kTopK; ++j) {
      hits += std::count(exact, exact + kTopK, found[static_cast<size_t>(q) * kTopK + j]);
    }
  }
  return static_cast<double>(hits) / (static_cast<double>(nq) * kTopK);
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Runs index.Search over all queries with the given thread count; exits on failure.
double TimedSearch(Tarvo& index, const std::vector<float>& queries, int nq, int threads, std::vector<float>& distances,
                   std::vector<long>& labels) {
  const auto start = std::chrono::steady_clock::now();
  if (index.Search(nq, queries.data(), kTopK, distances.data(), labels.data(), threads) != 0) std::exit(1);
  return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : "/usr/share/datasets/fashion-mnist";
  const std::string index_file = argc > 2 ? argv[2] : "fashion_mnist.tarvo";
  int n = 0;
  int nq = 0;
  const std::vector<float> base = ReadImages(folder + "/train-images-idx3-ubyte.gz", argc > 3 ? std::atoi(argv[3]) : 60000, &n);
  const std::vector<float> queries = ReadImages(folder + "/t10k-images-idx3-ubyte.gz", argc > 4 ? std::atoi(argv[4]) : 10000, &nq);
  std::printf("%d base vectors, %d queries of %d floats\n", n, nq, kDim);
  const std::vector<long> truth = ExactNeighbours(base, n, queries, nq);

  // HNSW with M = 16 (R = 32) and ef_construction 200, reordered for locality, 8-bit codes
  // re-ranked with exact distances (level 1).
  Tarvo index(kDim, 32, 200, 60, 0, "L2", "RNNDescent", "HNSW");
  std::printf("building the graph over %d vectors...\n", n);
  auto start = std::chrono::steady_clock::now();
  if (index.Add(n, base.data(), 16, /*reorder=*/1, /*level=*/1) != 0 || index.BuildSearcher() != 0) return 1;
  std::printf("built in %.1f s\n", Seconds(start));

  const int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  std::vector<float> distances(static_cast<size_t>(nq) * kTopK);
  std::vector<long> labels(static_cast<size_t>(nq) * kTopK);
  std::printf("%6s %10s %14s %14s\n", "ef", "recall@10", "QPS 1 thread", "QPS all cores");
  for (int ef : {16, 32, 64, 128}) {
    if (index.SetEf(ef) != 0) return 1;
    const double one = TimedSearch(index, queries, nq, 1, distances, labels);
    const double all = TimedSearch(index, queries, nq, threads, distances, labels);
    std::printf("%6d %10.4f %14.0f %14.0f\n", ef, Recall(labels, truth, nq), nq / one, nq / all);
  }

  // The file holds the whole searchable index; a new object answers exactly as the old one.
  if (index.Save(index_file.c_str()) != 0) return 1;
  Tarvo loaded;
  if (loaded.Load(index_file.c_str()) != 0) return 1;
  std::vector<float> loaded_distances(distances.size());
  std::vector<long> loaded_labels(labels.size());
  if (index.SetEf(64) != 0 || loaded.SetEf(64) != 0) return 1;
  TimedSearch(index, queries, nq, threads, distances, labels);
  TimedSearch(loaded, queries, nq, threads, loaded_distances, loaded_labels);
  const bool identical = distances == loaded_distances && labels == loaded_labels;
  std::printf("saved to %s and loaded: %s results\n", index_file.c_str(), identical ? "identical" : "DIFFERENT");
  return identical ? 0 : 1;
}
