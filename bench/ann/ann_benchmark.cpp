// Recall and speed of the engine beside hnswlib and faiss on Fashion-MNIST (squared L2): build
// seconds with 8 threads, index bytes, a sweep of the search breadth with recall@10 and
// single-thread queries per second (the best of --repeat passes over the queries, 3 by default, so
// that a pass slowed by other work on the machine does not count), and 8-thread throughput at the
// first point reaching 0.95.
// Writes ann.md and ann.json into the output folder; plot_recall_qps.py draws ann.png from them.
// Progress goes to standard error; standard output carries the engine's own lines.
#include <malloc.h>
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/ann/ann_system.h"
#include "bench/ann/tarvo_systems.h"
#include "tests/support/exact_knn.h"
#include "tests/support/fashion_mnist.h"

namespace tarvo_bench {
namespace {

constexpr int kTruthDepth = 100;
constexpr int kRecallDepth = 10;
constexpr int kBuildThreads = 8;
constexpr double kRecallLevels[] = {0.90, 0.95, 0.99, 0.995};

struct Options {
  bool quick = false;
  std::string out_dir = "build/bench-results";
  std::string cache_dir = "build/bench-cache";
  std::string only;  // keep the systems whose name contains this text
  int repeat = 3;    // passes over the queries per measurement; the fastest counts
};

struct Point {
  int breadth = 0;
  double recall = 0.0;
  double qps = 0.0;
};

struct Result {
  std::string name;
  double build_seconds = 0.0;
  size_t index_bytes = 0;
  std::vector<Point> sweep;
  int threads8_breadth = 0;  // 0 when no point reached 0.95
  double threads8_qps = 0.0;
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

size_t AllocatedBytes() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--quick") {
      options.quick = true;
    } else if (arg == "--out") {
      options.out_dir = value();
    } else if (arg == "--cache") {
      options.cache_dir = value();
    } else if (arg == "--only") {
      options.only = value();
    } else if (arg == "--repeat") {
      options.repeat = std::stoi(value());
      if (options.repeat < 1) throw std::invalid_argument("--repeat needs a count of at least 1");
    } else {
      throw std::invalid_argument("unknown option " + arg +
                                  " (options: --quick, --out DIR, --cache DIR, --only TEXT, --repeat N)");
    }
  }
  return options;
}

// Exact top-100 of every query, computed once and kept in the cache folder.
std::vector<int> GroundTruth(const tarvo_test::Dataset& base, const tarvo_test::Dataset& queries,
                             const std::string& cache_dir) {
  const std::string path = cache_dir + "/fashion-mnist-l2-" + std::to_string(base.n) + "x" +
                           std::to_string(queries.n) + "-top" + std::to_string(kTruthDepth) + ".bin";
  std::vector<int> truth(static_cast<size_t>(queries.n) * kTruthDepth);
  std::ifstream in(path, std::ios::binary);
  if (in.read(reinterpret_cast<char*>(truth.data()), static_cast<std::streamsize>(truth.size() * sizeof(int)))) {
    return truth;
  }
  std::fprintf(stderr, "computing exact top-%d for %d queries over %d vectors...\n", kTruthDepth, queries.n,
               base.n);
  omp_set_num_threads(kBuildThreads);
  truth = tarvo_test::ExactKnn(base, queries, kTruthDepth, /*inner_product=*/false);
  if (std::system(("mkdir -p '" + cache_dir + "'").c_str()) == 0) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(truth.data()), static_cast<std::streamsize>(truth.size() * sizeof(int)));
  }
  return truth;
}

// Searches every query with `threads` threads, `repeat` times; returns the queries per second of
// the fastest pass and fills labels.
double SearchAll(const AnnSystem& system, const tarvo_test::Dataset& queries, int threads, int repeat,
                 std::vector<int64_t>* labels) {
  omp_set_num_threads(threads);
  double best = 0.0;
  for (int pass = 0; pass < repeat; ++pass) {
    const auto start = std::chrono::steady_clock::now();
    system.SearchBatch(queries, kRecallDepth, labels->data());
    best = std::max(best, queries.n / Seconds(start));
  }
  return best;
}

}  // namespace

void AnnSystem::SearchBatch(const tarvo_test::Dataset& queries, int k, int64_t* labels) const {
#pragma omp parallel for schedule(static)
  for (int q = 0; q < queries.n; ++q) Search(queries.row(q), k, labels + static_cast<size_t>(q) * k);
}

