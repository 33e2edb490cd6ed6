// Save, Load, SaveGraph and LoadGraph of the facade: paths, a save that fails leaving the old
// file, graph files the replica refuses or cannot build a searcher from, and the NUMA lines.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/index/index_test_support.h"
#include "tests/support/captured_stdout.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/scratch_dir.h"

namespace tarvo_test {
namespace {

class FilesTest : public IndexTest {
 protected:
  vexa::ScratchDir folder_;
};

// A path of `length` characters in folder.
std::string PathOfLength(const vexa::ScratchDir& folder, size_t length) {
  const std::string prefix = folder.Path("");
  return prefix + std::string(length - prefix.size(), 'p');
}

TEST_F(FilesTest, PathsAreShorterThan200Characters) {
  const std::unique_ptr<Tarvo> graph = MakeGraphIndex(IndexParams{});
  const std::unique_ptr<Tarvo> ready = MakeReadyIndex(IndexParams{});
  const std::unique_ptr<Tarvo> loaded = MakeEmptyIndex();
  const std::string longest = PathOfLength(folder_, 199);
  const std::string tooLong = PathOfLength(folder_, 200);
  const std::string graphPath = longest.substr(0, 198) + "g";
  struct Case {
    const char* name;
    std::function<int()> op;
    int result;
    std::vector<std::string> refusals;
  };
  const Case cases[] = {
      {"Save199", [&] { return ready->Save(longest.c_str()); }, 0, {}},
      {"Load199", [&] { return loaded->Load(longest.c_str()); }, 0, {}},
      {"SaveGraph199", [&] { return graph->SaveGraph(graphPath.c_str()); }, 0, {}},
      {"LoadGraph199", [&] { return loaded->LoadGraph(graphPath.c_str(), -1); }, 0, {}},
      {"Save200", [&] { return ready->Save(tooLong.c_str()); }, -1, {"[ERROR] Saving Path is too long."}},
      {"Load200", [&] { return loaded->Load(tooLong.c_str()); }, -1, {"[ERROR] Loading Path is too long."}},
      {"SaveGraph200", [&] { return graph->SaveGraph(tooLong.c_str()); }, -1, {"[ERROR] Saving Path is too long."}},
      {"LoadGraph200", [&] { return loaded->LoadGraph(tooLong.c_str(), -1); }, -1,
       {"[ERROR] Loading Path is too long."}},
      {"SaveNull", [&] { return ready->Save(nullptr); }, -1, {"[ERROR] Saving Path is null or empty."}},
      {"SaveEmpty", [&] { return ready->Save(""); }, -1, {"[ERROR] Saving Path is null or empty."}},
      {"SaveGraphNull", [&] { return graph->SaveGraph(nullptr); }, -1, {"[ERROR] Saving Path is null or empty."}},
      {"LoadNull", [&] { return loaded->Load(nullptr); }, -1, {"[ERROR] Index path is null or empty."}},
      {"LoadEmpty", [&] { return loaded->Load(""); }, -1, {"[ERROR] Index path is null or empty."}},
      {"LoadGraphEmpty", [&] { return loaded->LoadGraph("", 0); }, -1, {"[ERROR] Index path is null or empty."}},
  };
  for (const Case& c : cases) {
    int result = -2;
    EXPECT_EQ(Refusals([&] { result = c.op(); }), c.refusals) << c.name;
    EXPECT_EQ(result, c.result) << c.name;
  }
  EXPECT_EQ(folder_.Names().size(), 2u);
}

// A missing or empty file is refused by the readability check, which says why; Load itself
// adds nothing.
TEST_F(FilesTest, UnreadableFileIsRefusedByTheCheck) {
  const std::unique_ptr<Tarvo> index = MakeReadyIndex(IndexParams{});
  vexa::WriteFileBytes(folder_.Path("empty"), "");
  for (const char* name : {"empty", "missing"}) {
    const std::string path = folder_.Path(name);
    for (const bool graph : {false, true}) {
      int result = 0;
      const std::vector<std::string> lines =
          vexa::CapturedLines([&] { result = graph ? index->LoadGraph(path.c_str(), -1) : index->Load(path.c_str()); });
      EXPECT_EQ(result, -1) << name;
      ASSERT_EQ(lines.size(), 1u) << name;
      EXPECT_EQ(lines[0].rfind("[Error] An error occurred while checking if the file is readable: ", 0), 0u) << name;
    }
  }
  EXPECT_TRUE(TarvoTestAccess::Replica(*index, 0).searcherBuilt);
}

// A save that fails, before writing or while writing, leaves the file that was there byte for
// byte, and no other file behind.
TEST_F(FilesTest, FailedSaveKeepsTheOldFile) {
  const std::unique_ptr<Tarvo> ready = MakeReadyIndex(IndexParams{});
  const std::unique_ptr<Tarvo> graph = MakeGraphIndex(IndexParams{});
  const std::string indexPath = folder_.Path("index");
  const std::string graphPath = folder_.Path("graph");
  vexa::CapturedLines([&] {
    ASSERT_EQ(ready->Save(indexPath.c_str()), 0);
    ASSERT_EQ(graph->SaveGraph(graphPath.c_str()), 0);
  });
  const std::string indexBytes = vexa::FileBytes(indexPath);
  const std::string graphBytes = vexa::FileBytes(graphPath);
  ASSERT_GT(indexBytes.size(), 8192u);
  ASSERT_GT(graphBytes.size(), 8192u);

  int result = 0;
  EXPECT_EQ(Refusals([&] { result = graph->Save(indexPath.c_str()); }),
            (std::vector<std::string>{"[ERROR] Searcher has not been built; cannot save.",
                                      "[ERROR] Try to serialize a invalid Index."}));
  EXPECT_EQ(result, -1);
  EXPECT_EQ(Refusals([&] { result = ready->SaveGraph(graphPath.c_str()); }),
            (std::vector<std::string>{"[ERROR] Cannot save graph after searcher has been built.",
                                      "[ERROR] Try to save graph for a invalid Index."}));
  EXPECT_EQ(result, -1);
  {
    // Writes stop at 8 KiB, as on a full disk.
    const vexa::FileSizeLimit full(8192);
    std::vector<std::string> refusals = Refusals([&] { result = ready->Save(indexPath.c_str()); });
    EXPECT_EQ(result, -1);
    ASSERT_FALSE(refusals.empty());
    EXPECT_EQ(refusals.back(), "[ERROR] Try to serialize a invalid Index.");
    refusals = Refusals([&] { result = graph->SaveGraph(graphPath.c_str()); });
    EXPECT_EQ(result, -1);
    ASSERT_FALSE(refusals.empty());
    EXPECT_EQ(refusals.back(), "[ERROR] Try to save graph for a invalid Index.");
  }
  EXPECT_EQ(vexa::FileBytes(indexPath), indexBytes);
  EXPECT_EQ(vexa::FileBytes(graphPath), graphBytes);
  EXPECT_EQ(folder_.Names(), (std::set<std::string>{"graph", "index"}));

  // A folder that does not exist cannot take the file.
  const std::string nowhere = folder_.Path("missing/index");
  const std::vector<std::string> refusals = Refusals([&] { result = ready->Save(nowhere.c_str()); });
  EXPECT_EQ(result, -1);
  ASSERT_EQ(refusals.size(), 2u);
  EXPECT_EQ(refusals[0].rfind("[Error] An error occurred while checking if the file is writable: ", 0), 0u);
  EXPECT_EQ(refusals[1], "[ERROR] Try to serialize a invalid Index.");
}

// The bytes of the graph file of an index of the default parameters.
std::string GraphFileBytes(const vexa::ScratchDir& folder) {
  const std::string path = folder.Path("source");
  const std::unique_ptr<Tarvo> index = MakeGraphIndex(IndexParams{}, 1);
  vexa::CapturedLines([&] { EXPECT_EQ(index->SaveGraph(path.c_str()), 0); });
  return vexa::FileBytes(path);
}

// A graph file that the reader refuses leaves the replica as it was: still ready, with its
// graph and searcher.
TEST_F(FilesTest, RefusedGraphFileKeepsTheIndex) {
  const std::string good = GraphFileBytes(folder_);
  const std::unique_ptr<Tarvo> index = MakeReadyIndex(IndexParams{}, 0);
  TarvoImpl& replica = TarvoTestAccess::Replica(*index, 0);
  const int* const neighbors = replica.builder->graph.neighbors;
  const vexa::SearcherBase* const searcher = replica.searcher.get();
  const Answers answers = SearchAll(*index, Queries(), 5);
  int32_t bigDim = 3000;
  std::string badDim = good;
  std::memcpy(&badDim[0], &bigDim, sizeof(bigDim));
  struct Case {
    const char* name;
    std::string bytes;
    const char* line;  // the reader's line, before the facade's
  };
  const Case cases[] = {
      {"ThreeBytes", good.substr(0, 3), "No enough bytes to read in the file for read dim."},
      {"Dim3000", badDim, "Invalid number of dim : 3000."},
      {"CutInTheVectors", good.substr(0, good.size() - 10), nullptr},
  };
  for (const Case& c : cases) {
    const std::string path = folder_.Path(c.name);
    vexa::WriteFileBytes(path, c.bytes);
    int result = 0;
    const std::string text = vexa::CapturedStdout([&] { result = index->LoadGraph(path.c_str(), -1); });
    EXPECT_EQ(result, -1) << c.name;
    if (c.line != nullptr) {
      EXPECT_NE(text.find(c.line), std::string::npos) << c.name << ": " << text;
    }
    EXPECT_NE(text.find("[ERROR] Try to load graph a invalid Index.\n"), std::string::npos) << c.name;
    EXPECT_TRUE(replica.graphBuilt && replica.searcherBuilt) << c.name;
    EXPECT_EQ(replica.builder->graph.neighbors, neighbors) << c.name;
    EXPECT_EQ(replica.searcher.get(), searcher) << c.name;
    EXPECT_EQ(TarvoTestAccess::DataNum(*index), SmallData().n) << c.name;
    EXPECT_TRUE(SearchAll(*index, Queries(), 5) == answers) << c.name;
  }
}

// Levels 4 and 5 pass the reader but no searcher is built for them: the replica keeps the
// loaded graph without a searcher, and a level given to LoadGraph loads the same file.
TEST_F(FilesTest, GraphFileOfAnUnknownLevelLoadsOnlyWithALevel) {
  std::string bytes = GraphFileBytes(folder_);
  const int32_t level = 4;
  std::memcpy(&bytes[8], &level, sizeof(level));
  const std::string path = folder_.Path("level4");
  vexa::WriteFileBytes(path, bytes);
  const std::unique_ptr<Tarvo> index = MakeEmptyIndex();
  EXPECT_EQ(Refusals([&] { EXPECT_EQ(index->LoadGraph(path.c_str(), -1), -1); }),
            (std::vector<std::string>{"[ERROR] Building Searcher: Level not found.",
                                      "[ERROR] Try to load graph a invalid Index."}));
  TarvoImpl& replica = TarvoTestAccess::Replica(*index, 0);
  EXPECT_TRUE(replica.graphBuilt);
  EXPECT_FALSE(replica.searcherBuilt);
  EXPECT_EQ(replica.builder->graph.N, SmallData().n);
  EXPECT_EQ(replica.builder->quantLevel, 4);
  EXPECT_EQ(Refusals([&] { EXPECT_EQ(index->BuildSearcher(), -1); }),
            std::vector<std::string>{"[ERROR] Building Searcher: Level not found."});
  EXPECT_EQ(Refusals([&] { EXPECT_EQ(index->LoadGraph(path.c_str(), 0), 0); }), std::vector<std::string>{});
  EXPECT_TRUE(replica.searcherBuilt);
  EXPECT_EQ(index->GetNTotal(), SmallData().n);
}

// In NUMA mode the file operations say which node works: saving on node 0 alone, loading on
// every node.
TEST_F(FilesTest, NumaModeNamesTheNodes) {
  FakeNuma::SetMachine(2);
  NUMA_ENABLED = true;
  num_numa_nodes = 2;
  const std::unique_ptr<Tarvo> graph = MakeGraphIndex(IndexParams{});
  const std::unique_ptr<Tarvo> ready = MakeReadyIndex(IndexParams{});
  const std::unique_ptr<Tarvo> loaded = MakeEmptyIndex();
  const std::string indexPath = folder_.Path("index");
  const std::string graphPath = folder_.Path("graph");
  // The lines of the NUMA paths: those without a prefix that name a node or say done.
  const auto progress = [](const std::vector<std::string>& lines) {
    std::vector<std::string> kept;
    for (const std::string& line : lines) {
      if (line.find("on Node") != std::string::npos || line.find("done") != std::string::npos ||
          line.rfind("[ERROR]", 0) == 0) {
        kept.push_back(line);
      }
    }
    return kept;
  };
  struct Case {
    const char* name;
    std::function<int()> op;
    int result;
    std::vector<std::string> lines;
    std::vector<int> bindings;
  };
  const Case cases[] = {
      {"SaveGraph", [&] { return graph->SaveGraph(graphPath.c_str()); }, 0,
       {"Save Graph on Node 0", "Save Graph done."}, {0, -1}},
      {"Save", [&] { return ready->Save(indexPath.c_str()); }, 0, {"Save on Node 0", "Save done."}, {0, -1}},
      {"SaveFails", [&] { return graph->Save(indexPath.c_str()); }, -1,
       {"Save on Node 0", "[ERROR] Searcher has not been built; cannot save.", "[ERROR] Try to save a invalid Index."},
       {0, -1}},
      {"Load", [&] { return loaded->Load(indexPath.c_str()); }, 0, {"Load on Node 0", "Load on Node 1"}, {0, 1, -1}},
      {"LoadGraph", [&] { return loaded->LoadGraph(graphPath.c_str(), -1); }, 0,
       {"Load on Node 0", "Graph Loading done", "Load on Node 1", "Graph Loading done",
        "Load Graph done, tarvoDataNum: 300"},
       {0, 1, -1}},
  };
  for (const Case& c : cases) {
    FakeNuma::ClearBindings();
    int result = -2;
    const std::vector<std::string> lines = vexa::CapturedLines([&] { result = c.op(); });
    EXPECT_EQ(result, c.result) << c.name;
    EXPECT_EQ(progress(lines), c.lines) << c.name;
    EXPECT_EQ(FakeNuma::Bindings(), c.bindings) << c.name;
  }
  EXPECT_EQ(loaded->GetNTotal(), SmallData().n);
}

}  // namespace
}  // namespace tarvo_test
