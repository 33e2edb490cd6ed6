// Every graph type, quantization level and metric comes back from its blob answering exactly as
// the index that wrote it.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "engine/search/searcher/graph_searcher_base.h"
#include "tests/index/index_test_support.h"
#include "tests/support/scratch_dir.h"

namespace tarvo_test {
namespace {

struct RoundTripCase {
  const char* index_type;
  const char* metric;
  int level;
};

std::string CaseName(const testing::TestParamInfo<RoundTripCase>& info) {
  return std::string(info.param.index_type) + "_" + info.param.metric + "_Level" + std::to_string(info.param.level);
}

class RoundTripTest : public IndexTest, public testing::WithParamInterface<RoundTripCase> {
 protected:
  // The index of the case, built from SmallData(); odd levels reorder the graph and TSDG refines
  // it with MagicLink. Its graph file is written to graphFile before the searcher is built.
  static std::unique_ptr<Tarvo> Build(const RoundTripCase& c, const std::string& graphFile) {
    IndexParams params;
    params.index_type = c.index_type;
    params.metric = c.metric;
    if (params.index_type == "TSDG") params.graph_opt_iter = 2;
    std::unique_ptr<Tarvo> index = MakeGraphIndex(params, c.level, c.level % 2);
    vexa::CapturedLines([&] {
      EXPECT_EQ(index->SaveGraph(graphFile.c_str()), 0);
      EXPECT_EQ(index->BuildSearcher(), 0);
    });
    return index;
  }

