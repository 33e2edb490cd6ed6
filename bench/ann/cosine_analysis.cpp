// Where the recall of inner-product indexes goes on Fashion-MNIST at unit length, whose squared-L2
// neighbours are its inner-product neighbours, so that every loss against the same index built
// with "L2" belongs to the metric's arithmetic:
//  1. the angle rule of SSG pruning (and of every type's reverse edges), a law of cosines over
//     distances, fed with negated inner products: its values over the pairs of each sampled node's
//     32 nearest, and the rows that each pruning rule keeps from the exact 100 nearest;
//  2. the codes alone: the share of components at the most used code level, and the recall@10 of
//     a brute force over the codes whose first E candidates are re-ranked exactly (a walk's best
//     with a pool of E);
//  3. the graphs built with "IP" and with "L2" (the builders as the index runs them, R 32, A 60;
//     HNSW M 16): how many of each row's neighbours are the node's 32 nearest, and recall@10 of
//     each graph searched with FP32 and SQ4U codes of either metric, so that graph quality and
//     code precision part.
// Usage: tarvo_cosine_analysis [--out DIR] [--cache DIR]. Writes cosine-analysis.md to --out
// (build/bench-results); progress on standard error, the engine's own lines on standard output.
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <numeric>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/ann/ground_truth.h"
#include "bench/ann/table_cell.h"
#include "bench/ann/tool_main.h"
#include "engine/build/hnsw/hnsw.h"
#include "engine/build/ssg/angle_rule.h"
#include "engine/build/ssg/ssg.h"
#include "engine/search/memory/alloc_aligned.h"
#include "engine/search/quant/distance.h"
#include "engine/search/quant/quantizer_kernels.h"
#include "engine/search/quant/sq4_ip_quantizer.h"
#include "engine/search/quant/sq4_l2_quantizer.h"
#include "engine/search/quant/sq8_ip_quantizer.h"
#include "engine/search/quant/sq8_l2_quantizer.h"
#include "engine/search/searcher/make_graph_searcher.h"
#include "tests/support/centered_unit_rows.h"
#include "tests/support/exact_knn.h"
#include "tests/support/fashion_mnist.h"

namespace tarvo_bench {
namespace {

constexpr int kThreads = 8;
constexpr int kDegree = 32;       // R of SSG, NSG and TSDG; 2 M of HNSW
constexpr int kCandidates = 100;  // L of SSG, NSG and TSDG
constexpr float kAngle = 60.0f;
constexpr int kM = 16;
constexpr int kConstruction = 200;
constexpr int kSampleStep = 60;  // every 60th base row is a sampled node
constexpr int kPool = 100;       // the exact candidates of a sampled node
constexpr int kTruthDepth = 100;
constexpr int kK = 10;
constexpr int kCodeQueries = 1000;  // queries of the brute force over codes
const std::vector<int> kEfs = {16, 32, 64, 128, 256};
const std::vector<int> kRerank = {10, 100, 1000};
const std::vector<std::string> kTypes = {"SSG", "NSG", "TSDG", "HNSW"};
const std::vector<std::string> kMetrics = {"IP", "L2"};

struct Options {
  std::string out_dir = "build/bench-results";
  std::string cache_dir = "build/bench-cache";
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  ForEachOptionValue(argc, argv, [&](const std::string& arg, const std::string& value) {
    if (arg == "--out") {
      options.out_dir = value;
    } else if (arg == "--cache") {
      options.cache_dir = value;
    } else {
      throw std::invalid_argument("unknown option " + arg + " (options: --out DIR, --cache DIR)");
    }
  });
  return options;
}

vexa::DistanceFunction DistanceOf(const std::string& metric) {
  return metric == "L2" ? vexa::DistanceFP32L2 : vexa::DistanceFP32IP;
}

// The unit rows with their chunk table, the sampled nodes and their exact candidates.
struct Data {
  tarvo_test::Dataset base;
  tarvo_test::Dataset queries;
  std::vector<int> truth;  // queries x kTruthDepth, by inner product
  int consecutive_log = 1;
  std::vector<float*> chunks;
  std::vector<int> sampled;      // base rows
  std::vector<int> candidates;   // per sampled node, its kPool nearest other rows, nearest first

