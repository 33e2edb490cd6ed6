// The states of an index and what each operation needs and leaves, with the facade's texts.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/index/index_test_support.h"
#include "tests/support/scratch_dir.h"

namespace tarvo_test {
namespace {

enum class State { kEmptyParam, kEmptyDefault, kGraph, kReady };
enum class Op {
  kAdd,
  kBuildSearcher,
  kSearchOne,
  kSearchTeam,
  kSetEf,
  kSetEarlyStopping,
  kSerialize,
  kDeserialize,
  kSave,
  kLoad,
  kSaveGraph,
  kLoadGraph,
};

const char* Name(State state) {
  switch (state) {
    case State::kEmptyParam: return "EmptyParam";
    case State::kEmptyDefault: return "EmptyDefault";
    case State::kGraph: return "Graph";
    case State::kReady: return "Ready";
  }
  return "";
}

const char* Name(Op op) {
  switch (op) {
    case Op::kAdd: return "Add";
    case Op::kBuildSearcher: return "BuildSearcher";
    case Op::kSearchOne: return "SearchOneThread";
    case Op::kSearchTeam: return "SearchThreeThreads";
    case Op::kSetEf: return "SetEf";
    case Op::kSetEarlyStopping: return "SetEarlyStoppingParams";
    case Op::kSerialize: return "Serialize";
    case Op::kDeserialize: return "Deserialize";
    case Op::kSave: return "Save";
    case Op::kLoad: return "Load";
    case Op::kSaveGraph: return "SaveGraph";
    case Op::kLoadGraph: return "LoadGraph";
  }
  return "";
}

std::unique_ptr<Tarvo> MakeInState(State state) {
  switch (state) {
    case State::kEmptyParam: return MakeIndex(IndexParams{});
    case State::kEmptyDefault: {
      std::unique_ptr<Tarvo> index;
      vexa::CapturedLines([&] { index = std::make_unique<Tarvo>(); });
      return index;
    }
    case State::kGraph: return MakeGraphIndex(IndexParams{});
    case State::kReady: return MakeReadyIndex(IndexParams{});
  }
  return nullptr;
}

// The blob of a ready index of the default parameters at level 1.
const std::vector<unsigned char>& LevelOneBlob() {
  static const std::vector<unsigned char> blob = BlobOf(*MakeReadyIndex(IndexParams{}, 1));
  return blob;
}

// The folder of the files that the loads read, for the whole run.
const vexa::ScratchDir& Files() {
  static const vexa::ScratchDir files;
  return files;
}

// An index file of the level-one blob.
const std::string& IndexFile() {
  static const std::string path = [] {
    const std::string file = Files().Path("index");
    vexa::WriteFileBytes(file, std::string(LevelOneBlob().begin(), LevelOneBlob().end()));
    return file;
  }();
  return path;
}

// A graph file of an index of the default parameters at level 2.
const std::string& GraphFile() {
  static const std::string path = [] {
    const std::string file = Files().Path("graph");
    const std::unique_ptr<Tarvo> index = MakeGraphIndex(IndexParams{}, 2);
    vexa::CapturedLines([&] { EXPECT_EQ(index->SaveGraph(file.c_str()), 0); });
    return file;
  }();
  return path;
}

// Runs op on index; Save and SaveGraph write into folder.
int RunOp(Tarvo& index, Op op, const vexa::ScratchDir& folder) {
  const Dataset& queries = Queries();
  Answers answers(queries.n, 5);
  switch (op) {
    case Op::kAdd: return index.Add(SmallData().n, SmallData().values.data(), 3, 0, 0);
    case Op::kBuildSearcher: return index.BuildSearcher();
    case Op::kSearchOne:
    case Op::kSearchTeam:
      return index.Search(queries.n, queries.values.data(), 5, answers.distances.data(), answers.labels.data(),
                          op == Op::kSearchOne ? 1 : 3);
    case Op::kSetEf: return index.SetEf(40);
    case Op::kSetEarlyStopping: return index.SetEarlyStoppingParams(3, 5);
    case Op::kSerialize: {
      unsigned char* data = nullptr;
      unsigned long length = 0;
      const int result = index.Serialize(data, length);
      delete[] data;
      return result;
    }
    case Op::kDeserialize: {
      const unsigned long length = LevelOneBlob().size();
      return index.Deserialize(LevelOneBlob().data(), length);
    }
    case Op::kSave: return index.Save(folder.Path("saved").c_str());
    case Op::kLoad: return index.Load(IndexFile().c_str());
    case Op::kSaveGraph: return index.SaveGraph(folder.Path("saved").c_str());
    case Op::kLoadGraph: return index.LoadGraph(GraphFile().c_str(), -1);
  }
  return -2;
}

struct LifecycleCase {
  State state;
  Op op;
  int result;
  std::vector<std::string> refusals;  // every line of the call that begins with "[E" or "[W"
  State after;
};

void PrintTo(const LifecycleCase& c, std::ostream* os) { *os << Name(c.state) << " " << Name(c.op); }

class LifecycleTest : public IndexTest, public testing::WithParamInterface<LifecycleCase> {
 protected:
  void SetUp() override {
    // The files the loads read are made before the index under test.
    IndexFile();
    GraphFile();
  }

