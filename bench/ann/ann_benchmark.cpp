// Recall and speed of the engine, driven through `Tarvo` as a user drives it, beside hnswlib and
// faiss (squared L2): build seconds with 8 threads, index bytes (resident growth), a sweep of the
// search breadth with recall@10 and single-thread queries per second (the best of --repeat passes
// over the queries, 3 by default, so that a pass slowed by other work on the machine does not
// count; the same passes also give queries per second of the thread's CPU time, which a shared
// machine's other work does not stretch), and at the first breadths reaching recall 0.95 and 0.99
// the 8-thread throughput of the system's own batch search, of a dynamic split and of a worker
// pool.
//
// Three modes: Fashion-MNIST (--quick: its first 10,000 images, 1,000 queries; --queries N: the
// first N test images), written to ann.md and ann.json (plot_recall_qps.py draws ann.png);
// --cosine, the same images scaled to unit length and searched by inner product (every graph type
// and code kind built and searched with "IP", beside hnswlib M 16 in its "ip" space, and the same
// graphs built with "L2" over the unit rows, whose squared-L2 neighbours are their inner-product
// neighbours), written to cosine.md and cosine.json (plot_recall_qps.py draws cosine.png); and
// --scale, clustered Gaussian data of dimension 96 and 128 at 100,000 and 1,000,000 vectors
// (--sizes, --dims), the engine's HNSW and NSG with FP32 and SQ8U codes beside hnswlib M 16,
// written to scale.md and scale.json (plot_scale.py draws scale.png). Exact ground truth is cached
// in --cache.
// Progress goes to standard error; standard output carries the engine's own lines.
#include <malloc.h>
#include <omp.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/ann/ann_system.h"
#include "bench/ann/ground_truth.h"
#include "bench/ann/table_cell.h"
#include "bench/ann/tarvo_systems.h"
#include "bench/ann/tool_main.h"
#include "tests/support/centered_unit_rows.h"
#include "tests/support/clustered_gaussian.h"
#include "tests/support/exact_knn.h"
#include "tests/support/fashion_mnist.h"

