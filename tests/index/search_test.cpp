// Search, SetEf and SetEarlyStoppingParams: argument checks, the static split of a team, and a
// failure inside the team.

#include <gtest/gtest.h>
#include <omp.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/index/search_split.h"
#include "engine/search/searcher/searcher_base.h"
#include "tests/index/index_test_support.h"

namespace tarvo_test {
namespace {

class SearchTest : public IndexTest {
 protected:
  // One ready index for every test of the suite.
  static Tarvo& Ready() {
    static std::unique_ptr<Tarvo> index = [] {
      OmpThreads one(1);
      return MakeReadyIndex(IndexParams{});
    }();
    return *index;
  }
};

struct SearchArgumentCase {
  const char* name;
  int n;
  bool nullQueries;
  int k;  // 0 and below as given; kAll = the index size; kMore = one more
  bool nullLabels;
  bool nullDistances;
  int threads;  // 0 and below as given; kAll = the hardware threads; kMore = one more
  const char* text;  // "" for a search that runs
};

constexpr int kAll = 1000000;
constexpr int kMore = 1000001;

TEST_F(SearchTest, RefusesArgumentsInOrderWithOutputsUntouched) {
  const char kRows[] = "[ERROR] Wrong number of data when tarvo search.";
  const char kThreads[] = "[ERROR] Wrong number of num_thread when tarvo search.";
  const char kLabels[] = "[ERROR] Data labels is nullptr when tarvo search.";
  const SearchArgumentCase cases[] = {
      {"NoRows", 0, true, 0, true, true, 0, kRows},
      {"NoQueries", 20, true, 0, true, true, 0, "[ERROR] Data x is nullptr when tarvo search."},
      {"NoTopK", 20, false, 0, true, true, 0, "[ERROR] Wrong topk when tarvo search."},
      {"NoLabels", 20, false, 5, true, false, 0, kLabels},
      {"NoDistances", 20, false, 5, false, true, 0, kLabels},
      {"NoThreads", 20, false, 5, false, false, 0, kThreads},
      {"MoreThanTheHardwareThreads", 20, false, 5, false, false, kMore, kThreads},
      {"KAboveTheIndexSize", 20, false, kMore, false, false, kAll, "[ERROR] The value of k is greater than that of "
                                                                   "data_num when tarvo search."},
      {"KIsTheIndexSizeOnAllThreads", 20, false, kAll, false, false, kAll, ""},
  };
  Tarvo& index = Ready();
  const int size = TarvoTestAccess::DataNum(index);
  const int hardware = TarvoTestAccess::MaxThreads(index);
  ASSERT_EQ(size, SmallData().n);
  for (const SearchArgumentCase& c : cases) {
    const int k = c.k == kAll ? size : c.k == kMore ? size + 1 : c.k;
    const int threads = c.threads == kAll ? hardware : c.threads == kMore ? hardware + 1 : c.threads;
    Answers answers(Queries().n, size + 1);
    int result = -2;
    const std::vector<std::string> refusals = Refusals([&] {
      result = index.Search(c.n, c.nullQueries ? nullptr : Queries().values.data(), k,
                            c.nullDistances ? nullptr : answers.distances.data(),
                            c.nullLabels ? nullptr : answers.labels.data(), threads);
    });
    const std::string text = c.text;
    EXPECT_EQ(result, text.empty() ? 0 : -1) << c.name;
    EXPECT_EQ(refusals, text.empty() ? std::vector<std::string>{} : std::vector<std::string>{text}) << c.name;
    EXPECT_EQ(answers == Answers(Queries().n, size + 1), !text.empty()) << c.name;
  }
}

TEST(SearchSplit, BlocksFollowEachOtherAndTheFirstTakeOneMore) {
  struct Case {
    int n;
    int T;
    std::vector<std::pair<int64_t, int64_t>> blocks;
  };
  const Case cases[] = {
      {10, 4, {{0, 3}, {3, 6}, {6, 8}, {8, 10}}},
      {2, 4, {{0, 1}, {1, 2}, {2, 2}, {2, 2}}},
      {8, 4, {{0, 2}, {2, 4}, {4, 6}, {6, 8}}},
      {7, 1, {{0, 7}}},
  };
  for (const Case& c : cases) {
    for (int t = 0; t < c.T; ++t) {
      const vexa::RowRange rows = vexa::StaticSplit(c.n, c.T, t);
      EXPECT_EQ(std::make_pair(rows.begin, rows.end), c.blocks[t]) << c.n << " rows, thread " << t << " of " << c.T;
    }
  }
}

// Every team size answers as the calling thread does.
TEST_F(SearchTest, TeamsAnswerAsTheCallingThread) {
  Tarvo& index = Ready();
  const Answers alone = SearchAll(index, Queries(), 10, 1);
  for (int threads : {2, 3, TarvoTestAccess::MaxThreads(index)}) {
    EXPECT_TRUE(SearchAll(index, Queries(), 10, threads) == alone) << threads << " threads";
  }
}

// A team that gets fewer threads than asked for (inside another team) still answers every row;
// two searches run on one index at once.
TEST_F(SearchTest, SplitFollowsTheTeamActuallyMade) {
  Tarvo& index = Ready();
  const Answers alone = SearchAll(index, Queries(), 10, 1);
  std::vector<Answers> answers(2, Answers(Queries().n, 10));
  std::vector<int> results(2, -2);
  const int levels = omp_get_max_active_levels();
  omp_set_max_active_levels(1);  // the inner teams get one thread each
  vexa::CapturedLines([&] {
#pragma omp parallel num_threads(2)
    {
      const int t = omp_get_thread_num();
      results[t] = index.Search(Queries().n, Queries().values.data(), 10, answers[t].distances.data(),
                                answers[t].labels.data(), 4);
    }
  });
  omp_set_max_active_levels(levels);
  for (int t = 0; t < 2; ++t) {
    EXPECT_EQ(results[t], 0);
    EXPECT_TRUE(answers[t] == alone) << "caller " << t;
  }
}

// A searcher that answers each query with its first component as the label and fails on 5.
class FailingSearcher : public vexa::SearcherBase {
 public:
  void Build(float**, int, int, int) override {}
  void SearchQuery(const float* query, int, int64_t* labels, float* distances) const override {
    if (query[0] == 5.0f) throw std::runtime_error("row 5 is lost");
    labels[0] = static_cast<int64_t>(query[0]);
    distances[0] = 0.0f;
  }
  void SetEf(int) override {}
  int GetEf() const override { return 0; }
  void SetEarlyStoppingParams(int, int) override {}
  void SetPo(int) override {}
  void UpdatePrefetchLines() override {}
  size_t GetDataSize() const override { return 0; }
  int LoadSearcherFromMem(const uint8_t*, size_t*, size_t*) override { return -1; }
  int SaveSearcherToMem(uint8_t*, size_t*, size_t*) const override { return -1; }
};

// An exception may not leave a team: it is reported after the team as one line and -1, while
// the other threads answer their rows. On the calling thread it leaves Search.
TEST_F(SearchTest, FailureInsideTheTeamIsReportedAfterIt) {
  Dataset queries;
  queries.n = 12;
  queries.dim = SmallData().dim;
  queries.values.assign(static_cast<size_t>(queries.n) * queries.dim, 0.0f);
  for (int q = 0; q < queries.n; ++q) queries.values[static_cast<size_t>(q) * queries.dim] = static_cast<float>(q);
  for (const bool numa : {false, true}) {
    NUMA_ENABLED = numa;
    std::unique_ptr<Tarvo> index = MakeReadyIndex(IndexParams{});
    TarvoImpl& replica = TarvoTestAccess::Replica(*index, 0);
    replica.searcher = std::make_unique<FailingSearcher>();
    Answers answers(queries.n, 1);
    int result = 0;
    const std::vector<std::string> refusals = Refusals([&] {
      result = index->Search(queries.n, queries.values.data(), 1, answers.distances.data(), answers.labels.data(), 3);
    });
    EXPECT_EQ(result, -1) << numa;
    EXPECT_EQ(refusals, std::vector<std::string>{"[ERROR] Search failed: row 5 is lost"}) << numa;
    // Three threads take rows 0-3, 4-7 and 8-11: the second gives up after row 4.
    for (int q : {0, 3, 4, 8, 11}) EXPECT_EQ(answers.labels[q], q) << numa;
    for (int q : {5, 6, 7}) EXPECT_EQ(answers.labels[q], -7) << numa;
    if (!numa) {
      EXPECT_THROW(index->Search(queries.n, queries.values.data(), 1, answers.distances.data(),
                                 answers.labels.data(), 1),
                   std::runtime_error);
    }
  }
}

TEST_F(SearchTest, SearchParametersHaveTheirRanges) {
  Tarvo& index = Ready();
  const int size = TarvoTestAccess::DataNum(index);
  const vexa::SearcherBase& searcher = *TarvoTestAccess::Replica(index, 0).searcher;
  struct EfCase {
    int ef;
    const char* text;
  };
  for (const EfCase& c : {EfCase{0, "[ERROR] Wrong ef when setting ef."},
                          EfCase{size + 1, "[ERROR] Wrong ef when setting ef."}, EfCase{size, ""}, EfCase{1, ""}}) {
    const int before = searcher.GetEf();
    int result = -2;
    const std::vector<std::string> refusals = Refusals([&] { result = index.SetEf(c.ef); });
    const std::string text = c.text;
    EXPECT_EQ(result, text.empty() ? 0 : -1) << c.ef;
    EXPECT_EQ(refusals, text.empty() ? std::vector<std::string>{} : std::vector<std::string>{text}) << c.ef;
    EXPECT_EQ(searcher.GetEf(), text.empty() ? c.ef : before) << c.ef;
  }
  struct StopCase {
    int adding_pref;
    int patience;
    const char* text;
  };
  for (const StopCase& c : {StopCase{0, 5, "[ERROR] Wrong adding_pref when setting stopping params."},
                            StopCase{0, 0, "[ERROR] Wrong adding_pref when setting stopping params."},
                            StopCase{3, 0, "[ERROR] Wrong patience when setting stopping params."},
                            StopCase{1, 1, ""}, StopCase{1000000, 1000000, ""}}) {
    int result = -2;
    const std::vector<std::string> refusals =
        Refusals([&] { result = index.SetEarlyStoppingParams(c.adding_pref, c.patience); });
    const std::string text = c.text;
    EXPECT_EQ(result, text.empty() ? 0 : -1) << c.adding_pref << " " << c.patience;
    EXPECT_EQ(refusals, text.empty() ? std::vector<std::string>{} : std::vector<std::string>{text});
  }
  vexa::CapturedLines([&] { index.SetEf(32); });
}

}  // namespace
}  // namespace tarvo_test
