#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "engine/search/graph/graph.h"
#include "tests/support/captured_stdout.h"
#include "tests/support/peak_resident.h"
#include "tests/support/upper_layers.h"

namespace vexa {
namespace {

// Every field of the section is a 4-byte integer, so a section is written down as its words.
using Words = std::vector<int32_t>;

Words operator+(Words a, const Words& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<uint8_t> Bytes(const Words& words) {
  std::vector<uint8_t> bytes(words.size() * 4);
  if (!words.empty()) std::memcpy(bytes.data(), words.data(), bytes.size());
  return bytes;
}

// The base part of a section: graphType, nep, eps, N, K, the slots and the two orders.
Words WithOrders(int graph_type, const Words& eps, int n, int k, const Words& slots, const Words& true_order,
                 const Words& rev_order) {
  return Words{graph_type, static_cast<int32_t>(eps.size())} + eps + Words{n, k} + slots + true_order + rev_order;
}

// The same with identity orders.
Words Base(int graph_type, const Words& eps, int n, int k, const Words& slots) {
  Words identity;
  for (int i = 0; i < n; ++i) identity.push_back(i);
  return WithOrders(graph_type, eps, n, k, slots, identity, identity);
}

// Three nodes of degree 2 with entry point 0, then upper layers of width 2 and entry node 2:
// node 0 has no level, node 1 one level (2, -1), node 2 two levels (1, -1) and (-1, -1).
const Words kSlots = {1, -1, 2, 0, 0, -1};
const Words kBase = Base(0, {0}, 3, 2, kSlots);
const Words kBaseOfUpper = Base(1, {0}, 3, 2, kSlots);  // 17 words, 68 bytes
const Words kUpper = {3, 2, 2, 0, 2, 2, -1, 4, 1, -1, -1, -1};

struct LoadResult {
  int rc;
  std::string printed;
  size_t offset;
};

LoadResult Load(Graph<int>* graph, const std::vector<uint8_t>& blob, size_t offset = 0) {
  LoadResult result{0, "", offset};
  size_t length = blob.size();
  result.printed =
      CapturedStdout([&] { result.rc = graph->LoadFromMem(blob.data(), &length, &result.offset); });
  return result;
}

std::vector<uint8_t> Save(const Graph<int>& graph, size_t* offset, size_t length) {
  std::vector<uint8_t> blob(length, 0xEE);
  EXPECT_EQ(graph.SaveToMem(blob.data(), &length, offset), 0);
  return blob;
}

std::vector<int> Ids(const AlignedVector& list) { return std::vector<int>(list.begin(), list.end()); }

// A graph that holds something of every field: permuted orders, two entry points, slots after a
// row's end, and upper layers.
void FillHeldGraph(Graph<int>* graph) {
  graph->Allocate(4, 3);
  const Words slots = {1, 2, -1, 0, -1, 3, 3, 1, 0, -1, -1, -1};
  std::copy(slots.begin(), slots.end(), graph->neighbors);
  graph->eps = {2, 0};
  graph->true_order = {3, 1, 0, 2};
  graph->rev_order = {2, 1, 3, 0};
  InstallUpperLayers(graph, 3, 1, {{1, -1, -1}, {0, 3, -1, -1, -1, -1}, {}, {1, -1, -1}});
}

// Everything a graph holds, as its section.
std::vector<uint8_t> Snapshot(const Graph<int>& graph) {
  size_t offset = 0;
  return Save(graph, &offset, graph.GetDataSize());
}

// Loads blob into a graph that holds something and expects the refusal to leave it as it was,
// storage included.
void ExpectRefusalKeepsAHeldGraph(const std::vector<uint8_t>& blob) {
  Graph<int> graph;
  FillHeldGraph(&graph);
  const std::vector<uint8_t> before = Snapshot(graph);
  const int* slots = graph.neighbors;
  const Hnsw1pGraph* layers = graph.hnsw1pgraph.get();
  EXPECT_EQ(Load(&graph, blob).rc, -1);
  EXPECT_EQ(Snapshot(graph), before);
  EXPECT_EQ(graph.neighbors, slots);
  EXPECT_EQ(graph.hnsw1pgraph.get(), layers);
}

TEST(GraphSection, ReadsAndWritesTheBaseLayout) {
  Graph<int> graph;
  const LoadResult loaded = Load(&graph, Bytes(kBase));
  ASSERT_EQ(loaded.rc, 0) << loaded.printed;
  EXPECT_EQ(loaded.printed, "");
  EXPECT_EQ(loaded.offset, 68u);
  EXPECT_EQ(graph.GraphType(), 0);
  EXPECT_EQ(graph.eps, Words{0});
  EXPECT_EQ(graph.N, 3);
  EXPECT_EQ(graph.K, 2);
  EXPECT_EQ(Words(graph.neighbors, graph.neighbors + 6), kSlots);
  EXPECT_EQ(graph.true_order, (Words{0, 1, 2}));
  EXPECT_EQ(graph.rev_order, (Words{0, 1, 2}));
  EXPECT_EQ(graph.hnsw1pgraph, nullptr);

  EXPECT_EQ(graph.GetDataSize(), 68u + 4);
  size_t offset = 0;
  EXPECT_EQ(Save(graph, &offset, 68), Bytes(kBase));
  EXPECT_EQ(offset, 68u);
}

TEST(GraphSection, ReadsAndWritesTheUpperLayout) {
  Graph<int> graph;
  const LoadResult loaded = Load(&graph, Bytes(kBaseOfUpper + kUpper));
  ASSERT_EQ(loaded.rc, 0) << loaded.printed;
  EXPECT_EQ(loaded.offset, 116u);
  EXPECT_EQ(graph.GraphType(), 1);
  ASSERT_NE(graph.hnsw1pgraph, nullptr);
  const Hnsw1pGraph& layers = *graph.hnsw1pgraph;
  EXPECT_EQ(layers.N, 3);
  EXPECT_EQ(layers.K, 2);
  EXPECT_EQ(layers.ep, 2);
  EXPECT_EQ(layers.nodeLevels, (Words{0, 1, 2}));
  EXPECT_EQ(layers.lists[0].data(), nullptr);
  EXPECT_EQ(Ids(layers.lists[1]), (Words{2, -1}));
  EXPECT_EQ(Ids(layers.lists[2]), (Words{1, -1, -1, -1}));

  EXPECT_EQ(graph.GetDataSize(), 116u + 4);
  size_t offset = 0;
  EXPECT_EQ(Save(graph, &offset, 116), Bytes(kBaseOfUpper + kUpper));
}

// A graph with permuted orders, two entry points, slots after a row's end that are kept as they
// are, and (optionally) upper layers, written behind a header and read back from a blob that
// goes on after the section.
void ExpectRoundTrip(bool with_upper_layers) {
  Graph<int> graph;
  graph.Allocate(4, 3);
  const Words slots = {1, 2, -1, 0, -1, 3, 3, 1, 0, -1, -1, -1};
  std::copy(slots.begin(), slots.end(), graph.neighbors);
  graph.eps = {2, 0};
  graph.true_order = {3, 1, 0, 2};
  graph.rev_order = {2, 1, 3, 0};
  if (with_upper_layers) {
    InstallUpperLayers(&graph, 3, 1, {{1, -1, -1}, {0, 3, -1, -1, -1, -1}, {}, {1, -1, -1}});
  }

  const size_t section = graph.GetDataSize() - 4;
  size_t offset = 8;
  const std::vector<uint8_t> blob = Save(graph, &offset, 8 + section + 4);
  EXPECT_EQ(offset, 8 + section);

  Graph<int> back;
  back.Allocate(2, 2);  // replaced by what is read
  InstallUpperLayers(&back, 1, 0, {{1}, {}});
  const LoadResult loaded = Load(&back, blob, 8);
  ASSERT_EQ(loaded.rc, 0) << loaded.printed;
  EXPECT_EQ(loaded.offset, 8 + section);
  EXPECT_EQ(back.GraphType(), graph.GraphType());
  EXPECT_EQ(back.N, 4);
  EXPECT_EQ(back.K, 3);
  EXPECT_EQ(Words(back.neighbors, back.neighbors + 12), slots);
  EXPECT_EQ(back.eps, graph.eps);
  EXPECT_EQ(back.true_order, graph.true_order);
  EXPECT_EQ(back.rev_order, graph.rev_order);
  if (!with_upper_layers) {
    EXPECT_EQ(back.hnsw1pgraph, nullptr);
    return;
  }
  ASSERT_NE(back.hnsw1pgraph, nullptr);
  const Hnsw1pGraph& layers = *back.hnsw1pgraph;
  EXPECT_EQ(layers.K, 3);
  EXPECT_EQ(layers.ep, 1);
  EXPECT_EQ(layers.nodeLevels, graph.hnsw1pgraph->nodeLevels);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Ids(layers.lists[i]), Ids(graph.hnsw1pgraph->lists[i])) << i;
}

TEST(GraphSection, RoundTripWithoutUpperLayers) { ExpectRoundTrip(false); }

TEST(GraphSection, RoundTripWithUpperLayers) { ExpectRoundTrip(true); }

TEST(GraphSection, WriterRefusesABlobOneByteShort) {
  Graph<int> graph;
  ASSERT_EQ(Load(&graph, Bytes(kBase)).rc, 0);
  std::vector<uint8_t> blob(67);
  size_t length = blob.size();
  size_t offset = 0;
  int rc = 0;
  EXPECT_EQ(CapturedStdout([&] { rc = graph.SaveToMem(blob.data(), &length, &offset); }),
            "Serialize failed: dataLen[67] should be >= offset[56] + sizeBytes[12].\n");
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(offset, 56u);
}

// Cutting the last byte of any field refuses the blob at that field, with the field's size.
TEST(GraphSection, RefusesABlobCutInsideAnyField) {
  const std::vector<uint8_t> whole = Bytes(kBaseOfUpper + kUpper);
  // Field sizes in words, in order; node 0's empty list is no field.
  const size_t fields[] = {1, 1, 1, 1, 1, 6, 3, 3, 1, 1, 1, 1, 1, 2, 1, 4};
  size_t start = 0;
  for (size_t words : fields) {
    const size_t end = (start + words) * 4;
    Graph<int> graph;
    const LoadResult loaded = Load(&graph, std::vector<uint8_t>(whole.begin(), whole.begin() + end - 1));
    EXPECT_EQ(loaded.rc, -1);
    EXPECT_EQ(loaded.printed, "Deserialize failed: dataLen[" + std::to_string(end - 1) +
                                  "] should be >= offset[" + std::to_string(start * 4) + "] + sizeBytes[" +
                                  std::to_string(words * 4) + "].\n");
    EXPECT_EQ(loaded.offset, start * 4);
    start += words;
  }
  EXPECT_EQ(start * 4, whole.size());
}

// A refusal at any field leaves a graph that held something exactly as it was.
TEST(GraphSection, RefusalAtAnyFieldKeepsAHeldGraph) {
  const std::vector<uint8_t> whole = Bytes(kBaseOfUpper + kUpper);
  for (size_t end = 1; end < whole.size(); ++end) {
    SCOPED_TRACE(end);
    ExpectRefusalKeepsAHeldGraph(std::vector<uint8_t>(whole.begin(), whole.begin() + end));
  }
}

struct MalformedCase {
  std::string name;
  Words words;
  std::string printed;  // empty when the section is accepted
};

void PrintTo(const MalformedCase& c, std::ostream* os) { *os << c.name; }

class GraphSectionLimitsTest : public testing::TestWithParam<MalformedCase> {};

TEST_P(GraphSectionLimitsTest, AcceptsOrRefuses) {
  const MalformedCase& c = GetParam();
  Graph<int> graph;
  const LoadResult loaded = Load(&graph, Bytes(c.words));
  EXPECT_EQ(loaded.printed, c.printed);
  EXPECT_EQ(loaded.rc, c.printed.empty() ? 0 : -1);
}

// Read into a graph that holds something, an accepted section replaces all of it and a refused
// one leaves it as it was.
TEST_P(GraphSectionLimitsTest, ReplacesAHeldGraphOnlyWhenAccepted) {
  const MalformedCase& c = GetParam();
  if (!c.printed.empty()) {
    ExpectRefusalKeepsAHeldGraph(Bytes(c.words));
    return;
  }
  Graph<int> held;
  FillHeldGraph(&held);
  Graph<int> empty;
  ASSERT_EQ(Load(&held, Bytes(c.words)).rc, 0);
  ASSERT_EQ(Load(&empty, Bytes(c.words)).rc, 0);
  EXPECT_EQ(Snapshot(held), Snapshot(empty));
}

Words Rows(int rows, int k, const Words& first) {
  Words slots = first;
  slots.resize(static_cast<size_t>(rows) * k, -1);
  return slots;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GraphSectionLimitsTest,
    testing::Values(
        MalformedCase{"GraphTypeTwo", {2}, "Invalid number of graphType : 2.\n"},
        MalformedCase{"GraphTypeNegative", {-1}, "Invalid number of graphType : 18446744073709551615.\n"},
        // A count within its limit that the blob cannot hold is refused before storage is sized.
        MalformedCase{"NepAtTheLimit",
                      {0, 1999999999},
                      "Deserialize failed: dataLen[8] should be >= offset[8] + sizeBytes[7999999996].\n"},
        MalformedCase{"NepAboveTheLimit", {0, 2000000000}, "Invalid number of nep : 2000000000.\n"},
        MalformedCase{"NepNegative", {0, -1}, "Invalid number of nep : 18446744073709551615.\n"},
        MalformedCase{"NAtTheLimit",
                      {0, 0, 1999999999, 1},
                      "Deserialize failed: dataLen[16] should be >= offset[16] + sizeBytes[7999999996].\n"},
        MalformedCase{"NAboveTheLimit", {0, 0, 2000000000}, "Invalid number of N : 2000000000.\n"},
        MalformedCase{"KAtTheLimit",
                      {0, 0, 1, 1999999999},
                      "Deserialize failed: dataLen[16] should be >= offset[16] + sizeBytes[7999999996].\n"},
        MalformedCase{"KAboveTheLimit", {0, 0, 1, 2000000000}, "Invalid number of K : 2000000000.\n"},
        MalformedCase{"KNegative", {0, 0, 1, -1}, "Invalid number of K : 18446744073709551615.\n"},
        MalformedCase{"ProductJustInside",
                      {0, 0, 2, 999999999},
                      "Deserialize failed: dataLen[16] should be >= offset[16] + sizeBytes[7999999992].\n"},
        MalformedCase{
            "ProductAboveTheLimit", {0, 0, 2, 1000000000}, "Invalid number of N * K : 2000000000.\n"},
        MalformedCase{"ProductOfLargeFactors",
                      {0, 0, 1999999999, 1999999999},
                      "Invalid number of N * K : 3999999996000000001.\n"},
        MalformedCase{"EntryPointBelowN", Base(0, {2}, 3, 2, kSlots), ""},
        MalformedCase{"EntryPointN", Base(0, {3}, 3, 2, kSlots), "Invalid number of eps id : 3.\n"},
        MalformedCase{"EntryPointNegative", Base(0, {-1}, 3, 2, kSlots),
                      "Invalid number of eps id : 18446744073709551615.\n"},
        MalformedCase{"RowEndsAtItsFirstEmptySlot", Base(0, {0}, 6, 3, Rows(6, 3, {5, -1, 7})), ""},
        MalformedCase{"NeighbourNegative", Base(0, {0}, 6, 2, Rows(6, 2, {5, -2})),
                      "Invalid number of neighbors : 18446744073709551614.\n"},
        MalformedCase{"NeighbourN", Base(0, {0}, 3, 2, {1, -1, 2, 0, 0, 3}),
                      "Invalid number of neighbors : 3.\n"},
        MalformedCase{"NoSlots", Base(0, {1}, 2, 0, {}), ""},
        // The orders map internal numbers to the caller's rows and back: a search returns
        // true_order entries as labels, so both must be inverse permutations of 0 .. N - 1.
        MalformedCase{"OrdersInversePermutations", WithOrders(0, {0}, 3, 2, kSlots, {2, 0, 1}, {1, 2, 0}), ""},
        MalformedCase{"TrueOrderN", WithOrders(0, {0}, 3, 2, kSlots, {0, 3, 1}, {0, 2, 1}),
                      "Invalid number of true_order : 3.\n"},
        MalformedCase{"TrueOrderNegative", WithOrders(0, {0}, 3, 2, kSlots, {0, -1, 1}, {0, 2, 1}),
                      "Invalid number of true_order : 18446744073709551615.\n"},
        MalformedCase{"TrueOrderRepeated", WithOrders(0, {0}, 3, 2, kSlots, {0, 1, 1}, {0, 1, 2}),
                      "Invalid number of rev_order : 1.\n"},
        MalformedCase{"RevOrderNotTheInverse", WithOrders(0, {0}, 3, 2, kSlots, {2, 0, 1}, {2, 0, 1}),
                      "Invalid number of rev_order : 1.\n"},
        MalformedCase{"UpperNAboveTheLimit", kBaseOfUpper + Words{2000000000},
                      "Invalid number of N : 2000000000.\n"},
        MalformedCase{"UpperNAtTheLimit", kBaseOfUpper + Words{1999999999},
                      "Invalid number of upper N : 1999999999.\n"},
        MalformedCase{"UpperNBelowN", kBaseOfUpper + Words{2, 2, 1, 0, 0},
                      "Invalid number of upper N : 2.\n"},
        MalformedCase{"UpperNAboveN", kBaseOfUpper + Words{4, 2, 1, 0, 0, 0, 0},
                      "Invalid number of upper N : 4.\n"},
        MalformedCase{"UpperKAboveTheLimit", kBaseOfUpper + Words{3, 2000000000},
                      "Invalid number of K : 2000000000.\n"},
        MalformedCase{"UpperKAndCurAtTheLimit", kBaseOfUpper + Words{3, 1999999999, 0, 1999999999},
                      "Deserialize failed: dataLen[84] should be >= offset[84] + sizeBytes[7999999996].\n"},
        MalformedCase{"UpperEntryPointN", kBaseOfUpper + Words{3, 2, 3}, "Invalid number of ep : 3.\n"},
        MalformedCase{"UpperEntryPointMissing", kBaseOfUpper + Words{3, 2, -1},
                      "Invalid number of ep : 18446744073709551615.\n"},
        MalformedCase{"CurAboveTheLimit", kBaseOfUpper + Words{3, 2, 2, 2000000000},
                      "Invalid number of cur : 2000000000.\n"},
        MalformedCase{"CurNegative", kBaseOfUpper + Words{3, 2, 2, -2},
                      "Invalid number of cur : 18446744073709551614.\n"},
        MalformedCase{"CurClaimingMoreThanTheBlob", kBaseOfUpper + Words{3, 2, 2, 1999999998},
                      "Deserialize failed: dataLen[84] should be >= offset[84] + sizeBytes[7999999992].\n"},
        // Lists hold whole levels: a count that is no multiple of the width is refused.
        MalformedCase{"CurNotWholeLevels", kBaseOfUpper + Words{3, 2, 2, 0, 3, 2, -1, -1},
                      "Invalid number of cur : 3.\n"},
        MalformedCase{"CurWithoutWidth", kBaseOfUpper + Words{3, 0, 2, 0, 2, 2, -1},
                      "Invalid number of cur : 2.\n"},
        MalformedCase{"NoWidthNoLevels", kBaseOfUpper + Words{3, 0, 2, 0, 0, 0}, ""},
        MalformedCase{"ListIdN", kBaseOfUpper + Words{3, 2, 2, 0, 2, 3, -1, 4, 1, -1, -1, -1},
                      "Invalid number of lists : 3.\n"},
        MalformedCase{"ListIdNegative", kBaseOfUpper + Words{3, 2, 2, 0, 2, -2, -1, 4, 1, -1, -1, -1},
                      "Invalid number of lists : 18446744073709551614.\n"},
        // An id on level l must name a node that has level l: the descent reads that node's row.
        MalformedCase{"ListIdOfANodeWithoutLevels",
                      kBaseOfUpper + Words{3, 2, 2, 0, 2, 0, -1, 4, 1, -1, -1, -1},
                      "Invalid number of lists level : 0.\n"},
        MalformedCase{"ListIdAboveItsNodesTopLevel",
                      kBaseOfUpper + Words{3, 2, 2, 0, 2, 2, -1, 4, 1, -1, 1, -1},
                      "Invalid number of lists level : 1.\n"},
        MalformedCase{"ListIdOnItsNodesTopLevel", kBaseOfUpper + Words{3, 2, 2, 0, 2, 2, -1, 4, 1, -1, 2, -1},
                      ""}),
    [](const testing::TestParamInfo<MalformedCase>& info) { return info.param.name; });

TEST(GraphSection, FailureAfterTheSlotsReleasesThem) {
  Graph<int> bad_row;
  EXPECT_EQ(Load(&bad_row, Bytes(Base(0, {0}, 3, 2, {1, -1, 7, -1, -1, -1}))).rc, -1);
  EXPECT_EQ(bad_row.neighbors, nullptr);

  const std::vector<uint8_t> whole = Bytes(kBase);
  Graph<int> short_orders;
  EXPECT_EQ(Load(&short_orders, std::vector<uint8_t>(whole.begin(), whole.end() - 4)).rc, -1);
  EXPECT_EQ(short_orders.neighbors, nullptr);
}

// A refusal in the upper layers, after the whole base layer was read, keeps none of it.
TEST(GraphSection, FailureInTheUpperLayersKeepsNothingOfTheSection) {
  Graph<int> graph;
  EXPECT_EQ(Load(&graph, Bytes(kBaseOfUpper + Words{3, 2, 5})).rc, -1);
  EXPECT_EQ(graph.neighbors, nullptr);
  EXPECT_EQ(graph.N, 0);
  EXPECT_TRUE(graph.eps.empty());
  EXPECT_EQ(graph.hnsw1pgraph, nullptr);
}

// Blobs of a few bytes that claim 1,999,999,999 entry points, slots or list entries are refused
// before anything of that size (8 GB) is allocated or filled.
TEST(GraphSection, ShortBlobClaimingManyEntriesSizesNothing) {
  const Words claims[] = {
      {0, 1999999999}, {0, 0, 1999999999, 1}, kBaseOfUpper + Words{3, 1999999999, 0, 1999999999}};
  for (const Words& claim : claims) {
    const long before = PeakResidentKiB();
    Graph<int> graph;
    EXPECT_EQ(Load(&graph, Bytes(claim)).rc, -1);
    EXPECT_LT(PeakResidentKiB() - before, 64 * 1024) << claim.size();
    // And the graph kept nothing of the section.
    EXPECT_TRUE(graph.eps.empty());
    EXPECT_EQ(graph.neighbors, nullptr);
    EXPECT_TRUE(graph.true_order.empty());
    EXPECT_EQ(graph.hnsw1pgraph, nullptr);
  }
}

TEST(GraphValidateNeighbors, ChecksEachRowUpToItsEnd) {
  Graph<int> graph;
  graph.Allocate(3, 2);
  EXPECT_EQ(graph.ValidateNeighbors(), 0);
  graph.neighbors[0] = 2;
  graph.neighbors[1] = -1;
  graph.neighbors[3] = 5;  // after row 1's first slot, which is -1: not an id
  EXPECT_EQ(graph.ValidateNeighbors(), 0);
  graph.neighbors[4] = 3;
  int rc = 0;
  EXPECT_EQ(CapturedStdout([&] { rc = graph.ValidateNeighbors(); }), "Invalid number of neighbors : 3.\n");
  EXPECT_EQ(rc, -1);
}

}  // namespace
}  // namespace vexa