  // Expects loaded to hold what saved holds and to answer as it does at the same ef; neither
  // keeps its builder's graph or vectors.
  static void ExpectSameIndex(Tarvo& saved, Tarvo& loaded) {
    ExpectBuilderDataReleased(TarvoTestAccess::Replica(saved, 0));
    ExpectBuilderDataReleased(TarvoTestAccess::Replica(loaded, 0));
    EXPECT_EQ(loaded.GetNTotal(), saved.GetNTotal());
    EXPECT_EQ(loaded.GetDim(), saved.GetDim());
    const auto& a = static_cast<const vexa::GraphSearcherBase&>(*TarvoTestAccess::Replica(saved, 0).searcher);
    const auto& b = static_cast<const vexa::GraphSearcherBase&>(*TarvoTestAccess::Replica(loaded, 0).searcher);
    EXPECT_EQ(b.metric, a.metric);
    EXPECT_EQ(b.quantType, a.quantType);
    for (Tarvo* index : {&saved, &loaded}) vexa::CapturedLines([&] { EXPECT_EQ(index->SetEf(40), 0); });
    const Answers expected = SearchAll(saved, Queries(), 10);
    EXPECT_TRUE(SearchAll(loaded, Queries(), 10) == expected);
    EXPECT_TRUE(SearchAll(loaded, Queries(), 10, 3) == expected);
  }
};

TEST_P(RoundTripTest, BlobAndFilesRestoreTheIndex) {
  const vexa::ScratchDir folder;
  const std::string graphFile = folder.Path("graph");
  const std::unique_ptr<Tarvo> saved = Build(GetParam(), graphFile);
  const std::vector<unsigned char> blob = BlobOf(*saved);
  size_t dataSize = 0;
  vexa::CapturedLines([&] { dataSize = TarvoTestAccess::Replica(*saved, 0).searcher->GetDataSize(); });
  EXPECT_EQ(blob.size(), dataSize);

  const std::unique_ptr<Tarvo> loaded = MakeEmptyIndex();
  std::vector<std::string> lines;
  int result = -2;
  lines = vexa::CapturedLines([&] {
    const unsigned long length = blob.size();
    result = loaded->Deserialize(blob.data(), length);
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(lines.back(), "Serialize done.");
  EXPECT_EQ(TarvoTestAccess::DataNum(*loaded), saved->GetNTotal());
  ExpectSameIndex(*saved, *loaded);
  // The blob that the loaded index writes is the one it read.
  EXPECT_EQ(BlobOf(*loaded), blob);

  // The index file holds the blob.
  const std::string indexFile = folder.Path("index");
  vexa::CapturedLines([&] { EXPECT_EQ(saved->Save(indexFile.c_str()), 0); });
  EXPECT_EQ(vexa::FileBytes(indexFile), std::string(blob.begin(), blob.end()));
  const std::unique_ptr<Tarvo> fromFile = MakeEmptyIndex();
  vexa::CapturedLines([&] { EXPECT_EQ(fromFile->Load(indexFile.c_str()), 0); });
  EXPECT_EQ(TarvoTestAccess::DataNum(*fromFile), saved->GetNTotal());
  ExpectSameIndex(*saved, *fromFile);

  // The graph file rebuilds the same searcher at the saved level.
  const std::unique_ptr<Tarvo> fromGraph = MakeEmptyIndex();
  lines = vexa::CapturedLines([&] { EXPECT_EQ(fromGraph->LoadGraph(graphFile.c_str(), -1), 0); });
  EXPECT_EQ(lines.back(), "Load Graph done, tarvoDataNum: " + std::to_string(saved->GetNTotal()));
  ExpectSameIndex(*saved, *fromGraph);
  EXPECT_EQ(BlobOf(*fromGraph), blob);
}

std::vector<RoundTripCase> AllCases() {
  std::vector<RoundTripCase> cases;
  for (const char* type : {"SSG", "NSG", "TSDG", "HNSW"}) {
    for (const char* metric : {"L2", "IP"}) {
      for (int level = 0; level < 4; ++level) cases.push_back({type, metric, level});
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Everything, RoundTripTest, testing::ValuesIn(AllCases()), CaseName);

// A graph file loads at any level, whatever level it was saved with; its header shows what was
// saved.
TEST_F(RoundTripTest, GraphFileLoadsAtAnotherLevel) {
  const vexa::ScratchDir folder;
  const std::string graphFile = folder.Path("graph");
  const std::unique_ptr<Tarvo> saved = MakeGraphIndex(IndexParams{}, 0);
  vexa::CapturedLines([&] { EXPECT_EQ(saved->SaveGraph(graphFile.c_str()), 0); });
  const char* const names[] = {"FP32", "SQ8U", "SQ4U", "FP16"};
  for (int level = 0; level < 4; ++level) {
    const std::unique_ptr<Tarvo> loaded = MakeEmptyIndex();
    const std::vector<std::string> lines =
        vexa::CapturedLines([&] { EXPECT_EQ(loaded->LoadGraph(graphFile.c_str(), level), 0); });
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "dim:16, quantLevel:0, ValidData: 1, metric:1, consecutiveLog:3, nb:300"),
              lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "[Pexo::LoadGraph] nb:300, d:16, consecutiveLog:3"), lines.end());
    const auto& searcher =
        static_cast<const vexa::GraphSearcherBase&>(*TarvoTestAccess::Replica(*loaded, 0).searcher);
    EXPECT_EQ(searcher.quantType, names[level]);
    EXPECT_EQ(loaded->GetNTotal(), 300);
    EXPECT_EQ(loaded->GetDim(), 16);
    // The vectors that the reader made went into the searcher's codes and were released.
    ExpectBuilderDataReleased(TarvoTestAccess::Replica(*loaded, 0));
  }
}

class SerializeTest : public IndexTest {};

// Serialize wants a null pointer to fill and leaves a given one alone.
TEST_F(SerializeTest, RefusesAPointerThatIsNotNull) {
  const std::unique_ptr<Tarvo> index = MakeReadyIndex(IndexParams{});
  unsigned char byte = 0;
  unsigned char* data = &byte;
  unsigned long length = 99;
  EXPECT_EQ(Refusals([&] { EXPECT_EQ(index->Serialize(data, length), -1); }),
            std::vector<std::string>{"[ERROR] Input pointer to Serialize must be a nullptr."});
  EXPECT_EQ(data, &byte);
  EXPECT_EQ(length, 99u);
}

}  // namespace
}  // namespace tarvo_test