  // The chunk table as the builders and searchers take it; they only read it.
  float** Chunks() const { return const_cast<float**>(chunks.data()); }
};

Data LoadData(const Options& options) {
  Data data;
  data.base = tarvo_test::LoadFashionMnist("train");
  data.queries = tarvo_test::LoadFashionMnist("t10k");
  tarvo_test::NormalizeRows(&data.base);
  tarvo_test::NormalizeRows(&data.queries);
  data.truth = CachedGroundTruth(data.base, data.queries, kTruthDepth, options.cache_dir, "fashion-mnist-unit",
                                 /*inner_product=*/true);
  while ((int64_t{1} << data.consecutive_log) < data.base.n) ++data.consecutive_log;
  data.chunks = tarvo_test::MakeChunkTable(data.base, data.consecutive_log);
  tarvo_test::Dataset nodes;
  nodes.dim = data.base.dim;
  for (int i = 0; i < data.base.n; i += kSampleStep) {
    data.sampled.push_back(i);
    nodes.values.insert(nodes.values.end(), data.base.row(i), data.base.row(i) + data.base.dim);
  }
  nodes.n = static_cast<int>(data.sampled.size());
  // One more than the pool, since a node is its own nearest row (or ties with a copy of itself).
  const std::vector<int> nearest = CachedGroundTruth(data.base, nodes, kPool + 1, options.cache_dir,
                                                     "fashion-mnist-unit-nodes", /*inner_product=*/true);
  for (int s = 0; s < nodes.n; ++s) {
    int kept = 0;
    for (int j = 0; j <= kPool && kept < kPool; ++j) {
      const int id = nearest[static_cast<size_t>(s) * (kPool + 1) + j];
      if (id != data.sampled[s]) {
        data.candidates.push_back(id);
        ++kept;
      }
    }
  }
  return data;
}

// Share of the first kDegree candidates of sampled node s that row holds (ids, -1 ends it).
double NearestShare(const Data& data, int s, const int* row, int width) {
  const int* nearest = data.candidates.data() + static_cast<size_t>(s) * kPool;
  int found = 0;
  for (int j = 0; j < width && row[j] != -1; ++j) found += std::count(nearest, nearest + kDegree, row[j]) > 0;
  return static_cast<double>(found) / kDegree;
}

// Section 1: the angle rule's value over every pair (r nearer, p farther) of each sampled node's
// kDegree nearest, from squared-L2 and from negated-inner-product distances, beside the cosine of
// the true angle r-q-p; then the rows that each rule keeps from the exact candidates.
void AngleRule(const Data& data, std::ostringstream& md) {
  const float threshold = vexa::AngleThreshold(kAngle);
  const int dim = data.base.dim;
  struct Form {
    const char* name;
    double above = 0, sum = 0, low = INFINITY, high = -INFINITY, nan = 0;
    void Add(double value, float threshold) {
      if (std::isnan(value)) {
        ++nan;
        ++above;  // the rule occludes on a NaN
        return;
      }
      above += value > threshold;
      sum += value;
      low = std::min(low, value);
      high = std::max(high, value);
    }
  };
  Form forms[] = {{"cosine of the angle r-q-p (from the vectors)"},
                  {"the rule from squared-L2 distances"},
                  {"the rule from negated inner products"}};
  double pairs = 0;
  for (size_t s = 0; s < data.sampled.size(); ++s) {
    const float* q = data.base.row(data.sampled[s]);
    const int* nearest = data.candidates.data() + s * kPool;
    for (int a = 0; a < kDegree; ++a) {
      const float* r = data.base.row(nearest[a]);
      for (int b = a + 1; b < kDegree; ++b) {
        const float* p = data.base.row(nearest[b]);
        double dot = 0, rr = 0, pp = 0;
        for (int j = 0; j < dim; ++j) {
          dot += (static_cast<double>(r[j]) - q[j]) * (static_cast<double>(p[j]) - q[j]);
          rr += (static_cast<double>(r[j]) - q[j]) * (static_cast<double>(r[j]) - q[j]);
          pp += (static_cast<double>(p[j]) - q[j]) * (static_cast<double>(p[j]) - q[j]);
        }
        forms[0].Add(dot / std::sqrt(rr * pp), threshold);
        for (int f = 1; f <= 2; ++f) {
          const vexa::DistanceFunction distance = f == 1 ? vexa::DistanceFP32L2 : vexa::DistanceFP32IP;
          forms[f].Add(vexa::AngleCosine(distance(q, r, dim), distance(q, p, dim), distance(r, p, dim)), threshold);
        }
        ++pairs;
      }
    }
  }
  md << "## 1. The angle rule on negated inner products\n\n"
     << "Over the " << static_cast<long>(pairs) << " pairs (r nearer, p farther) of the " << kDegree
     << " nearest rows of " << data.sampled.size() << " sampled nodes q (every " << kSampleStep
     << "th row). The rule occludes p when its value exceeds " << Format("%.8f", threshold) << " (A = "
     << Format("%.0f", kAngle) << "), or is not a number.\n\n"
     << "| value | occludes p | mean | min | max | not a number |\n|---|---:|---:|---:|---:|---:|\n";
  for (const Form& f : forms) {
    md << "| " << f.name << " | " << Format("%.2f %%", 100.0 * f.above / pairs) << " | "
       << Format("%.4f", f.sum / (pairs - f.nan)) << " | " << Format("%.4f", f.low) << " | "
       << Format("%.4f", f.high) << " | " << Format("%.0f", f.nan) << " |\n";
  }

  // The rows that each rule writes from the exact kPool nearest, sorted by the metric's distance.
  md << "\nRows that each pruning rule writes (R " << kDegree << ", kept entries first, then the refill) from "
     << "each sampled node's exact " << kPool << " nearest: the share of the row that is the node's " << kDegree
     << " nearest (1 = the rule pruned nothing, a plain k-NN row):\n\n| rule | built with IP | built with L2 |\n"
     << "|---|---:|---:|\n";
  for (const std::string& type : {std::string("SSG"), std::string("NSG"), std::string("TSDG")}) {
    md << "| " << type;
    for (const std::string& metric : kMetrics) {
      vexa::SSG ssg(kDegree, kCandidates, kAngle, 10, metric, "RNNDescent", type, dim, 0);
      ssg.UseChunks(data.Chunks(), data.consecutive_log, data.base.n);
      vexa::Graph<vexa::LinkEntry> link;
      link.Allocate(data.base.n, kDegree);
      vexa::PruneScratch scratch;
      const vexa::DistanceFunction distance = DistanceOf(metric);
      double share = 0;
      for (size_t s = 0; s < data.sampled.size(); ++s) {
        const int q = data.sampled[s];
        std::vector<vexa::LinkEntry> pool;
        for (int j = 0; j < kPool; ++j) {
          const int id = data.candidates[s * kPool + j];
          pool.push_back({id, distance(data.base.row(q), data.base.row(id), dim)});
        }
        std::sort(pool.begin(), pool.end(),
                  [](const vexa::LinkEntry& a, const vexa::LinkEntry& b) { return a.distance < b.distance; });
        ssg.PruneCandidates(q, pool, link, threshold, scratch);
        std::vector<int> row(kDegree);
        for (int j = 0; j < kDegree; ++j) row[j] = link.neighbors[static_cast<size_t>(q) * kDegree + j].id;
        share += NearestShare(data, static_cast<int>(s), row.data(), kDegree);
      }
      md << " | " << Format("%.3f", share / data.sampled.size());
    }
    md << " |\n";
  }
}

// The graph of one type built with metric over the unit rows, as the index builds it.
vexa::Graph<int> BuildGraph(const Data& data, const std::string& type, const std::string& metric) {
  float** chunks = data.Chunks();
  if (type == "HNSW") {
    vexa::HNSW builder(metric, data.base.dim, kM, kConstruction);
    builder.Build(chunks, data.consecutive_log, data.base.n);
    return vexa::Graph<int>(builder.graph);
  }
  vexa::SSG builder(kDegree, kCandidates, kAngle, 10, metric, "RNNDescent", type, data.base.dim, 0);
  builder.Build(chunks, data.consecutive_log, data.base.n);
  return vexa::Graph<int>(builder.graph);
}

// recall@kK of one searcher kind over graph at each of kEfs.
std::vector<double> SearchRecalls(const Data& data, const vexa::Graph<int>& graph, const std::string& metric,
                                  const std::string& code) {
  std::unique_ptr<vexa::SearcherBase> searcher = vexa::MakeGraphSearcher(graph, metric, code);
  searcher->Build(data.Chunks(), data.consecutive_log, data.base.n, data.base.dim);
  searcher->SetPo(10);
  searcher->UpdatePrefetchLines();
  std::vector<int64_t> labels(static_cast<size_t>(data.queries.n) * kK);
  std::vector<double> recalls;
  for (int ef : kEfs) {
    searcher->SetEf(ef);
    std::fill(labels.begin(), labels.end(), -1);
#pragma omp parallel for schedule(dynamic, 16)
    for (int q = 0; q < data.queries.n; ++q) {
      searcher->SearchQuery(data.queries.row(q), kK, labels.data() + static_cast<size_t>(q) * kK, nullptr);
    }
    recalls.push_back(tarvo_test::RecallAtK(labels.data(), kK, data.truth, kTruthDepth, data.queries.n, kK));
  }
  return recalls;
}

// Section 3: every graph type built with each metric; its rows against the nodes' nearest, and
// its recall under FP32 and SQ4U searchers of both metrics.
void Graphs(const Data& data, std::ostringstream& md) {
  md << "\n## 3. Graphs built with IP and with L2\n\nEach graph built over all " << data.base.n
     << " unit rows by the builder the index runs (R " << kDegree << ", L " << kCandidates << ", A "
     << Format("%.0f", kAngle) << ", RNN-Descent, no MagicLink; HNSW M " << kM << ", ef_construction "
     << kConstruction << "; " << kThreads << " threads), then searched by the engine's searchers of either "
     << "metric over the same unit rows (" << data.queries.n << " queries; recall@" << kK
     << " against the exact inner-product top " << kK << "). On unit rows an L2 searcher ranks as an IP "
     << "searcher does, so a row's gap between graphs is the graph, and a gap between its searchers is the "
     << "codes.\n\n| graph built with | row share of the node's " << kDegree << " nearest | mean degree | searcher |";
  for (int ef : kEfs) md << " ef " << ef << " |";
  md << "\n|---|---:|---:|---|";
  for (size_t e = 0; e < kEfs.size(); ++e) md << "---:|";
  md << "\n";
  for (const std::string& type : kTypes) {
    for (const std::string& metric : kMetrics) {
      std::fprintf(stderr, "building %s with %s...\n", type.c_str(), metric.c_str());
      const vexa::Graph<int> graph = BuildGraph(data, type, metric);
      double share = 0;
      for (size_t s = 0; s < data.sampled.size(); ++s) {
        share += NearestShare(data, static_cast<int>(s),
                              graph.neighbors + static_cast<size_t>(data.sampled[s]) * graph.K, graph.K);
      }
      size_t edges = 0;
      for (size_t i = 0; i < static_cast<size_t>(graph.N) * graph.K; ++i) edges += graph.neighbors[i] != -1;
      bool first = true;
      for (const std::string& searcher_metric : kMetrics) {
        for (const std::string& code : {std::string("FP32"), std::string("SQ4U")}) {
          md << "| " << (first ? type + " " + metric : std::string()) << " | "
             << (first ? Format("%.3f", share / data.sampled.size()) : std::string()) << " | "
             << (first ? Format("%.1f", static_cast<double>(edges) / graph.N) : std::string()) << " | " << code
             << " " << searcher_metric << " |";
          for (double r : SearchRecalls(data, graph, searcher_metric, code)) md << " " << Format("%.4f", r) << " |";
          md << "\n";
          first = false;
        }
      }
    }
  }
}

// The level of component j of a code with bits-wide components.
int Level(const uint8_t* code, int j, int bits) {
  return bits == 4 ? (code[j >> 1] >> ((j & 1) * 4)) & 15 : code[j];
}

std::string Calibration(const vexa::NewSQ4IPQuantizer<vexa::Metric::IP>& q) {
  return "scale " + Format("%.4f", q.scale);
}
std::string Calibration(const vexa::NewSQ8IPQuantizer<vexa::Metric::IP>& q) {
  return "scale " + Format("%.4f", q.scale);
}
std::string Calibration(const vexa::NewSQ4L2Quantizer<vexa::Metric::L2>& q) {
  return "minn " + Format("%.4f", q.minn) + ", maxx " + Format("%.4f", q.maxx);
}
std::string Calibration(const vexa::NewSQ8L2Quantizer<vexa::Metric::L2>& q) {
  return "widest range " + Format("%.4f", q.dif);
}

// One row of section 3 for quantizer Q: its calibration, how its codes spread over the levels,
// and the recall of a brute force over its codes with the first E candidates re-ranked exactly.
template <typename Q>
void CodeRow(const Data& data, const std::string& name, std::ostringstream& md) {
  const int dim = data.base.dim;
  Q quant(dim);
  quant.Calibrate(data.base.values.data(), data.base.n);
  quant.AllocateCodes();
  for (int i = 0; i < data.base.n; ++i) quant.EncodeRow(data.base.row(i), quant.codes + static_cast<size_t>(i) * quant.code_size);
  std::vector<double> levels(size_t{1} << Q::kCodeBits, 0.0);
  for (int i = 0; i < data.base.n; ++i) {
    for (int j = 0; j < dim; ++j) levels[Level(quant.Code(i), j, Q::kCodeBits)] += 1;
  }
  std::vector<double> shares = levels;
  for (double& s : shares) s /= static_cast<double>(data.base.n) * dim;
  std::sort(shares.rbegin(), shares.rend());
  size_t levels99 = 0;
  for (double held = 0; held < 0.99 && levels99 < shares.size(); ++levels99) held += shares[levels99];

  const vexa::DistanceFunction exact = DistanceOf(std::string(Q::kMetric == vexa::Metric::L2 ? "L2" : "IP"));
  const vexa::QuantizerKernels<Q> kernels;
  std::vector<int64_t> found(kRerank.size() * kCodeQueries * kK, -1);
#pragma omp parallel for schedule(dynamic, 4)
  for (int q = 0; q < kCodeQueries; ++q) {
    uint8_t* code = static_cast<uint8_t*>(vexa::AllocAligned(quant.code_size));
    quant.EncodeQuery(data.queries.row(q), code);
    std::vector<std::pair<int32_t, int>> coarse(data.base.n);
    for (int i = 0; i < data.base.n; ++i) coarse[i] = {kernels.One(code, quant.Code(i), quant.d_align), i};
    std::free(code);
    const int widest = kRerank.back();
    std::partial_sort(coarse.begin(), coarse.begin() + widest, coarse.end());
    for (size_t e = 0; e < kRerank.size(); ++e) {
      std::vector<std::pair<float, int>> refined;
      for (int c = 0; c < kRerank[e]; ++c) {
        refined.push_back({exact(data.queries.row(q), data.base.row(coarse[c].second), dim), coarse[c].second});
      }
      std::partial_sort(refined.begin(), refined.begin() + kK, refined.end());
      for (int c = 0; c < kK; ++c) found[(e * kCodeQueries + q) * kK + c] = refined[c].second;
    }
  }
  md << "| " << name << " | " << Calibration(quant) << " | " << Format("%.1f %%", 100.0 * shares[0]) << " | "
     << levels99 << " of " << levels.size();
  for (size_t e = 0; e < kRerank.size(); ++e) {
    md << " | "
       << Format("%.4f", tarvo_test::RecallAtK(found.data() + e * kCodeQueries * kK, kK, data.truth, kTruthDepth,
                                               kCodeQueries, kK));
  }
  md << " |\n";
}

// Section 2: the scalar codes of both metrics over the unit rows.
void Codes(const Data& data, std::ostringstream& md) {
  md << "\n## 2. The codes alone\n\nEvery quantizer calibrated on the " << data.base.n
     << " unit rows (all components at least 0). Brute force: every row ranked by the coarse code distance to "
     << "the query code, the first E re-ranked exactly, recall@" << kK << " over the first " << kCodeQueries
     << " queries (what a walk that reaches the best E codes gives, with ef = E).\n\n"
     << "| codes | calibration | components at the most used level | levels holding 99 % |";
  for (int e : kRerank) md << " brute force E = " << e << " |";
  md << "\n|---|---|---:|---:|";
  for (size_t e = 0; e < kRerank.size(); ++e) md << "---:|";
  md << "\n";
  CodeRow<vexa::NewSQ4IPQuantizer<vexa::Metric::IP>>(data, "SQ4U IP", md);
  CodeRow<vexa::NewSQ4L2Quantizer<vexa::Metric::L2>>(data, "SQ4U L2", md);
  CodeRow<vexa::NewSQ8IPQuantizer<vexa::Metric::IP>>(data, "SQ8U IP", md);
  CodeRow<vexa::NewSQ8L2Quantizer<vexa::Metric::L2>>(data, "SQ8U L2", md);
}

int Run(const Options& options) {
  omp_set_num_threads(kThreads);
  const Data data = LoadData(options);
  std::ostringstream md;
  md << "# Inner product on Fashion-MNIST at unit length\n\n" << data.base.n << " x " << data.base.dim
     << " training images and " << data.queries.n << " test images, each scaled to unit length.\n\n";
  std::fprintf(stderr, "angle rule...\n");
  AngleRule(data, md);
  std::fprintf(stderr, "codes...\n");
  Codes(data, md);
  Graphs(data, md);
  if (std::system(("mkdir -p '" + options.out_dir + "'").c_str()) != 0) {
    throw std::runtime_error("cannot create " + options.out_dir);
  }
  std::ofstream(options.out_dir + "/cosine-analysis.md") << md.str();
  std::fprintf(stderr, "\n%s\nwrote %s/cosine-analysis.md\n", md.str().c_str(), options.out_dir.c_str());
  return 0;
}

}  // namespace
}  // namespace tarvo_bench

int main(int argc, char** argv) {
  return tarvo_bench::ToolMain("cosine_analysis", [&] { return tarvo_bench::Run(tarvo_bench::ParseOptions(argc, argv)); });
}
