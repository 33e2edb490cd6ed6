// NUMA mode on fake machines: the replicas a constructor makes, the walks of the operations with
// their bindings, failures part way through a walk, and the replica that serves each query.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/search/searcher/graph_searcher.h"
#include "tests/index/index_test_support.h"

namespace tarvo_test {
namespace {

class NumaTest : public IndexTest {
 protected:
  // A new index of the default parameters on a machine of `nodes` nodes with NUMA mode on.
  static std::unique_ptr<Tarvo> MakeOn(int nodes) {
    FakeNuma::SetMachine(nodes);
    NUMA_ENABLED = true;
    num_numa_nodes = nodes;
    std::unique_ptr<Tarvo> index = MakeIndex(IndexParams{});
    FakeNuma::ClearBindings();
    return index;
  }
  // The same after Add.
  static std::unique_ptr<Tarvo> MakeGraphOn(int nodes) {
    std::unique_ptr<Tarvo> index = MakeOn(nodes);
    vexa::CapturedLines([&] { EXPECT_EQ(index->Add(SmallData().n, SmallData().values.data(), 3, 0, 0), 0); });
    FakeNuma::ClearBindings();
    return index;
  }
  // Whether each replica of index has a graph and a searcher.
  static std::vector<std::pair<bool, bool>> Flags(Tarvo& index) {
    std::vector<std::pair<bool, bool>> flags;
    for (size_t i = 0; i < TarvoTestAccess::ReplicaCount(index); ++i) {
      const TarvoImpl& replica = TarvoTestAccess::Replica(index, i);
      flags.emplace_back(replica.graphBuilt, replica.searcherBuilt);
    }
    return flags;
  }
};

const char kSSGLine[] = "[SSG] R:16, L:32, A:60.00, n_try:10, index_type: SSG, init_builder_type: RNNDescent";

struct ConstructionCase {
  const char* name;
  int machineNodes;
  bool available;
  bool enabled;       // NUMA_ENABLED before
  int globalNodes;    // num_numa_nodes before
  bool enabledAfter;
  int globalAfter;
  size_t replicas;
  std::vector<std::string> lines;
  std::vector<int> bindings;
};

TEST_F(NumaTest, ConstructorMakesOneReplicaPerNodeAndLowersTheGlobals) {
  const ConstructionCase cases[] = {
      {"Unavailable", 1, false, true, 4, false, 1, 1, {kSSGLine}, {}},
      {"ModeOff", 2, true, false, 4, false, 2, 1, {kSSGLine}, {}},
      {"LoweredToTheMachine",
       2,
       true,
       true,
       4,
       true,
       2,
       2,
       {"[+]Numa enabled, initial impl on 2 nodes.", "[+]initial on Node 0", kSSGLine, "[+]initial on Node 1", kSSGLine,
        "[+]initial done."},
       {0, 1, -1}},
      {"NeverRaised", 4, true, true, 2, true, 2, 2, {}, {0, 1, -1}},
      {"FourNodes", 4, true, true, 4, true, 4, 4, {}, {0, 1, 2, 3, -1}},
      {"NoNode",
       2,
       true,
       true,
       0,
       true,
       0,
       0,
       {"[+]Numa enabled, initial impl on 0 nodes.", "[+]initial done."},
       {-1}},
  };
  for (const ConstructionCase& c : cases) {
    FakeNuma::SetMachine(c.machineNodes, c.available);
    NUMA_ENABLED = c.enabled;
    num_numa_nodes = c.globalNodes;
    std::unique_ptr<Tarvo> index;
    const std::vector<std::string> lines =
        vexa::CapturedLines([&] { index = std::make_unique<Tarvo>(16, 16, 32, 60, 0, "L2", "RNNDescent", "SSG"); });
    EXPECT_EQ(NUMA_ENABLED, c.enabledAfter) << c.name;
    EXPECT_EQ(num_numa_nodes, c.globalAfter) << c.name;
    EXPECT_EQ(TarvoTestAccess::ReplicaCount(*index), c.replicas) << c.name;
    if (!c.lines.empty()) {
      EXPECT_EQ(lines, c.lines) << c.name;
    }
    EXPECT_EQ(FakeNuma::Bindings(), c.bindings) << c.name;
  }
}

// Without a fake, the constructor follows the machine it runs on.
TEST_F(NumaTest, LibnumaDecidesOnTheRealMachine) {
  vexa::Numa() = vexa::LibnumaApi();
  NUMA_ENABLED = true;
  num_numa_nodes = 64;
  const std::unique_ptr<Tarvo> index = MakeIndex(IndexParams{});
  EXPECT_EQ(NUMA_ENABLED, vexa::Numa().available() != -1);
  EXPECT_EQ(num_numa_nodes, vexa::Numa().maxNode() + 1);
  EXPECT_EQ(TarvoTestAccess::ReplicaCount(*index), NUMA_ENABLED ? static_cast<size_t>(num_numa_nodes) : 1u);
}

// Every operation that changes the index walks the replicas, each on its node, and binds the
// thread to all nodes at the end; saving and serializing use replica 0 alone.
TEST_F(NumaTest, OperationsWalkEveryReplicaOnItsNode) {
  std::unique_ptr<Tarvo> index = MakeOn(4);
  vexa::CapturedLines([&] { EXPECT_EQ(index->Add(SmallData().n, SmallData().values.data(), 3, 0, 0), 0); });
  EXPECT_EQ(FakeNuma::Bindings(), (std::vector<int>{0, 1, 2, 3, -1}));
  EXPECT_EQ(Flags(*index), (std::vector<std::pair<bool, bool>>(4, {true, false})));
  EXPECT_EQ(TarvoTestAccess::DataNum(*index), SmallData().n);

  FakeNuma::ClearBindings();
  vexa::CapturedLines([&] { EXPECT_EQ(index->BuildSearcher(), 0); });
  EXPECT_EQ(FakeNuma::Bindings(), (std::vector<int>{0, 1, 2, 3, -1}));
  EXPECT_EQ(Flags(*index), (std::vector<std::pair<bool, bool>>(4, {true, true})));

  FakeNuma::ClearBindings();
  EXPECT_EQ(Refusals([&] { EXPECT_EQ(index->SetEf(77), 0); }), std::vector<std::string>{});
  EXPECT_EQ(FakeNuma::Bindings(), (std::vector<int>{0, 1, 2, 3, -1}));
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(TarvoTestAccess::Replica(*index, i).searcher->GetEf(), 77);

  FakeNuma::ClearBindings();
  EXPECT_EQ(Refusals([&] { EXPECT_EQ(index->SetEarlyStoppingParams(2, 3), 0); }), std::vector<std::string>{});
  EXPECT_EQ(FakeNuma::Bindings(), (std::vector<int>{0, 1, 2, 3, -1}));

  FakeNuma::ClearBindings();
  unsigned char* data = nullptr;
  unsigned long length = 0;
  std::vector<std::string> lines = vexa::CapturedLines([&] { EXPECT_EQ(index->Serialize(data, length), 0); });
  const std::vector<unsigned char> blob(data, data + length);
  delete[] data;
  EXPECT_EQ(lines.front(), "Serialize on Node 0");
  EXPECT_EQ(lines.back(), "Serialize done.");
  EXPECT_EQ(FakeNuma::Bindings(), (std::vector<int>{0, -1}));

  FakeNuma::ClearBindings();
  std::unique_ptr<Tarvo> loaded;
  vexa::CapturedLines([&] { loaded = std::make_unique<Tarvo>(); });
  FakeNuma::ClearBindings();
  lines = vexa::CapturedLines([&] {
    const unsigned long size = blob.size();
    EXPECT_EQ(loaded->Deserialize(blob.data(), size), 0);
  });
  std::vector<std::string> progress;
  for (const std::string& line : lines) {
    if (line.rfind("Deserialize on Node", 0) == 0 || line == "Serialize done.") progress.push_back(line);
  }
  EXPECT_EQ(progress, (std::vector<std::string>{"Deserialize on Node 0", "Deserialize on Node 1",
                                                "Deserialize on Node 2", "Deserialize on Node 3",
                                                "Serialize done."}));
  EXPECT_EQ(FakeNuma::Bindings(), (std::vector<int>{0, 1, 2, 3, -1}));
  EXPECT_EQ(Flags(*loaded), (std::vector<std::pair<bool, bool>>(4, {true, true})));
  EXPECT_EQ(loaded->GetNTotal(), SmallData().n);
  // Every replica of the loaded index holds replica 0 of the saved one; the search parameters are
  // not in the blob.
  vexa::CapturedLines([&] {
    loaded->SetEf(77);
    loaded->SetEarlyStoppingParams(2, 3);
  });
  EXPECT_TRUE(SearchAll(*loaded, Queries(), 5, 4) == SearchAll(*index, Queries(), 5, 1));

  FakeNuma::ClearBindings();
  index.reset();
  EXPECT_EQ(FakeNuma::Bindings(), (std::vector<int>{0, 1, 2, 3, -1}));
}

// A walk stops at the first replica that fails; those before it keep what the walk did, the
// index size is not taken, and the thread is bound to all nodes again.
TEST_F(NumaTest, WalkStopsAtTheFirstFailingReplica) {
  std::unique_ptr<Tarvo> index = MakeOn(4);
  TarvoTestAccess::Replica(*index, 2).graphBuilt = true;
  std::vector<std::string> refusals =
      Refusals([&] { EXPECT_EQ(index->Add(SmallData().n, SmallData().values.data(), 3, 0, 0), -1); });
  EXPECT_EQ(refusals, std::vector<std::string>{"[ERROR] Cannot add again after graph is trained."});
  EXPECT_EQ(FakeNuma::Bindings(), (std::vector<int>{0, 1, 2, -1}));
  EXPECT_EQ(Flags(*index), (std::vector<std::pair<bool, bool>>{{true, false}, {true, false}, {true, false},
                                                               {false, false}}));
  EXPECT_EQ(TarvoTestAccess::DataNum(*index), 0);
  FakeNuma::ClearBindings();
  refusals = Refusals([&] { EXPECT_EQ(index->Add(SmallData().n, SmallData().values.data(), 3, 0, 0), -1); });
  EXPECT_EQ(refusals, std::vector<std::string>{"[ERROR] Cannot add again after graph is trained."});
  EXPECT_EQ(FakeNuma::Bindings(), (std::vector<int>{0, -1}));

  std::unique_ptr<Tarvo> graph = MakeGraphOn(2);
  TarvoTestAccess::Replica(*graph, 1).graphBuilt = false;
  refusals = Refusals([&] { EXPECT_EQ(graph->BuildSearcher(), -1); });
  EXPECT_EQ(refusals, std::vector<std::string>{"[ERROR] no graph is trained; cannot build searcher."});
  EXPECT_EQ(FakeNuma::Bindings(), (std::vector<int>{0, 1, -1}));
  EXPECT_EQ(Flags(*graph), (std::vector<std::pair<bool, bool>>{{true, true}, {false, false}}));
  FakeNuma::ClearBindings();
  refusals = Refusals([&] { EXPECT_EQ(graph->BuildSearcher(), -1); });
  EXPECT_EQ(refusals, std::vector<std::string>{"[ERROR] searcher has been built."});
  EXPECT_EQ(FakeNuma::Bindings(), (std::vector<int>{0, -1}));

  // A replica that cannot take the blob (it has no builder) stops a load after replica 0.
  std::unique_ptr<Tarvo> loaded;
  vexa::CapturedLines([&] { loaded = std::make_unique<Tarvo>(); });
  TarvoTestAccess::Replica(*loaded, 1).builder.reset();
  const std::vector<unsigned char> blob = BlobOf(*graph);
  ASSERT_FALSE(blob.empty());
  FakeNuma::ClearBindings();
  const unsigned long size = blob.size();
  refusals = Refusals([&] { EXPECT_EQ(loaded->Deserialize(blob.data(), size), -1); });
  EXPECT_EQ(refusals, std::vector<std::string>{"[ERROR] Try to load a invalid Index."});
  EXPECT_EQ(FakeNuma::Bindings(), (std::vector<int>{0, 1, -1}));
  EXPECT_EQ(Flags(*loaded), (std::vector<std::pair<bool, bool>>{{true, true}, {false, false}}));
  EXPECT_EQ(TarvoTestAccess::DataNum(*loaded), 0);
}

struct DispatchCase {
  const char* name;
  int node;         // the node of every CPU; -2: the team thread number modulo 2
  int globalNodes;  // num_numa_nodes while searching
  std::vector<int> served;  // rows answered; the others are untouched with a refusal each
};

// Each row goes to the replica of its thread's node modulo num_numa_nodes; a replica index
// outside the index's replicas falls back to replica 0.
TEST_F(NumaTest, EachRowIsServedByTheReplicaOfItsNode) {
  std::unique_ptr<Tarvo> index = MakeGraphOn(2);
  TarvoTestAccess::Replica(*index, 1).graphBuilt = false;
  vexa::CapturedLines([&] { index->BuildSearcher(); });
  ASSERT_EQ(Flags(*index), (std::vector<std::pair<bool, bool>>{{true, true}, {false, false}}));
  const std::vector<int> all = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  const DispatchCase cases[] = {
      // Four threads take rows 0-2, 3-5, 6-7 and 8-9; threads 1 and 3 run on node 1.
      {"NodeOfTheThread", -2, 2, {0, 1, 2, 6, 7}},
      {"NodeOne", 1, 2, {}},
      {"NodeThreeModuloTwo", 3, 2, {}},
      {"NodeTwoModuloTwo", 2, 2, all},
      {"NoNodeKnown", -1, 2, all},
      {"GlobalRaisedSinceConstruction", 3, 4, all},
      {"GlobalZero", 1, 0, all},
  };
  Dataset queries = Queries();
  queries.n = 10;
  for (const DispatchCase& c : cases) {
    FakeNuma::SetMachine(2);
    if (c.node != -2) FakeNuma::FixNode(c.node);
    num_numa_nodes = c.globalNodes;
    Answers answers(queries.n, 5);
    int result = -2;
    const std::vector<std::string> refusals = Refusals([&] {
      result = index->Search(queries.n, queries.values.data(), 5, answers.distances.data(), answers.labels.data(), 4);
    });
    EXPECT_EQ(result, 0) << c.name;
    EXPECT_EQ(refusals, std::vector<std::string>(10 - c.served.size(), "[ERROR] Searcher not built; cannot search."))
        << c.name;
    std::vector<int> served;
    for (int q = 0; q < queries.n; ++q) {
      if (answers.labels[q * 5] != -7) served.push_back(q);
    }
    EXPECT_EQ(served, c.served) << c.name;
  }
  num_numa_nodes = 2;

  // The parameters are set where a searcher is ready, and the others say why not.
  FakeNuma::ClearBindings();
  EXPECT_EQ(Refusals([&] { EXPECT_EQ(index->SetEf(55), 0); }),
            std::vector<std::string>{"[ERROR] no searcher ready; cannot set Ef."});
  EXPECT_EQ(TarvoTestAccess::Replica(*index, 0).searcher->GetEf(), 55);
  EXPECT_EQ(Refusals([&] { EXPECT_EQ(index->SetEarlyStoppingParams(2, 3), 0); }),
            std::vector<std::string>{"[ERROR] no searcher ready; cannot set Ef."});
  EXPECT_EQ(FakeNuma::Bindings(), (std::vector<int>{0, 1, -1, 0, 1, -1}));
  const auto& searcher =
      static_cast<const vexa::FP32L2Searcher&>(*TarvoTestAccess::Replica(*index, 0).searcher);
  EXPECT_EQ(searcher.adding_pref, 2);
  EXPECT_EQ(searcher.patience, 3);
}

// An index used in the other mode than the one it was made in, or made with no node, holds no
// replica for the operations: they refuse, and the sizes read 0.
TEST_F(NumaTest, IndexWithoutReplicasForTheModeRefuses) {
  const char kMissing[] = "[ERROR] impl is nullptr. maybe caused by inconsistent status of NUMA_ENABLED.";
  struct Case {
    const char* name;
    bool madeOn;
    int nodes;
    bool usedOn;
  };
  for (const Case& c : {Case{"MadeOffUsedOn", false, 2, true}, Case{"MadeOnUsedOff", true, 2, false},
                        Case{"NoNode", true, 0, true}}) {
    FakeNuma::SetMachine(2);
    NUMA_ENABLED = c.madeOn;
    num_numa_nodes = c.nodes;
    std::unique_ptr<Tarvo> index = MakeIndex(IndexParams{});
    NUMA_ENABLED = c.usedOn;
    Answers answers(1, 1);
    unsigned char* data = nullptr;
    unsigned long length = 0;
    const unsigned char byte = 0;
    const unsigned long one = 1;
    const std::vector<std::string> refusals = Refusals([&] {
      EXPECT_EQ(index->Add(SmallData().n, SmallData().values.data(), 3, 0, 0), -1);
      EXPECT_EQ(index->BuildSearcher(), -1);
      EXPECT_EQ(index->Serialize(data, length), -1);
      EXPECT_EQ(index->Deserialize(&byte, one), -1);
    });
    EXPECT_EQ(refusals, std::vector<std::string>(4, kMissing)) << c.name;
    EXPECT_EQ(index->GetNTotal(), 0) << c.name;
    EXPECT_EQ(index->GetDim(), 0) << c.name;
  }
}

}  // namespace
}  // namespace tarvo_test