  vexa::ScratchDir folder_;
};

TEST_P(LifecycleTest, OperationNeedsItsStateAndLeavesTheNext) {
  const LifecycleCase& c = GetParam();
  std::unique_ptr<Tarvo> index = MakeInState(c.state);
  int result = -2;
  EXPECT_EQ(Refusals([&] { result = RunOp(*index, c.op, folder_); }), c.refusals);
  EXPECT_EQ(result, c.result);
  const TarvoImpl& replica = TarvoTestAccess::Replica(*index, 0);
  EXPECT_EQ(replica.createdWithoutParameter, c.state == State::kEmptyDefault);
  EXPECT_EQ(replica.graphBuilt, c.after == State::kGraph || c.after == State::kReady);
  EXPECT_EQ(replica.searcherBuilt, c.after == State::kReady);
  // A refused save leaves no file behind.
  if (c.op == Op::kSave || c.op == Op::kSaveGraph) {
    EXPECT_EQ(folder_.Names().count("saved"), c.result == 0 ? 1u : 0u);
  }
}

const char kNoGraphForSearcher[] = "[ERROR] no graph is trained; cannot build searcher.";
const char kTooLargeK[] = "[ERROR] The value of k is greater than that of data_num when tarvo search.";
const char kWrongEf[] = "[ERROR] Wrong ef when setting ef.";
const char kNoSearcherReady[] = "[ERROR] no searcher ready; cannot set Ef.";
const char kNotSerializable[] = "[ERROR] Graph has not been built; cannot serialize.";
const char kSerializeFailed[] = "[ERROR] Try to serialize a invalid Index.";
const char kAddAgain[] = "[ERROR] Cannot add again after graph is trained.";
const char kSearcherNotBuilt[] = "[ERROR] Searcher not built; cannot search.";
const char kSaveGraphFailed[] = "[ERROR] Try to save graph for a invalid Index.";

std::vector<LifecycleCase> EmptyCases(State state) {
  return {
      {state, Op::kBuildSearcher, -1, {kNoGraphForSearcher}, state},
      {state, Op::kSearchOne, -1, {kTooLargeK}, state},
      {state, Op::kSearchTeam, -1, {kTooLargeK}, state},
      {state, Op::kSetEf, -1, {kWrongEf}, state},
      {state, Op::kSetEarlyStopping, -1, {kNoSearcherReady}, state},
      {state, Op::kSerialize, -1, {kNotSerializable, kSerializeFailed}, state},
      {state, Op::kDeserialize, 0, {}, State::kReady},
      {state, Op::kSave, -1, {"[ERROR] Graph has not been built; cannot save.", kSerializeFailed}, state},
      {state, Op::kLoad, 0, {}, State::kReady},
      {state,
       Op::kSaveGraph,
       -1,
       {"[Warning] Graph has not been built or Index already exists. Save has nothing to do.", kSaveGraphFailed},
       state},
      {state, Op::kLoadGraph, 0, {}, State::kReady},
  };
}

std::vector<LifecycleCase> AllCases() {
  std::vector<LifecycleCase> cases = EmptyCases(State::kEmptyParam);
  const std::vector<LifecycleCase> defaults = EmptyCases(State::kEmptyDefault);
  cases.insert(cases.end(), defaults.begin(), defaults.end());
  const std::vector<LifecycleCase> rest = {
      {State::kEmptyParam, Op::kAdd, 0, {}, State::kGraph},
      {State::kEmptyDefault, Op::kAdd, -1, {"[Error] Index created without parameter cannot add."},
       State::kEmptyDefault},
      {State::kGraph, Op::kAdd, -1, {kAddAgain}, State::kGraph},
      {State::kGraph, Op::kBuildSearcher, 0, {}, State::kReady},
      {State::kGraph, Op::kSearchOne, -1, {kSearcherNotBuilt}, State::kGraph},
      {State::kGraph, Op::kSearchTeam, -1, {kSearcherNotBuilt}, State::kGraph},
      {State::kGraph, Op::kSetEf, -1, {kNoSearcherReady}, State::kGraph},
      {State::kGraph, Op::kSetEarlyStopping, -1, {kNoSearcherReady}, State::kGraph},
      {State::kGraph, Op::kSerialize, -1, {kNotSerializable, kSerializeFailed}, State::kGraph},
      {State::kGraph, Op::kDeserialize, 0, {}, State::kReady},
      {State::kGraph, Op::kSave, -1, {"[ERROR] Searcher has not been built; cannot save.", kSerializeFailed},
       State::kGraph},
      {State::kGraph, Op::kLoad, 0, {}, State::kReady},
      {State::kGraph, Op::kSaveGraph, 0, {}, State::kGraph},
      {State::kGraph, Op::kLoadGraph, 0, {}, State::kReady},
      {State::kReady, Op::kAdd, -1, {kAddAgain}, State::kReady},
      {State::kReady, Op::kBuildSearcher, -1, {"[ERROR] searcher has been built."}, State::kReady},
      {State::kReady, Op::kSearchOne, 0, {}, State::kReady},
      {State::kReady, Op::kSearchTeam, 0, {}, State::kReady},
      {State::kReady, Op::kSetEf, 0, {}, State::kReady},
      {State::kReady, Op::kSetEarlyStopping, 0, {}, State::kReady},
      {State::kReady, Op::kSerialize, 0, {}, State::kReady},
      {State::kReady, Op::kDeserialize, 0, {}, State::kReady},
      {State::kReady, Op::kSave, 0, {}, State::kReady},
      {State::kReady, Op::kLoad, 0, {}, State::kReady},
      {State::kReady, Op::kSaveGraph, -1,
       {"[ERROR] Cannot save graph after searcher has been built.", kSaveGraphFailed}, State::kReady},
      {State::kReady, Op::kLoadGraph, 0, {}, State::kReady},
  };
  cases.insert(cases.end(), rest.begin(), rest.end());
  return cases;
}

INSTANTIATE_TEST_SUITE_P(States, LifecycleTest, testing::ValuesIn(AllCases()),
                         [](const testing::TestParamInfo<LifecycleCase>& info) {
                           return std::string(Name(info.param.state)) + "_" + Name(info.param.op);
                         });

class LifecycleLoadTest : public IndexTest {};

// A loaded default index reports the blob's size and dimension, and still refuses Add.
TEST_F(LifecycleLoadTest, LoadedDefaultIndexKeepsRefusingAdd) {
  std::unique_ptr<Tarvo> index = MakeInState(State::kEmptyDefault);
  EXPECT_EQ(index->GetNTotal(), 0);
  EXPECT_EQ(index->GetDim(), 0);
  ASSERT_EQ(RunOp(*index, Op::kDeserialize, Files()), 0);
  EXPECT_EQ(index->GetNTotal(), SmallData().n);
  EXPECT_EQ(index->GetDim(), SmallData().dim);
  EXPECT_EQ(Refusals([&] { EXPECT_EQ(RunOp(*index, Op::kAdd, Files()), -1); }),
            std::vector<std::string>{"[Error] Index created without parameter cannot add."});
}

// The constructors check nothing; an HNSW index takes M = R / 2, printed under the label R, and
// only the exact name "HNSW" selects that builder.
TEST_F(LifecycleLoadTest, ConstructorsPickTheBuilderAndCheckNothing) {
  std::unique_ptr<Tarvo> hnsw;
  const std::vector<std::string> lines =
      vexa::CapturedLines([&] { hnsw = std::make_unique<Tarvo>(16, 21, 32, 60, 0, "L2", "RNNDescent", "HNSW"); });
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "K_features:16, R:10, L:32");
  EXPECT_EQ(TarvoTestAccess::Replica(*hnsw, 0).hnsw->GetM(), 10u);
  EXPECT_EQ(TarvoTestAccess::Replica(*hnsw, 0).builder, nullptr);