namespace {

// Whether recall rose by less than kPlateau over the last two breadth steps: a wider search would
// only cost time (a quantized index without re-ranking levels off below 1).
bool Plateaued(const std::vector<Point>& sweep) {
  constexpr double kPlateau = 0.0005;
  const size_t n = sweep.size();
  return n >= 3 && sweep[n - 1].recall - sweep[n - 3].recall < kPlateau;
}

Result Measure(AnnSystem& system, const tarvo_test::Dataset& base, const tarvo_test::Dataset& queries,
               const std::vector<int>& truth, const std::vector<int>& breadths, int repeat) {
  Result result;
  result.name = system.name();
  omp_set_num_threads(kBuildThreads);
  result.build_seconds = system.Prepare(base);
  malloc_trim(0);
  const size_t before = AllocatedBytes();
  const auto start = std::chrono::steady_clock::now();
  system.Build(base);
  result.build_seconds += Seconds(start);
  malloc_trim(0);
  const size_t after = AllocatedBytes();
  result.index_bytes = after > before ? after - before : 0;

  std::vector<int64_t> labels(static_cast<size_t>(queries.n) * kRecallDepth, -1);
  for (int breadth : breadths) {
    system.SetBreadth(breadth);
    std::fill(labels.begin(), labels.end(), -1);
    Point point;
    point.breadth = breadth;
    point.qps = SearchAll(system, queries, 1, repeat, &labels);
    point.recall = tarvo_test::RecallAtK(labels.data(), kRecallDepth, truth, kTruthDepth, queries.n, kRecallDepth);
    result.sweep.push_back(point);
    std::fprintf(stderr, "  %-40s breadth %4d  recall@10 %.4f  %9.0f QPS\n", result.name.c_str(), breadth,
                 point.recall, point.qps);
    if (result.threads8_breadth == 0 && point.recall >= 0.95) {
      result.threads8_breadth = breadth;
      result.threads8_qps = SearchAll(system, queries, kBuildThreads, repeat, &labels);
    }
    if (point.recall >= 0.999 || Plateaued(result.sweep)) break;
  }
  system.Release();
  return result;
}

// Best single-thread QPS among the sweep points at or above the recall level; 0 when none.
double BestQps(const Result& result, double level) {
  double best = 0.0;
  for (const Point& p : result.sweep) {
    if (p.recall >= level) best = std::max(best, p.qps);
  }
  return best;
}

std::string Markdown(const std::vector<Result>& results, size_t engine_count, const std::string& header) {
  std::ostringstream md;
  md << header << "\n\n";
  md << "| system | build s (8 thr) | index MiB | QPS@0.90 | QPS@0.95 | QPS@0.99 | QPS@0.995 | 8-thr QPS (breadth) |\n";
  md << "|---|---:|---:|---:|---:|---:|---:|---:|\n";
  char cell[64];
  for (const Result& r : results) {
    md << "| " << r.name;
    std::snprintf(cell, sizeof(cell), " | %.1f | %.1f", r.build_seconds, r.index_bytes / 1048576.0);
    md << cell;
    for (double level : kRecallLevels) {
      const double qps = BestQps(r, level);
      if (qps > 0) {
        std::snprintf(cell, sizeof(cell), " | %.0f", qps);
      } else {
        std::snprintf(cell, sizeof(cell), " | -");
      }
      md << cell;
    }
    if (r.threads8_breadth > 0) {
      std::snprintf(cell, sizeof(cell), " | %.0f (%d) |\n", r.threads8_qps, r.threads8_breadth);
    } else {
      std::snprintf(cell, sizeof(cell), " | - |\n");
    }
    md << cell;
  }
  if (engine_count > 0 && engine_count < results.size()) {
    md << "\nBest engine configuration against the best peer, single-thread QPS:\n\n";
    md << "| recall@10 | best engine | QPS | best peer | QPS | ratio |\n|---|---|---:|---|---:|---:|\n";
    for (double level : kRecallLevels) {
      const Result* engine = nullptr;
      const Result* peer = nullptr;
      for (size_t i = 0; i < results.size(); ++i) {
        const Result*& best = i < engine_count ? engine : peer;
        if (BestQps(results[i], level) > 0 && (!best || BestQps(results[i], level) > BestQps(*best, level))) {
          best = &results[i];
        }
      }
      std::snprintf(cell, sizeof(cell), "| >= %.3f | ", level);
      md << cell;
      md << (engine ? engine->name : "-") << " | " << (engine ? static_cast<long>(BestQps(*engine, level)) : 0)
         << " | " << (peer ? peer->name : "-") << " | " << (peer ? static_cast<long>(BestQps(*peer, level)) : 0);
      if (engine && peer) {
        std::snprintf(cell, sizeof(cell), " | %.2fx |\n", BestQps(*engine, level) / BestQps(*peer, level));
      } else {
        std::snprintf(cell, sizeof(cell), " | - |\n");
      }
      md << cell;
    }
  }
  return md.str();
}

std::string Json(const std::vector<Result>& results, size_t engine_count, const std::string& header) {
  std::ostringstream js;
  js << "{\n  \"setup\": \"" << header << "\",\n  \"systems\": [\n";
  for (size_t i = 0; i < results.size(); ++i) {
    const Result& r = results[i];
    js << "    {\"name\": \"" << r.name << "\", \"engine\": " << (i < engine_count ? "true" : "false")
       << ", \"build_seconds\": " << r.build_seconds << ", \"index_bytes\": " << r.index_bytes
       << ", \"threads8_breadth\": " << r.threads8_breadth << ", \"threads8_qps\": " << r.threads8_qps
       << ", \"sweep\": [";
    for (size_t j = 0; j < r.sweep.size(); ++j) {
      js << (j ? ", " : "") << "{\"breadth\": " << r.sweep[j].breadth << ", \"recall\": " << r.sweep[j].recall
         << ", \"qps\": " << r.sweep[j].qps << "}";
    }
    js << "]}" << (i + 1 < results.size() ? "," : "") << "\n";
  }
  js << "  ]\n}\n";
  return js.str();
}

int Run(const Options& options) {
  const int base_rows = options.quick ? 10000 : -1;
  const int query_rows = options.quick ? 1000 : -1;
  const tarvo_test::Dataset base = tarvo_test::LoadFashionMnist("train", base_rows);
  const tarvo_test::Dataset queries = tarvo_test::LoadFashionMnist("t10k", query_rows);
  const std::vector<int> truth = GroundTruth(base, queries, options.cache_dir);
  const std::vector<int> breadths = options.quick ? std::vector<int>{10, 20, 40, 80, 160}
                                                  : std::vector<int>{10, 16, 24, 32, 48, 64, 96, 128, 192,
                                                                     256, 384, 512};

  std::vector<std::unique_ptr<AnnSystem>> systems = MakeTarvoSystems(options.quick);
  const size_t engine_systems = systems.size();
  for (auto* make : {&MakeHnswlibSystems, &MakeFaissSystems}) {
    for (auto& s : make()) systems.push_back(std::move(s));
  }

  std::vector<Result> results;
  size_t engine_count = 0;
  for (size_t i = 0; i < systems.size(); ++i) {
    if (!options.only.empty() && systems[i]->name().find(options.only) == std::string::npos) continue;
    std::fprintf(stderr, "%s\n", systems[i]->name().c_str());
    results.push_back(Measure(*systems[i], base, queries, truth, breadths, options.repeat));
    if (i < engine_systems) ++engine_count;
  }

  std::ostringstream header;
  header << "Fashion-MNIST " << base.n << " x " << base.dim << " base, " << queries.n
         << " queries, squared L2, recall@10 against exact top-100; build with " << kBuildThreads
         << " threads, QPS single-threaded (best of " << options.repeat << " passes). " << HnswlibBuildNote()
         << ". " << FaissBuildNote() << ".";
  const std::string md = Markdown(results, engine_count, header.str());
  const std::string js = Json(results, engine_count, header.str());
  if (std::system(("mkdir -p '" + options.out_dir + "'").c_str()) != 0) {
    throw std::runtime_error("cannot create " + options.out_dir);
  }
  std::ofstream(options.out_dir + "/ann.md") << md;
  std::ofstream(options.out_dir + "/ann.json") << js;
  std::fprintf(stderr, "\n%s\nwrote %s/ann.md and %s/ann.json\n", md.c_str(), options.out_dir.c_str(),
               options.out_dir.c_str());
  return 0;
}

}  // namespace
}  // namespace tarvo_bench

int main(int argc, char** argv) {
  try {
    return tarvo_bench::Run(tarvo_bench::ParseOptions(argc, argv));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ann_benchmark: %s\n", e.what());
    return 1;
  }
}
