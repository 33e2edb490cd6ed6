// Add: its argument checks, the builders' parameter checks, the input it refuses before any
// build, the chunk table it lays over the caller's rows, the level and the reorder.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "engine/index/builder_params.h"
#include "engine/search/searcher/graph_searcher_base.h"
#include "tests/index/index_test_support.h"

namespace tarvo_test {
namespace {

class AddTest : public IndexTest {};

struct ArgumentCase {
  const char* name;
  int n;
  bool nullData;
  int consecutive;
  int reorder;  // -9: the four-argument form
  int level;
  const char* text;
};

TEST_F(AddTest, RefusesArgumentsInOrderAndChangesNothing) {
  const ArgumentCase cases[] = {
      {"NoRowsAndNoData", 0, true, 3, 0, 0, "[ERROR] Wrong number of data when tarvo add."},
      {"NegativeRows", -1, false, 3, 0, 0, "[ERROR] Wrong number of data when tarvo add."},
      {"NoData", 300, true, 3, 0, 0, "[ERROR] Data x is nullptr when tarvo add."},
      {"ConsecutiveZero", 300, false, 0, 0, 0, "[ERROR] Wrong consecutive when tarvo add."},
      {"Consecutive32", 300, false, 32, 0, 0, "[ERROR] Wrong consecutive when tarvo add."},
      {"LevelMinusOne", 300, false, 3, 0, -1, "[ERROR] Wrong level when tarvo add."},
      {"LevelFour", 300, false, 3, 0, 4, "[ERROR] Wrong level when tarvo add."},
      {"LevelBeforeReorder", 300, false, 3, 2, 4, "[ERROR] Wrong level when tarvo add."},
      {"ReorderTwo", 300, false, 3, 2, 0, "[ERROR] Wrong reorder when tarvo add."},
      {"ReorderMinusOne", 300, false, 3, -1, 0, "[ERROR] Wrong reorder when tarvo add."},
      {"FourArgumentsLevelFour", 300, false, 3, -9, 4, "[ERROR] Wrong level when tarvo add."},
  };
  std::unique_ptr<Tarvo> index = MakeIndex(IndexParams{});
  for (const ArgumentCase& c : cases) {
    const float* x = c.nullData ? nullptr : SmallData().values.data();
    int result = 0;
    const std::vector<std::string> lines = vexa::CapturedLines([&] {
      result = c.reorder == -9 ? index->Add(c.n, x, c.consecutive, c.level)
                               : index->Add(c.n, x, c.consecutive, c.reorder, c.level);
    });
    EXPECT_EQ(result, -1) << c.name;
    EXPECT_EQ(lines, std::vector<std::string>{c.text}) << c.name;
    const TarvoImpl& replica = TarvoTestAccess::Replica(*index, 0);
    EXPECT_FALSE(replica.graphBuilt) << c.name;
    EXPECT_EQ(replica.chunks, nullptr) << c.name;
  }
}

struct ParamsCase {
  const char* name;
  IndexParams params;
  const char* text;  // "" when the parameters are valid
};

// The parameters with one field changed.
IndexParams With(void (*change)(IndexParams&)) {
  IndexParams params;
  change(params);
  return params;
}

// A replica of params, made quietly.
std::unique_ptr<TarvoImpl> MakeReplica(const IndexParams& p) {
  std::unique_ptr<TarvoImpl> replica;
  vexa::CapturedLines([&] {
    replica = std::make_unique<TarvoImpl>(p.dim, p.R, p.L, p.A, p.graph_opt_iter, p.metric, p.init_builder_type,
                                          p.index_type);
  });
  return replica;
}

void ExpectParamsChecked(const ParamsCase& c) {
  const std::unique_ptr<TarvoImpl> replica = MakeReplica(c.params);
  bool valid = false;
  const std::vector<std::string> lines = vexa::CapturedLines([&] {
    valid = replica->builder ? CheckSSGParams(replica->builder.get()) : CheckHNSWParams(replica->hnsw.get());
  });
  const std::string text = c.text;
  EXPECT_EQ(valid, text.empty()) << c.name;
  EXPECT_EQ(lines, text.empty() ? std::vector<std::string>{} : std::vector<std::string>{text}) << c.name;
}

const char kDimText[] = "[ERROR] Wrong K_features when creating Tarvo.";
const char kRText[] = "[ERROR] Wrong R when creating Tarvo.";
const char kLText[] = "[ERROR] Wrong L when creating Tarvo.";
const char kAText[] = "[ERROR] Wrong A when creating Tarvo.";
const char kIterText[] = "[ERROR] Wrong graph_opt_iter when creating Tarvo.";
const char kMetricText[] = "[ERROR] Wrong metric when creating Tarvo.";
const char kInitText[] = "[ERROR] Wrong init_builder_type when creating Tarvo.";
const char kTypeText[] = "[ERROR] Wrong index_type when creating Tarvo.";
const char kEfText[] = "[ERROR] Wrong ef_construction when creating Tarvo.";

TEST_F(AddTest, SSGParametersHaveTheirRanges) {
  const ParamsCase cases[] = {
      {"Defaults", IndexParams{}, ""},
      {"Dim0", With([](IndexParams& p) { p.dim = 0; }), kDimText},
      {"Dim1", With([](IndexParams& p) { p.dim = 1; }), ""},
      {"Dim2999", With([](IndexParams& p) { p.dim = 2999; }), ""},
      {"Dim3000", With([](IndexParams& p) { p.dim = 3000; }), kDimText},
      {"R10", With([](IndexParams& p) { p.R = 10; }), kRText},
      {"R11", With([](IndexParams& p) { p.R = 11; }), ""},
      {"R499", With([](IndexParams& p) { p.R = 499; }), ""},
      {"R500", With([](IndexParams& p) { p.R = 500; }), kRText},
      {"RNegative", With([](IndexParams& p) { p.R = -16; }), kRText},
      {"L10", With([](IndexParams& p) { p.L = 10; }), kLText},
      {"L11", With([](IndexParams& p) { p.L = 11; }), ""},
      {"L1999", With([](IndexParams& p) { p.L = 1999; }), ""},
      {"L2000", With([](IndexParams& p) { p.L = 2000; }), kLText},
      {"A0", With([](IndexParams& p) { p.A = 0; }), kAText},
      {"A1", With([](IndexParams& p) { p.A = 1; }), ""},
      {"A360", With([](IndexParams& p) { p.A = 360; }), ""},
      {"A361", With([](IndexParams& p) { p.A = 361; }), kAText},
      {"IterMinusOne", With([](IndexParams& p) { p.graph_opt_iter = -1; }), kIterText},
      {"Iter30", With([](IndexParams& p) { p.graph_opt_iter = 30; }), ""},
      {"Iter31", With([](IndexParams& p) { p.graph_opt_iter = 31; }), kIterText},
      {"MetricIP", With([](IndexParams& p) { p.metric = "IP"; }), ""},
      {"MetricLowerCase", With([](IndexParams& p) { p.metric = "l2"; }), kMetricText},
      {"InitNNDescent", With([](IndexParams& p) { p.init_builder_type = "NNDescent"; }), ""},
      {"InitUnknown", With([](IndexParams& p) { p.init_builder_type = "KGraph"; }), kInitText},
      {"TypeNSG", With([](IndexParams& p) { p.index_type = "NSG"; }), ""},
      {"TypeTSDG", With([](IndexParams& p) { p.index_type = "TSDG"; }), ""},
      {"TypeLowerCaseHnsw", With([](IndexParams& p) { p.index_type = "hnsw"; }), kTypeText},
      {"FirstWrongFieldWins", With([](IndexParams& p) { p.R = 5, p.L = 5, p.metric = "cosine"; }), kRText},
  };
  for (const ParamsCase& c : cases) ExpectParamsChecked(c);
}

TEST_F(AddTest, HNSWParametersHaveTheirRanges) {
  const auto hnsw = [](void (*change)(IndexParams&)) {
    IndexParams params = With(change);
    params.index_type = "HNSW";
    return params;
  };
  const ParamsCase cases[] = {
      {"Defaults", hnsw([](IndexParams&) {}), ""},
      {"R9GivesM4", hnsw([](IndexParams& p) { p.R = 9; }), kRText},
      {"R10GivesM5", hnsw([](IndexParams& p) { p.R = 10; }), ""},
      {"R1001GivesM500", hnsw([](IndexParams& p) { p.R = 1001; }), ""},
      {"R1002GivesM501", hnsw([](IndexParams& p) { p.R = 1002; }), kRText},
      {"RNegative", hnsw([](IndexParams& p) { p.R = -20; }), kRText},
      {"EfIsTheLargerOfMAndL", hnsw([](IndexParams& p) { p.R = 40, p.L = 5; }), ""},
      {"Ef10", hnsw([](IndexParams& p) { p.R = 20, p.L = 10; }), kEfText},
      {"Ef1999", hnsw([](IndexParams& p) { p.L = 1999; }), ""},
      {"Ef2000", hnsw([](IndexParams& p) { p.L = 2000; }), kEfText},
      {"LNegative", hnsw([](IndexParams& p) { p.L = -5; }), kEfText},
      {"Dim3000", hnsw([](IndexParams& p) { p.dim = 3000; }), kDimText},
      {"Metric", hnsw([](IndexParams& p) { p.metric = "cosine"; }), kMetricText},
      {"NoAngleOrRefinementRule", hnsw([](IndexParams& p) { p.A = 0, p.graph_opt_iter = 99; }), ""},
  };
  for (const ParamsCase& c : cases) ExpectParamsChecked(c);
}

TEST_F(AddTest, ParameterChecksWithoutABuilderSayNothing) {
  EXPECT_EQ(Refusals([] {
              EXPECT_FALSE(CheckSSGParams(nullptr));
              EXPECT_FALSE(CheckHNSWParams(nullptr));
            }),
            std::vector<std::string>{});
}

struct InputCase {
  const char* name;
  const char* index_type;
  int R;
  int n;
  int consecutive;
  float badValue;  // 0: none; otherwise written into row 7
  const char* text;
};

// Input that a builder cannot use is refused with its reason before anything changes; the chunk
// table of an earlier failed Add stays in place, and a later Add of good rows builds.
TEST_F(AddTest, RefusesInputTheBuildersCannotUseBeforeBuilding) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const char* const kNotFinite = "[ERROR] Cannot add: SSG build: vector 7 holds a value that is not finite.";
  const InputCase cases[] = {
      {"TooFewForL", "SSG", 16, 32, 3, 0.0f,
       "[ERROR] Cannot add: SSG build: too few vectors: N = 32, must be above 32 (L = 32, 2 x initSample = 20, "
       "n_try = 10)."},
      {"NotANumber", "SSG", 16, 300, 3, nan, kNotFinite},
      {"Infinite", "NSG", 16, 300, 3, -inf, kNotFinite},
      // A graph that index and graph files could not hold is refused, also where the builders
      // would still build it.
      {"SlotsAboveAFilesLimit", "SSG", 16, 125000000, 20, 0.0f,
       "[ERROR] Cannot add: too many graph slots for an index file: N x K = 2000000000 (N = 125000000, K = 16), "
       "must be at most 1999999999."},
      {"SlotsOf2To31", "SSG", 16, 1 << 27, 20, 0.0f,
       "[ERROR] Cannot add: too many graph slots for an index file: N x K = 2147483648 (N = 134217728, K = 16), "
       "must be at most 1999999999."},
      {"HnswNotANumber", "HNSW", 16, 300, 3, nan,
       "[ERROR] Cannot add: HNSW build: vector 7 holds a value that is not finite."},
      {"HnswSlotsAboveAFilesLimit", "HNSW", 1000, 2000000, 20, 0.0f,
       "[ERROR] Cannot add: too many graph slots for an index file: N x K = 2000000000 (N = 2000000, K = 1000), "
       "must be at most 1999999999."},
  };
  for (const InputCase& c : cases) {
    IndexParams params;
    params.index_type = c.index_type;
    params.R = c.R;
    std::unique_ptr<Tarvo> index = MakeIndex(params);
    TarvoImpl& replica = TarvoTestAccess::Replica(*index, 0);
    replica.chunks.reset(new float*[1]{nullptr});  // what a failed build leaves
    const float* const earlier = *replica.chunks.get();
    float** const earlierTable = replica.chunks.get();
    Dataset data = SmallData();
    if (c.badValue != 0.0f) data.values[7 * data.dim + 3] = c.badValue;
    int result = 0;
    const std::vector<std::string> lines =
        vexa::CapturedLines([&] { result = index->Add(c.n, data.values.data(), c.consecutive, 0, 0); });
    EXPECT_EQ(result, -1) << c.name;
    EXPECT_EQ(lines, std::vector<std::string>{c.text}) << c.name;
    EXPECT_EQ(replica.chunks.get(), earlierTable) << c.name;
    EXPECT_EQ(replica.chunks[0], earlier) << c.name;
    EXPECT_FALSE(replica.graphBuilt) << c.name;
    EXPECT_EQ(index->GetNTotal(), 0) << c.name;
    EXPECT_EQ(TarvoTestAccess::DataNum(*index), 0) << c.name;
    const vexa::BuilderState& state = BuilderOf(replica);
    EXPECT_EQ(state.nb, 0) << c.name;
    EXPECT_EQ(state.chunks, nullptr) << c.name;
  }
  std::unique_ptr<Tarvo> index = MakeIndex(IndexParams{});
  Dataset data = SmallData();
  data.values[7 * data.dim] = nan;
  vexa::CapturedLines([&] { EXPECT_EQ(index->Add(data.n, data.values.data(), 3, 0, 0), -1); });
  vexa::CapturedLines([&] { EXPECT_EQ(index->Add(SmallData().n, SmallData().values.data(), 3, 0, 0), 0); });
  EXPECT_EQ(index->GetNTotal(), SmallData().n);
}

// Chunk c of the table starts 2^consecutive rows after chunk c - 1, and the builder reads the
// same table.
TEST_F(AddTest, ChunkTableStepsThroughTheRows) {
  struct Case {
    int consecutive;
    int64_t entries;
  };
  const float* x = SmallData().values.data();
  for (const Case& c : {Case{1, 150}, Case{3, 38}, Case{31, 1}}) {
    std::unique_ptr<Tarvo> index = MakeIndex(IndexParams{});
    vexa::CapturedLines([&] { EXPECT_EQ(index->Add(SmallData().n, x, c.consecutive, 0, 0), 0); });
    const TarvoImpl& replica = TarvoTestAccess::Replica(*index, 0);
    for (int64_t e = 0; e < c.entries; ++e) {
      EXPECT_EQ(replica.chunks[e], x + e * (int64_t{16} << c.consecutive)) << c.consecutive << " entry " << e;
    }
    EXPECT_EQ(replica.builder->chunks, replica.chunks.get());
    EXPECT_EQ(replica.builder->consecutiveLog, c.consecutive);
    EXPECT_EQ(replica.builder->nb, SmallData().n);
    EXPECT_EQ(index->GetNTotal(), SmallData().n);
    EXPECT_EQ(TarvoTestAccess::DataNum(*index), SmallData().n);
  }
}

// The level of Add chooses the searcher's codes.
TEST_F(AddTest, LevelChoosesTheSearchersCodes) {
  const char* const names[] = {"FP32", "SQ8U", "SQ4U", "FP16"};
  for (int level = 0; level < 4; ++level) {
    IndexParams params;
    params.index_type = level % 2 == 0 ? "SSG" : "HNSW";
    std::unique_ptr<Tarvo> index = MakeReadyIndex(params, level);
    const auto& searcher =
        static_cast<const vexa::GraphSearcherBase&>(*TarvoTestAccess::Replica(*index, 0).searcher);
    EXPECT_EQ(searcher.quantType, names[level]) << level;
    EXPECT_EQ(searcher.metric, "L2") << level;
  }
}

// With and without reordering, and for every builder, a query equal to a row finds that row
// first at distance 0: the labels are the caller's row numbers.
TEST_F(AddTest, LabelsAreTheCallersRowsWithAndWithoutReorder) {
  Dataset rows;
  rows.n = 20;
  rows.dim = SmallData().dim;
  rows.values.assign(SmallData().values.begin() + 100 * rows.dim, SmallData().values.begin() + 120 * rows.dim);
  for (const char* type : {"SSG", "HNSW"}) {
    for (int reorder : {0, 1}) {
      IndexParams params;
      params.index_type = type;
      std::unique_ptr<Tarvo> index = MakeGraphIndex(params, 0, reorder);
      const vexa::BuilderState& state = BuilderOf(TarvoTestAccess::Replica(*index, 0));
      std::vector<int> identity(SmallData().n);
      std::iota(identity.begin(), identity.end(), 0);
      EXPECT_EQ(state.graph.true_order == identity, reorder == 0) << type;
      vexa::CapturedLines([&] { EXPECT_EQ(index->BuildSearcher(), 0); });
      const Answers answers = SearchAll(*index, rows, 3);
      for (int q = 0; q < rows.n; ++q) {
        EXPECT_EQ(answers.labels[q * 3], 100 + q) << type << " reorder " << reorder;
        EXPECT_EQ(answers.distances[q * 3], 0.0f) << type << " reorder " << reorder;
      }
    }
  }
}

}  // namespace
}  // namespace tarvo_test