  IndexParams lower;
  lower.index_type = "hnsw";
  std::unique_ptr<Tarvo> ssg = MakeIndex(lower);
  EXPECT_NE(TarvoTestAccess::Replica(*ssg, 0).builder, nullptr);
  EXPECT_EQ(Refusals([&] { EXPECT_EQ(RunOp(*ssg, Op::kAdd, Files()), -1); }),
            std::vector<std::string>{"[ERROR] Wrong index_type when creating Tarvo."});

  std::unique_ptr<Tarvo> bad;
  EXPECT_EQ(Refusals([&] { bad = std::make_unique<Tarvo>(-1, -1, -1, -1, -1, "", "", ""); }),
            std::vector<std::string>{});
  // A null metric text cannot become a string.
  vexa::CapturedLines([&] { EXPECT_THROW(Tarvo(16, 16, 32, 60, nullptr, "RNNDescent"), std::logic_error); });
}

// The six-argument constructor makes the replica that the eight-argument one makes with
// graph_opt_iter 0 and index_type "SSG".
TEST_F(LifecycleLoadTest, SixArgumentConstructorIsAnSSGWithoutRefinement) {
  std::unique_ptr<Tarvo> six;
  std::unique_ptr<Tarvo> eight;
  const std::vector<std::string> sixLines =
      vexa::CapturedLines([&] { six = std::make_unique<Tarvo>(16, 20, 40, 50, "IP", "NNDescent"); });
  const std::vector<std::string> eightLines =
      vexa::CapturedLines([&] { eight = std::make_unique<Tarvo>(16, 20, 40, 50, 0, "IP", "NNDescent", "SSG"); });
  EXPECT_EQ(sixLines, eightLines);
  EXPECT_EQ(sixLines, std::vector<std::string>{
                          "[SSG] R:20, L:40, A:50.00, n_try:10, index_type: SSG, init_builder_type: NNDescent"});
  const vexa::SSG& builder = *TarvoTestAccess::Replica(*six, 0).builder;
  EXPECT_EQ(builder.graph_opt_iter, 0);
  EXPECT_EQ(builder.metric, "IP");
  EXPECT_EQ(TarvoTestAccess::Replica(*six, 0).metric, "IP");
  EXPECT_EQ(six->GetDim(), 16);
}

}  // namespace
}  // namespace tarvo_test
