// Save and SaveGraph where the file system refuses them: a folder in which nothing may be made
// (not even by root), a folder standing where the file goes (the final rename fails), a file
// standing where a folder goes, a missing folder. Each gives -1 with the facade's failure line
// and leaves what was there byte for byte, without a stray file.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/index/index_test_support.h"
#include "tests/support/immutable_folder.h"
#include "tests/support/scratch_dir.h"

namespace tarvo_test {
namespace {

enum class Fault { kImmutableFolder, kFolderAtPath, kFileAtFolder, kMissingFolder };

struct FaultCase {
  const char* name;
  bool graph_file;         // SaveGraph after Add, else Save after BuildSearcher
  const char* index_type;  // the SSG and HNSW builders reach the graph file on paths of their own
  Fault fault;
};

class SaveFaultTest : public IndexTest, public testing::WithParamInterface<FaultCase> {};

// The names in the folder at path.
std::set<std::string> NamesIn(const std::string& path) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path)) names.insert(entry.path().filename().string());
  return names;
}

TEST_P(SaveFaultTest, LeavesWhatWasThere) {
  const FaultCase& c = GetParam();
  IndexParams params;
  params.index_type = c.index_type;
  const std::unique_ptr<Tarvo> index = c.graph_file ? MakeGraphIndex(params) : MakeReadyIndex(params);
  vexa::ScratchDir dir;
  const std::string folder = dir.Path("indexes");
  std::filesystem::create_directory(folder);
  const std::string old_file = folder + "/index";
  const std::string old_bytes = "the previous index, which must survive";
  vexa::WriteFileBytes(old_file, old_bytes);
  std::set<std::string> names = {"index"};

  std::string path = old_file;
  std::unique_ptr<vexa::ImmutableFolder> hold;
  switch (c.fault) {
    case Fault::kImmutableFolder:
      hold = std::make_unique<vexa::ImmutableFolder>(folder);
      if (!hold->Held()) GTEST_SKIP() << "the file system here cannot make a folder immutable";
      break;
    case Fault::kFolderAtPath:
      path = folder + "/index.d";
      std::filesystem::create_directory(path);
      vexa::WriteFileBytes(path + "/inside", old_bytes);
      names.insert("index.d");
      break;
    case Fault::kFileAtFolder:
      path = old_file + "/inner";
      break;
    case Fault::kMissingFolder:
      path = folder + "/missing/index";
      break;
  }
  int result = 0;
  const std::vector<std::string> refusals =
      Refusals([&] { result = c.graph_file ? index->SaveGraph(path.c_str()) : index->Save(path.c_str()); });
  hold.reset();
  EXPECT_EQ(result, -1);
  ASSERT_FALSE(refusals.empty());
  EXPECT_EQ(refusals.back(), c.graph_file ? "[ERROR] Try to save graph for a invalid Index."
                                          : "[ERROR] Try to serialize a invalid Index.");
  EXPECT_EQ(vexa::FileBytes(old_file), old_bytes);
  EXPECT_EQ(NamesIn(folder), names);
  if (c.fault == Fault::kFolderAtPath) {
    EXPECT_EQ(NamesIn(path), std::set<std::string>{"inside"});
    EXPECT_EQ(vexa::FileBytes(path + "/inside"), old_bytes);
  }
}

// A full disk, and Save into a missing folder, are the files tests' own.
INSTANTIATE_TEST_SUITE_P(
    Faults, SaveFaultTest,
    testing::Values(FaultCase{"SaveInAnImmutableFolder", false, "SSG", Fault::kImmutableFolder},
                    FaultCase{"SaveOverAFolder", false, "SSG", Fault::kFolderAtPath},
                    FaultCase{"SaveUnderAFile", false, "SSG", Fault::kFileAtFolder},
                    FaultCase{"SsgGraphInAnImmutableFolder", true, "SSG", Fault::kImmutableFolder},
                    FaultCase{"SsgGraphOverAFolder", true, "SSG", Fault::kFolderAtPath},
                    FaultCase{"SsgGraphUnderAFile", true, "SSG", Fault::kFileAtFolder},
                    FaultCase{"SsgGraphInAMissingFolder", true, "SSG", Fault::kMissingFolder},
                    FaultCase{"HnswGraphInAnImmutableFolder", true, "HNSW", Fault::kImmutableFolder},
                    FaultCase{"HnswGraphOverAFolder", true, "HNSW", Fault::kFolderAtPath},
                    FaultCase{"HnswGraphUnderAFile", true, "HNSW", Fault::kFileAtFolder},
                    FaultCase{"HnswGraphInAMissingFolder", true, "HNSW", Fault::kMissingFolder}),
    [](const testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarvo_test