namespace tarvo_bench {
namespace {

constexpr int kRecallDepth = 10;
constexpr int kThreads = 8;  // build threads, and the team of the parallel searches
constexpr double kRecallLevels[] = {0.90, 0.95, 0.99, 0.995};
constexpr double kThreadLevels[] = {0.95, 0.99};
constexpr int kScaleQueries = 1000;
// Rounds of the thread table: in each, one pass of every way of searching. A pass of 1,000
// queries on 8 threads lasts a few milliseconds, and a static split loses a whole pass to a core
// that other work on a shared machine takes for part of it, so the best of many rounds is kept.
constexpr int kThreadRounds = 8;

struct Options {
  bool quick = false;
  bool cosine = false;
  bool scale = false;
  std::string out_dir = "build/bench-results";
  std::string cache_dir = "build/bench-cache";
  std::vector<std::string> only;  // keep the systems whose name contains one of these texts
  int repeat = 3;    // passes over the queries per measurement; the fastest counts
  int queries = -1;  // Fashion-MNIST test images searched: all when negative
  std::vector<int> sizes = {100000, 1000000};
  std::vector<int> dims = {96, 128};
};

struct Point {
  int breadth = 0;
  double recall = 0.0;
  double qps = 0.0;      // single-thread queries per wall-clock second
  double cpu_qps = 0.0;  // single-thread queries per second of the searching thread's CPU time
};

// Throughput at the first breadth whose recall reached `level`, one thread and eight.
struct ThreadPoint {
  double level = 0.0;
  int breadth = 0;
  double recall = 0.0;
  double single = 0.0;   // the system's batch search, one thread
  double batch = 0.0;    // the system's batch search, kThreads threads (the facade's static split)
  double dynamic = 0.0;  // an OpenMP dynamic split over single-query searches
  double pool = 0.0;     // std::thread workers taking queries from an atomic counter
};

struct Result {
  std::string name;
  std::string note;
  std::string data;  // the data set's label
  int n = 0;
  bool engine = false;
  double build_seconds = 0.0;
  size_t index_bytes = 0;
  std::vector<Point> sweep;
  std::vector<ThreadPoint> threads;
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The machine's load averages over 1, 5 and 15 minutes, as /proc/loadavg gives them: other work
// on a shared machine moves the multi-thread figures most.
std::string LoadAverage() {
  std::string one, five, fifteen;
  std::ifstream("/proc/loadavg") >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

// Bytes this process holds resident.
size_t ResidentBytes() {
  long pages = 0;
  long resident = 0;
  std::ifstream statm("/proc/self/statm");
  statm >> pages >> resident;
  return static_cast<size_t>(resident) * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

std::vector<int> ParseList(const std::string& text) {
  std::vector<int> values;
  std::stringstream list(text);
  for (std::string item; std::getline(list, item, ',');) values.push_back(std::stoi(item));
  if (values.empty()) throw std::invalid_argument("empty list " + text);
  return values;
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
    } else if (arg == "--cosine") {
      options.cosine = true;
    } else if (arg == "--scale") {
      options.scale = true;
    } else if (arg == "--out") {
      options.out_dir = value();
    } else if (arg == "--cache") {
      options.cache_dir = value();
    } else if (arg == "--only") {
      std::stringstream list(value());
      for (std::string item; std::getline(list, item, ',');) options.only.push_back(item);
    } else if (arg == "--repeat") {
      options.repeat = std::stoi(value());
      if (options.repeat < 1) throw std::invalid_argument("--repeat needs a count of at least 1");
    } else if (arg == "--queries") {
      options.queries = std::stoi(value());
    } else if (arg == "--sizes") {
      options.sizes = ParseList(value());
    } else if (arg == "--dims") {
      options.dims = ParseList(value());
    } else {
      throw std::invalid_argument("unknown option " + arg +
                                  " (options: --quick, --cosine, --scale, --out DIR, --cache DIR, --only TEXT, --repeat N, --queries N, "
                                  "--sizes N,N, --dims D,D; --only takes TEXT,TEXT)");
    }
  }
  return options;
}

// Queries per second of the fastest of `repeat` runs of pass over n queries. When cpu_qps is given
// it receives the best rate by the calling thread's CPU time, which other work on a shared
// machine does not stretch: the fair single-thread figure there, for a pass that runs on the
// calling thread.
double BestQps(int n, int repeat, const std::function<void()>& pass, double* cpu_qps = nullptr) {
  double best = 0.0;
  for (int r = 0; r < repeat; ++r) {
    timespec cpu_start{};
    timespec cpu_end{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu_start);
    const auto start = std::chrono::steady_clock::now();
    pass();
    best = std::max(best, n / Seconds(start));
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu_end);
    const double cpu = static_cast<double>(cpu_end.tv_sec - cpu_start.tv_sec) + 1e-9 * (cpu_end.tv_nsec - cpu_start.tv_nsec);
    if (cpu_qps != nullptr && cpu > 0) *cpu_qps = std::max(*cpu_qps, n / cpu);
  }
  return best;
}

void DynamicSplit(const AnnSystem& system, const tarvo_test::Dataset& queries, int64_t* labels) {
#pragma omp parallel for schedule(dynamic, 1) num_threads(kThreads)
  for (int q = 0; q < queries.n; ++q) {
    system.Search(queries.row(q), kRecallDepth, labels + static_cast<size_t>(q) * kRecallDepth);
  }
}

void WorkerPool(const AnnSystem& system, const tarvo_test::Dataset& queries, int64_t* labels) {
  std::atomic<int> next{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back([&] {
      for (int q = next.fetch_add(1); q < queries.n; q = next.fetch_add(1)) {
        system.Search(queries.row(q), kRecallDepth, labels + static_cast<size_t>(q) * kRecallDepth);
      }
    });
  }
  for (std::thread& worker : workers) worker.join();
}

// Whether recall rose by less than kPlateau over the last two breadth steps: a wider search would
// only cost time (a quantized index without re-ranking levels off below 1).
bool Plateaued(const std::vector<Point>& sweep) {
  constexpr double kPlateau = 0.0005;
  const size_t n = sweep.size();
  return n >= 3 && sweep[n - 1].recall - sweep[n - 3].recall < kPlateau;
}

Result Measure(AnnSystem& system, const tarvo_test::Dataset& base, const tarvo_test::Dataset& queries,
               const std::vector<int>& truth, int truth_depth, const std::vector<int>& breadths, int repeat) {
  Result result;
  result.name = system.name();
  result.note = system.note();
  result.n = base.n;
  omp_set_num_threads(kThreads);
  result.build_seconds = system.Prepare(base);
  malloc_trim(0);
  const size_t before = ResidentBytes();
  const auto start = std::chrono::steady_clock::now();
  system.Build(base);
  result.build_seconds += Seconds(start);
  malloc_trim(0);
  const size_t after = ResidentBytes();
  result.index_bytes = after > before ? after - before : 0;

  std::vector<int64_t> labels(static_cast<size_t>(queries.n) * kRecallDepth, -1);
  auto recall = [&] { return tarvo_test::RecallAtK(labels.data(), kRecallDepth, truth, truth_depth, queries.n, kRecallDepth); };
  size_t level = 0;  // the next of kThreadLevels to measure
  for (int breadth : breadths) {
    system.SetBreadth(breadth);
    std::fill(labels.begin(), labels.end(), -1);
    Point point;
    point.breadth = breadth;
    point.qps = BestQps(queries.n, repeat, [&] { system.SearchBatch(queries, kRecallDepth, 1, labels.data()); },
                        &point.cpu_qps);
    point.recall = recall();
    result.sweep.push_back(point);
    std::fprintf(stderr, "  %-36s breadth %4d  recall@10 %.4f  %9.0f QPS\n", result.name.c_str(), breadth,
                 point.recall, point.qps);
    for (; level < std::size(kThreadLevels) && point.recall >= kThreadLevels[level]; ++level) {
      ThreadPoint tp;
      tp.level = kThreadLevels[level];
      tp.breadth = breadth;
      tp.recall = point.recall;
      // Every way of searching is measured again in each round, so that a slow spell of the shared
      // machine weighs on the ratios alike; each keeps its best. A pass after one of the same kind
      // is measured: a short pass on cores that the one before left idle runs partly at their
      // lower clock, which a static split cannot even out.
      const auto measure = [&](double* best, const std::function<void()>& pass) {
        pass();
        *best = std::max(*best, BestQps(queries.n, 1, pass));
      };
      for (int round = 0; round < std::max(repeat, kThreadRounds); ++round) {
        measure(&tp.single, [&] { system.SearchBatch(queries, kRecallDepth, 1, labels.data()); });
        measure(&tp.batch, [&] { system.SearchBatch(queries, kRecallDepth, kThreads, labels.data()); });
        measure(&tp.dynamic, [&] { DynamicSplit(system, queries, labels.data()); });
        measure(&tp.pool, [&] { WorkerPool(system, queries, labels.data()); });
      }
      if (recall() != point.recall) throw std::runtime_error(result.name + ": parallel search changed the results");
      result.threads.push_back(tp);
      std::fprintf(stderr, "  %-36s 8 threads: batch %.0f, dynamic %.0f, pool %.0f QPS\n", "", tp.batch, tp.dynamic,
                   tp.pool);
    }
    if (point.recall >= 0.999 || Plateaued(result.sweep)) break;
  }
  system.Release();
  return result;
}

// Best single-thread QPS (by wall clock, or by CPU time) among the sweep points at or above the
// recall level; 0 when none.
double BestQpsAt(const Result& result, double level, bool cpu = false) {
  double best = 0.0;
  for (const Point& p : result.sweep) {
    if (p.recall >= level) best = std::max(best, cpu ? p.cpu_qps : p.qps);
  }
  return best;
}

const ThreadPoint* ThreadsAt(const Result& result, double level) {
  for (const ThreadPoint& tp : result.threads) {
    if (tp.level == level) return &tp;
  }
  return nullptr;
}

std::string QpsCell(double qps) { return qps > 0 ? Format("%.0f", qps) : "-"; }

// The main table: one row per system.
void SystemsTable(std::ostringstream& md, const std::vector<const Result*>& results) {
  md << "| system | build s (8 thr) | index MiB | bytes / vector | QPS@0.90 | QPS@0.95 | QPS@0.99 | QPS@0.995 "
        "| 8-thr QPS@0.95 (breadth) | 8-thr QPS@0.99 (breadth) | built as |\n";
  md << "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|\n";
  for (const Result* r : results) {
    md << "| " << r->name << " | " << Format("%.1f", r->build_seconds) << " | "
       << Format("%.1f", r->index_bytes / 1048576.0) << " | "
       << Format("%.0f", static_cast<double>(r->index_bytes) / r->n);
    for (double level : kRecallLevels) md << " | " << QpsCell(BestQpsAt(*r, level));
    for (double level : kThreadLevels) {
      const ThreadPoint* tp = ThreadsAt(*r, level);
      md << " | " << (tp ? QpsCell(tp->batch) + " (" + std::to_string(tp->breadth) + ")" : "-");
    }
    md << " | " << (r->note.empty() ? "this build" : r->note) << " |\n";
  }
}

// Thread scaling at the first breadth reaching each level: the ratios to single-thread.
void ThreadTable(std::ostringstream& md, const std::vector<const Result*>& results) {
  md << "\n8-thread throughput against single-thread at the same breadth (batch: the system's own batch "
        "search, for the engine `Tarvo::Search` with its static split; dynamic: OpenMP dynamic split over "
        "single-query searches; pool: 8 std::thread workers with an atomic query counter; each figure the best "
        "of rounds that run all four, the 1-thread one included, each measured on its second pass in a row):\n\n";
  md << "| system | recall | breadth | 1-thr QPS | batch 8 | x | dynamic 8 | x | pool 8 | x |\n";
  md << "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
  for (const Result* r : results) {
    for (const ThreadPoint& tp : r->threads) {
      md << "| " << r->name << " | " << Format("%.4f", tp.recall) << " | " << tp.breadth << " | "
         << QpsCell(tp.single) << " | " << QpsCell(tp.batch) << " | " << Format("%.2f", tp.batch / tp.single) << " | "
         << QpsCell(tp.dynamic) << " | " << Format("%.2f", tp.dynamic / tp.single) << " | " << QpsCell(tp.pool)
         << " | " << Format("%.2f", tp.pool / tp.single) << " |\n";
    }
  }
}

// Every system against the reference peer of the same data: ratios of the same run.
void RatioTable(std::ostringstream& md, const std::vector<const Result*>& results, const Result& peer) {
  md << "\nAgainst " << peer.name << " (same run; > 1 is faster, or larger for bytes and build time):\n\n";
  md << "| system | build time | index bytes | QPS@0.95 1 thr | QPS@0.99 1 thr | QPS@0.95 1 thr, CPU time "
        "| QPS@0.99 1 thr, CPU time | QPS@0.95 8 thr | QPS@0.99 8 thr |\n";
  md << "|---|---:|---:|---:|---:|---:|---:|---:|---:|\n";
  auto ratio = [](double a, double b) { return a > 0 && b > 0 ? Format("%.2fx", a / b) : std::string("-"); };
  for (const Result* r : results) {
    if (r == &peer) continue;
    md << "| " << r->name << " | " << ratio(r->build_seconds, peer.build_seconds) << " | "
       << ratio(static_cast<double>(r->index_bytes), static_cast<double>(peer.index_bytes));
    for (bool cpu : {false, true}) {
      for (double level : kThreadLevels) md << " | " << ratio(BestQpsAt(*r, level, cpu), BestQpsAt(peer, level, cpu));
    }
    for (double level : kThreadLevels) {
      const ThreadPoint* mine = ThreadsAt(*r, level);
      const ThreadPoint* theirs = ThreadsAt(peer, level);
      md << " | " << (mine && theirs ? ratio(mine->batch, theirs->batch) : std::string("-"));
    }
    md << " |\n";
  }
}

// Every breadth that some system's sweep reached, ascending.
std::vector<int> SweptBreadths(const std::vector<const Result*>& results) {
  std::vector<int> breadths;
  for (const Result* r : results) {
    for (const Point& p : r->sweep) breadths.push_back(p.breadth);
  }
  std::sort(breadths.begin(), breadths.end());
  breadths.erase(std::unique(breadths.begin(), breadths.end()), breadths.end());
  return breadths;
}

// The recall of every system at each breadth, side by side.
void RecallTable(std::ostringstream& md, const std::vector<const Result*>& results) {
  const std::vector<int> breadths = SweptBreadths(results);
  md << "\nrecall@10 and single-thread QPS by breadth (ef):\n\n| breadth |";
  for (const Result* r : results) md << " " << r->name << " |";
  md << "\n|---:|";
  for (size_t i = 0; i < results.size(); ++i) md << "---:|";
  md << "\n";
  for (int b : breadths) {
    md << "| " << b << " |";
    for (const Result* r : results) {
      auto p = std::find_if(r->sweep.begin(), r->sweep.end(), [&](const Point& x) { return x.breadth == b; });
      md << " " << (p == r->sweep.end() ? std::string("-") : Format("%.4f", p->recall) + " / " + QpsCell(p->qps))
         << " |";
    }
    md << "\n";
  }
}

// recall@10 of every system (rows) at each breadth (columns).
void RecallGrid(std::ostringstream& md, const std::vector<const Result*>& results) {
  const std::vector<int> breadths = SweptBreadths(results);
  md << "recall@10 by breadth (ef; a sweep ends at recall 0.999 or where recall stops rising):\n\n| system |";
  for (int b : breadths) md << " " << b << " |";
  md << "\n|---|";
  for (size_t i = 0; i < breadths.size(); ++i) md << "---:|";
  md << "\n";
  for (const Result* r : results) {
    md << "| " << r->name << " |";
    for (int b : breadths) {
      auto p = std::find_if(r->sweep.begin(), r->sweep.end(), [&](const Point& x) { return x.breadth == b; });
      md << " " << (p == r->sweep.end() ? std::string("-") : Format("%.4f", p->recall)) << " |";
    }
    md << "\n";
  }
  md << "\n";
}

// text as the body of a JSON string.
std::string JsonText(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '"' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

std::string Json(const std::vector<Result>& results, const std::string& header) {
  std::ostringstream js;
  js << "{\n  \"setup\": \"" << JsonText(header) << "\",\n  \"systems\": [\n";
  for (size_t i = 0; i < results.size(); ++i) {
    const Result& r = results[i];
    js << "    {\"name\": \"" << r.name << "\", \"note\": \"" << r.note << "\", \"data\": \"" << r.data
       << "\", \"n\": " << r.n << ", \"engine\": " << (r.engine ? "true" : "false")
       << ", \"build_seconds\": " << r.build_seconds << ", \"index_bytes\": " << r.index_bytes << ", \"sweep\": [";
    for (size_t j = 0; j < r.sweep.size(); ++j) {
      js << (j ? ", " : "") << "{\"breadth\": " << r.sweep[j].breadth << ", \"recall\": " << r.sweep[j].recall
         << ", \"qps\": " << r.sweep[j].qps << ", \"cpu_qps\": " << r.sweep[j].cpu_qps << "}";
    }
    js << "], \"threads\": [";
    for (size_t j = 0; j < r.threads.size(); ++j) {
      const ThreadPoint& tp = r.threads[j];
      js << (j ? ", " : "") << "{\"level\": " << tp.level << ", \"breadth\": " << tp.breadth
         << ", \"recall\": " << tp.recall << ", \"single\": " << tp.single << ", \"batch\": " << tp.batch
         << ", \"dynamic\": " << tp.dynamic << ", \"pool\": " << tp.pool << "}";
    }
    js << "]}" << (i + 1 < results.size() ? "," : "") << "\n";
  }
  js << "  ]\n}\n";
  return js.str();
}

// Measures the systems whose names pass --only over one data set; the engine's come first.
void MeasureAll(std::vector<std::unique_ptr<AnnSystem>> systems, size_t engine_systems, const std::string& data,
                const tarvo_test::Dataset& base, const tarvo_test::Dataset& queries, const std::vector<int>& truth,
                int truth_depth, const std::vector<int>& breadths, const Options& options,
                std::vector<Result>* results) {
  for (size_t i = 0; i < systems.size(); ++i) {
    const std::string name = systems[i]->name();
    if (!options.only.empty() && std::none_of(options.only.begin(), options.only.end(), [&](const std::string& text) {
          return name.find(text) != std::string::npos;
        })) {
      continue;
    }
    std::fprintf(stderr, "%s: %s\n", data.c_str(), systems[i]->name().c_str());
    results->push_back(Measure(*systems[i], base, queries, truth, truth_depth, breadths, options.repeat));
    results->back().data = data;
    results->back().engine = i < engine_systems;
  }
}

void Write(const Options& options, const std::string& stem, std::string md, const std::string& js) {
  md += "\nLoad average of the machine (1, 5, 15 minutes) when the figures were written: " + LoadAverage() + " on " +
        std::to_string(std::thread::hardware_concurrency()) + " hardware threads.\n";
  if (std::system(("mkdir -p '" + options.out_dir + "'").c_str()) != 0) {
    throw std::runtime_error("cannot create " + options.out_dir);
  }
  std::ofstream(options.out_dir + "/" + stem + ".md") << md;
  std::ofstream(options.out_dir + "/" + stem + ".json") << js;
  std::fprintf(stderr, "\n%s\nwrote %s/%s.md and %s/%s.json\n", md.c_str(), options.out_dir.c_str(), stem.c_str(),
               options.out_dir.c_str(), stem.c_str());
}

const std::vector<int> kBreadths = {10, 16, 24, 32, 40, 48, 56, 64, 72, 80, 88, 96, 112, 128, 160, 192, 256, 384, 512};

// The engine's configurations of a Fashion-MNIST run. The cosine run builds every graph with "IP"
// and again with "L2" over the same unit rows: the second shows what the first loses to the metric.
TarvoSelection FashionSelection(const Options& options) {
  if (options.cosine) {
    if (options.quick) return {{"HNSW", "SSG"}, {false}, {"FP32", "SQ4U"}, {false}, {"IP", "L2"}};
    return {{"HNSW", "SSG", "NSG", "TSDG"}, {false}, {"FP32", "FP16", "SQ8U", "SQ4U"}, {false}, {"IP", "L2"}};
  }
  if (options.quick) return {{"HNSW", "SSG"}, {true}, {"FP32", "SQ8U"}, {false, true}};
  return {{"HNSW", "SSG", "NSG", "TSDG"}, {false, true}, {"FP32", "FP16", "SQ8U", "SQ4U"}, {false, true}};
}

int RunFashion(const Options& options) {
  constexpr int kTruthDepth = 100;
  const int base_rows = options.quick ? 10000 : -1;
  const int query_rows = options.queries > 0 ? options.queries : options.quick ? 1000 : -1;
  tarvo_test::Dataset base = tarvo_test::LoadFashionMnist("train", base_rows);
  tarvo_test::Dataset queries = tarvo_test::LoadFashionMnist("t10k", query_rows);
  if (options.cosine) {
    tarvo_test::NormalizeRows(&base);
    tarvo_test::NormalizeRows(&queries);
  }
  omp_set_num_threads(kThreads);
  const std::vector<int> truth =
      CachedGroundTruth(base, queries, kTruthDepth, options.cache_dir,
                        options.cosine ? "fashion-mnist-unit" : "fashion-mnist", /*inner_product=*/options.cosine);
  const std::vector<int> breadths = options.quick ? std::vector<int>{10, 20, 40, 80, 160} : kBreadths;

  std::vector<std::unique_ptr<AnnSystem>> systems =
      MakeTarvoSystems(FashionSelection(options), options.cache_dir + "/graphs");
  const size_t engine_systems = systems.size();
  if (options.cosine) {
    systems.push_back(MakeHnswlibM16(/*inner_product=*/true));
  } else {
    for (auto* make : {&MakeHnswlibSystems, &MakeFaissSystems}) {
      for (auto& s : make()) systems.push_back(std::move(s));
    }
  }
  std::vector<Result> results;
  MeasureAll(std::move(systems), engine_systems, options.cosine ? "fashion-mnist-unit" : "fashion-mnist", base,
             queries, truth, kTruthDepth, breadths, options, &results);

  std::ostringstream header;
  header << "Fashion-MNIST " << base.n << " x " << base.dim << " base, " << queries.n << " queries, ";
  if (options.cosine) {
    header << "every row scaled to unit length (pixel values, so every component is at least 0), recall@10 "
              "against the exact top-100 by inner product; systems marked IP build and search with metric "
              "\"IP\", those marked L2 with \"L2\" over the same unit rows (the same neighbours); ";
  } else {
    header << "squared L2, recall@10 against exact top-100; ";
  }
  header << "the engine through Tarvo (Add, SaveGraph, LoadGraph per code kind, SetEf, Search) with R 32, A 60 "
            "(HNSW: M 16, ef_construction 200; SSG, NSG, TSDG: L 100, RNN-Descent); build with "
         << kThreads << " threads, QPS single-threaded (best of " << options.repeat << " passes). "
         << HnswlibBuildNote() << ".";
  if (!options.cosine) header << " " << FaissBuildNote() << ".";
  std::vector<const Result*> all;
  for (const Result& r : results) all.push_back(&r);
  std::ostringstream md;
  md << header.str() << "\n\n";
  if (options.cosine) RecallGrid(md, all);
  SystemsTable(md, all);
  ThreadTable(md, all);
  const std::string peer_name = options.cosine ? "hnswlib M=16 ip" : "hnswlib M=16";
  auto peer = std::find_if(results.begin(), results.end(), [&](const Result& r) { return r.name == peer_name; });
  if (peer != results.end()) RatioTable(md, all, *peer);
  Write(options, options.cosine ? "cosine" : "ann", md.str(), Json(results, header.str()));
  return 0;
}

int RunScale(const Options& options) {
  std::vector<Result> results;
  std::ostringstream md;
  std::ostringstream header;
  header << "Clustered Gaussian data (1000 centres of deviation 1 per coordinate, unit noise; " << kScaleQueries
         << " queries from the same mixture), squared L2, recall@10 against the exact top-10; the engine "
            "through Tarvo (Add with and without reorder, SaveGraph, LoadGraph per code kind, SetEf, Search) with R 32 "
            "(HNSW: M 16, ef_construction 200; NSG: L 100, RNN-Descent), hnswlib M 16 ef_construction 200; build "
            "with "
         << kThreads << " threads, index bytes = resident growth over the build, QPS single-threaded (best of "
         << options.repeat << " passes). " << HnswlibBuildNote() << ".";
  md << header.str() << "\n";
  for (int dim : options.dims) {
    const tarvo_test::GaussianMixture mixture{dim, 1000, 1.0f, 1};
    for (int n : options.sizes) {
      const std::string data = "gauss" + std::to_string(dim) + "-" + std::to_string(n);
      omp_set_num_threads(kThreads);
      tarvo_test::Dataset base = tarvo_test::ClusteredGaussian(mixture, n, 2);
      const tarvo_test::Dataset queries = tarvo_test::ClusteredGaussian(mixture, kScaleQueries, 3);
      const std::vector<int> truth = CachedGroundTruth(base, queries, kRecallDepth, options.cache_dir,
                                                       "gauss" + std::to_string(dim) + "c1000s1");
      std::vector<std::unique_ptr<AnnSystem>> systems = MakeTarvoSystems(
          {{"HNSW", "NSG"}, {false, true}, {"FP32", "SQ8U"}, {false}}, options.cache_dir + "/graphs");
      const size_t engine_systems = systems.size();
      systems.push_back(MakeHnswlibM16());
      const size_t first = results.size();
      MeasureAll(std::move(systems), engine_systems, data, base, queries, truth, kRecallDepth, kBreadths, options,
                 &results);
      std::vector<const Result*> these;
      for (size_t i = first; i < results.size(); ++i) these.push_back(&results[i]);
      md << "\n## " << n << " x " << dim << "\n\n";
      SystemsTable(md, these);
      ThreadTable(md, these);
      auto peer = std::find_if(these.begin(), these.end(), [](const Result* r) { return !r->engine; });
      if (peer != these.end()) RatioTable(md, these, **peer);
      RecallTable(md, these);
      // Written after every data set, so that a long run leaves its figures so far.
      Write(options, "scale", md.str(), Json(results, header.str()));
    }
  }
  return 0;
}

}  // namespace
}  // namespace tarvo_bench

int main(int argc, char** argv) {
  return tarvo_bench::ToolMain("ann_benchmark", [&] {
    const tarvo_bench::Options options = tarvo_bench::ParseOptions(argc, argv);
    return options.scale ? tarvo_bench::RunScale(options) : tarvo_bench::RunFashion(options);
  });
}
