#include "engine/index/graph_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "engine/build/builder_state.h"
#include "tests/support/captured_stdout.h"
#include "tests/support/peak_resident.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/upper_layers.h"

namespace vexa {
namespace {

using Words = std::vector<int32_t>;

// Five nodes of degree 3 (row 1 keeps a 7 after its end, which is not an id), entry points 2
// and 0, a permutation pair, upper layers of width 2 entered at node 1 (levels 1, 2, 0, 2, 0),
// and five vectors of two floats in chunks of two rows: the last chunk holds one.
const Words kSlots = {1, 2, -1, 0, -1, 7, 3, 4, 0, 2, -1, -1, 0, 1, -1};
const Words kEps = {2, 0};
const Words kTrueOrder = {3, 1, 0, 4, 2};
const Words kRevOrder = {2, 1, 4, 0, 3};
const std::vector<Words> kLists = {{3, -1}, {0, 3, 3, -1}, {}, {1, -1, 1, -1}, {}};
const std::vector<float> kVectors = {0.5f, 0, 1.5f, -1, 2.5f, -2, 3.5f, -3, 4.5f, -4};

const std::string kOrdersLine = "Read true_order and rev_order.\n";
const std::string kUpperLine = "[HNSW1p+] Load N:5, K:2, ep:1\n";
const std::string kDoneLine = "Graph Loading done\n";

// The upper part: N, K, ep, then each list behind its count.
Words Upper(int n, int k, int ep, const std::vector<Words>& lists) {
  Words words = {n, k, ep};
  for (const Words& list : lists) {
    words.push_back(static_cast<int32_t>(list.size()));
    words.insert(words.end(), list.begin(), list.end());
  }
  return words;
}

// The fields of a graph file, written down in their order; nep is the entry points' count
// unless it is given, and the upper words are written whenever there are any.
struct FileFields {
  int32_t dim = 2;
  int32_t consecutiveLog = 1;
  int32_t quantLevel = 3;
  uint8_t metric = 1;
  int32_t graph_type = 1;
  std::optional<int32_t> nep;
  Words eps = kEps;
  int32_t N = 5;
  int32_t K = 3;
  Words slots = kSlots;
  Words true_order = kTrueOrder;
  Words rev_order = kRevOrder;
  Words upper = Upper(5, 2, 1, kLists);
  std::vector<float> vectors = kVectors;

  std::string Bytes() const {
    std::string bytes;
    const auto put = [&bytes](const void* data, size_t size) {
      bytes.append(static_cast<const char*>(data), size);
    };
    const auto words = [&put](const Words& w) { put(w.data(), w.size() * 4); };
    const int32_t count = nep.value_or(static_cast<int32_t>(eps.size()));
    words({dim, consecutiveLog, quantLevel});
    put(&metric, 1);
    words({graph_type, count});
    words(eps);
    words({N, K});
    words(slots);
    words(true_order);
    words(rev_order);
    words(upper);
    put(vectors.data(), vectors.size() * 4);
    return bytes;
  }
};

// The same file without upper layers.
FileFields BaseOnly() {
  FileFields fields;
  fields.graph_type = 0;
  fields.upper.clear();
  return fields;
}

// The graph that FileFields describes, with or without its upper layers.
Graph<int> MakeGraph(bool with_upper_layers) {
  Graph<int> graph;
  graph.Allocate(5, 3);
  std::copy(kSlots.begin(), kSlots.end(), graph.neighbors);
  graph.eps = kEps;
  graph.true_order = kTrueOrder;
  graph.rev_order = kRevOrder;
  if (with_upper_layers) InstallUpperLayers(&graph, 2, 1, kLists);
  return graph;
}

// A graph and a header in the caller's hands before a read, which a failed read leaves alone.
struct Target {
  Target() {
    graph.Allocate(2, 2);
    graph.eps = {1};
    InstallUpperLayers(&graph, 1, 0, {{1}, {}});
    header.dim = 77;
    header.chunks = sentinel_table;
    slots = graph.neighbors;
    layers = graph.hnsw1pgraph.get();
  }

  void ExpectUnchanged() const {
    EXPECT_EQ(graph.N, 2);
    EXPECT_EQ(graph.K, 2);
    EXPECT_EQ(graph.neighbors, slots);
    EXPECT_EQ(Words(graph.neighbors, graph.neighbors + 4), (Words{-1, -1, -1, -1}));
    EXPECT_EQ(graph.eps, Words{1});
    EXPECT_EQ(graph.true_order, (Words{0, 1}));
    EXPECT_EQ(graph.hnsw1pgraph.get(), layers);
    EXPECT_EQ(header.dim, 77);
    EXPECT_EQ(header.chunks, sentinel_table);
  }

  Graph<int> graph;
  GraphFileHeader header;
  float* sentinel_table[1] = {nullptr};
  const int* slots;
  const Hnsw1pGraph* layers;
};

struct LoadResult {
  int rc;
  std::string printed;
};

// Reads the file at path into target; the vectors of a successful read are handed to a builder
// record, which releases them as it releases every table it adopts.
LoadResult Load(const std::string& path, Target* target) {
  LoadResult result{0, ""};
  result.printed = CapturedStdout(
      [&] { result.rc = Graph<int>::LoadFromFile(target->graph, path.c_str(), target->header); });
  if (result.rc == 0) {
    BuilderState owner("L2", target->header.dim, target->header.consecutiveLog);
    owner.AdoptChunks(target->header.chunks, target->header.consecutiveLog, target->header.nb);
  }
  return result;
}

LoadResult LoadBytes(const std::string& bytes, Target* target) {
  ScratchDir dir;
  WriteFileBytes(dir.Path("graph"), bytes);
  return Load(dir.Path("graph"), target);
}

int Save(const Graph<int>& graph, const std::string& path, std::string* printed) {
  // Chunks of exactly their rows: a writer that took the last chunk as a full one reads past it.
  std::vector<float> first(kVectors.begin(), kVectors.begin() + 4);
  std::vector<float> second(kVectors.begin() + 4, kVectors.begin() + 8);
  std::vector<float> last(kVectors.begin() + 8, kVectors.end());
  float* table[] = {first.data(), second.data(), last.data()};
  GraphFileHeader header;
  header.dim = 2;
  header.quantLevel = 3;
  header.chunks = table;
  header.metric = 1;
  header.consecutiveLog = 1;
  header.nb = 5;
  int rc = 0;
  *printed = CapturedStdout([&] { rc = Graph<int>::SaveToFile(graph, path.c_str(), header); });
  return rc;
}

std::vector<int> Ids(const AlignedVector& list) { return std::vector<int>(list.begin(), list.end()); }

void ExpectRoundTrip(bool with_upper_layers) {
  ScratchDir dir;
  const std::string path = dir.Path("graph");
  std::string printed;
  ASSERT_EQ(Save(MakeGraph(with_upper_layers), path, &printed), 0);
  EXPECT_EQ(printed, "");
  const FileFields fields = with_upper_layers ? FileFields() : BaseOnly();
  EXPECT_EQ(FileBytes(path), fields.Bytes());
  EXPECT_EQ(dir.Names(), std::set<std::string>{"graph"});

  Target target;
  LoadResult result{0, ""};
  result.printed = CapturedStdout(
      [&] { result.rc = Graph<int>::LoadFromFile(target.graph, path.c_str(), target.header); });
  ASSERT_EQ(result.rc, 0) << result.printed;
  EXPECT_EQ(result.printed, kOrdersLine + (with_upper_layers ? kUpperLine : "") + kDoneLine);
  const GraphFileHeader& header = target.header;
  EXPECT_EQ(header.dim, 2);
  EXPECT_EQ(header.quantLevel, 3);
  EXPECT_EQ(header.metric, 1);
  EXPECT_EQ(header.consecutiveLog, 1);
  EXPECT_EQ(header.nb, 5);
  BuilderState owner("L2", header.dim, header.consecutiveLog);
  owner.AdoptChunks(header.chunks, header.consecutiveLog, header.nb);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(std::vector<float>(owner.Row(i), owner.Row(i) + 2),
              std::vector<float>(kVectors.begin() + 2 * i, kVectors.begin() + 2 * i + 2))
        << "row " << i;
  }

  const Graph<int>& graph = target.graph;
  EXPECT_EQ(graph.N, 5);
  EXPECT_EQ(graph.K, 3);
  EXPECT_EQ(Words(graph.neighbors, graph.neighbors + 15), kSlots);
  EXPECT_EQ(graph.eps, kEps);
  EXPECT_EQ(graph.true_order, kTrueOrder);
  EXPECT_EQ(graph.rev_order, kRevOrder);
  EXPECT_EQ(graph.GraphType(), with_upper_layers ? 1 : 0);
  if (!with_upper_layers) {
    EXPECT_EQ(graph.hnsw1pgraph, nullptr) << "the caller's upper layers are gone";
    return;
  }
  ASSERT_NE(graph.hnsw1pgraph, nullptr);
  const Hnsw1pGraph& layers = *graph.hnsw1pgraph;
  EXPECT_EQ(layers.N, 5);
  EXPECT_EQ(layers.K, 2);
  EXPECT_EQ(layers.ep, 1);
  EXPECT_EQ(layers.nodeLevels, (Words{1, 2, 0, 2, 0}));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Ids(layers.lists[i]), kLists[i]) << "list " << i;
}

TEST(GraphFile, RoundTripWithUpperLayers) { ExpectRoundTrip(true); }

TEST(GraphFile, RoundTripWithoutUpperLayers) { ExpectRoundTrip(false); }

TEST(GraphFile, PrintsTheHeader) {
  float* table[1] = {nullptr};
  GraphFileHeader header;
  header.dim = 128;
  header.quantLevel = 2;
  header.metric = 0;
  header.consecutiveLog = 10;
  header.nb = 4096;
  const std::string rule = "++++++++++++++++++++++++++++++++++\n";
  EXPECT_EQ(CapturedStdout([&] { PrintGraphHeader(header); }),
            "\n" + rule + "dim:128, quantLevel:2, ValidData: 0, metric:0, consecutiveLog:10, nb:4096\n" + rule);
  header.chunks = table;
  header.metric = 1;
  EXPECT_EQ(CapturedStdout([&] { PrintGraphHeader(header); }),
            "\n" + rule + "dim:128, quantLevel:2, ValidData: 1, metric:1, consecutiveLog:10, nb:4096\n" + rule);
}

// The metric byte is kept as it is: any nonzero value stands for "L2", zero for "IP".
TEST(GraphFile, KeepsTheMetricByte) {
  for (uint8_t metric : {0, 1, 7}) {
    FileFields fields;
    fields.metric = metric;
    Target target;
    ASSERT_EQ(LoadBytes(fields.Bytes(), &target).rc, 0);
    EXPECT_EQ(target.header.metric, metric);
  }
}

TEST(GraphFile, MissingFileIsRefused) {
  ScratchDir dir;
  Target target;
  const LoadResult result = Load(dir.Path("missing"), &target);
  EXPECT_EQ(result.rc, -1);
  EXPECT_EQ(result.printed, "No enough bytes to read in the file for read dim.");
  target.ExpectUnchanged();
}

// Cutting the last byte of any field refuses the file at that field, and the caller's graph
// and header stay as they were.
TEST(GraphFile, RefusesAFileCutInsideAnyField) {
  struct Field {
    const char* name;
    size_t bytes;
  };
  const Field fields[] = {{"dim", 4},        {"consecutiveLog", 4}, {"quantLevel", 4}, {"metric", 1},
                          {"graph_type", 4}, {"nep", 4},            {"eps", 8},        {"N", 4},
                          {"K", 4},          {"neighbors", 60},     {"true_order", 20}, {"rev_order", 20},
                          {"upper N", 4},    {"upper K", 4},        {"ep", 4},         {"count", 4},
                          {"lists", 8},      {"count", 4},          {"lists", 16},     {"count", 4},
                          {"count", 4},      {"lists", 16},         {"count", 4},      {"vectors", 40}};
  const std::string whole = FileFields().Bytes();
  size_t end = 0;
  std::string before;  // the progress lines of the fields already passed
  for (const Field& field : fields) {
    end += field.bytes;
    Target target;
    const LoadResult result = LoadBytes(whole.substr(0, end - 1), &target);
    EXPECT_EQ(result.rc, -1) << field.name;
    EXPECT_EQ(result.printed, before + "No enough bytes to read in the file for read " + field.name + ".");
    target.ExpectUnchanged();
    if (field.name == std::string("neighbors")) before += kOrdersLine;
    if (field.name == std::string("ep")) before += kUpperLine;
  }
  EXPECT_EQ(end, whole.size());
}

struct LimitCase {
  std::string name;
  std::function<void(FileFields*)> change;
  std::string printed;  // all the file's reader prints
};

void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }

class GraphFileLimitsTest : public testing::TestWithParam<LimitCase> {};

TEST_P(GraphFileLimitsTest, LoadsOrRefuses) {
  FileFields fields;
  GetParam().change(&fields);
  Target target;
  const LoadResult result = LoadBytes(fields.Bytes(), &target);
  EXPECT_EQ(result.printed, GetParam().printed);
  const bool loads = result.printed.size() >= kDoneLine.size() &&
                     result.printed.compare(result.printed.size() - kDoneLine.size(), kDoneLine.size(), kDoneLine) == 0;
  EXPECT_EQ(result.rc, loads ? 0 : -1);
  if (!loads) target.ExpectUnchanged();
}

const int32_t k2To31 = INT32_MIN;  // the bytes 00 00 00 80
const std::string kLoaded = kOrdersLine + kUpperLine + kDoneLine;

// The refusal of a field's value.
std::string Invalid(const std::string& name, const std::string& value) {
  return "Invalid number of " + name + " : " + value + ".\n";
}
std::string Short(const std::string& name) { return "No enough bytes to read in the file for read " + name + "."; }

// Identity orders of n nodes.
Words Identity(int n) {
  Words order(n);
  for (int i = 0; i < n; ++i) order[i] = i;
  return order;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GraphFileLimitsTest,
    testing::Values(
        LimitCase{"Valid", [](FileFields*) {}, kLoaded},
        LimitCase{"DimZero", [](FileFields* f) { f->dim = 0; }, Invalid("dim", "0")},
        LimitCase{"DimNegative", [](FileFields* f) { f->dim = -1; }, Invalid("dim", "18446744073709551615")},
        LimitCase{"Dim3000", [](FileFields* f) { f->dim = 3000; }, Invalid("dim", "3000")},
        LimitCase{"Dim2To31", [](FileFields* f) { f->dim = k2To31; }, Invalid("dim", "18446744071562067968")},
        LimitCase{"Dim2999",
                  [](FileFields* f) {
                    f->dim = 2999;
                    f->vectors.assign(5 * 2999, 0.25f);
                  },
                  kLoaded},
        LimitCase{"ConsecutiveLogZero", [](FileFields* f) { f->consecutiveLog = 0; },
                  Invalid("consecutiveLog", "0")},
        LimitCase{"ConsecutiveLog32", [](FileFields* f) { f->consecutiveLog = 32; },
                  Invalid("consecutiveLog", "32")},
        LimitCase{"ConsecutiveLogNegative", [](FileFields* f) { f->consecutiveLog = -1; },
                  Invalid("consecutiveLog", "18446744073709551615")},
        LimitCase{"ConsecutiveLog31", [](FileFields* f) { f->consecutiveLog = 31; }, kLoaded},
        LimitCase{"QuantLevelNegative", [](FileFields* f) { f->quantLevel = -1; },
                  Invalid("quantLevel", "18446744073709551615")},
        LimitCase{"QuantLevelSix", [](FileFields* f) { f->quantLevel = 6; }, Invalid("quantLevel", "6")},
        LimitCase{"QuantLevelFive", [](FileFields* f) { f->quantLevel = 5; }, kLoaded},
        LimitCase{"GraphTypeTwo", [](FileFields* f) { f->graph_type = 2; }, Invalid("graph_type", "2")},
        LimitCase{"GraphTypeNegative", [](FileFields* f) { f->graph_type = -1; },
                  Invalid("graph_type", "18446744073709551615")},
        LimitCase{"NepNegative", [](FileFields* f) { f->nep = -1; }, Invalid("nep", "18446744073709551615")},
        LimitCase{"NepAboveTheLimit", [](FileFields* f) { f->nep = 2000000000; }, Invalid("nep", "2000000000")},
        LimitCase{"Nep2To31", [](FileFields* f) { f->nep = k2To31; }, Invalid("nep", "18446744071562067968")},
        // A count within its limit that the file cannot hold is refused before storage is sized.
        LimitCase{"NepAtTheLimit", [](FileFields* f) { f->nep = 1999999999; }, Short("eps")},
        LimitCase{"NoEntryPoints", [](FileFields* f) { f->eps.clear(); }, kLoaded},
        LimitCase{"NNegative", [](FileFields* f) { f->N = -1; }, Invalid("N", "18446744073709551615")},
        LimitCase{"NAboveTheLimit", [](FileFields* f) { f->N = 2000000000; }, Invalid("N", "2000000000")},
        LimitCase{"N2To31", [](FileFields* f) { f->N = k2To31; }, Invalid("N", "18446744071562067968")},
        LimitCase{"NAtTheLimit",
                  [](FileFields* f) {
                    f->N = 1999999999;
                    f->K = 1;
                  },
                  Short("neighbors")},
        LimitCase{"NAtTheLimitWithoutSlots",
                  [](FileFields* f) {
                    f->N = 1999999999;
                    f->K = 0;
                  },
                  kOrdersLine + Short("true_order")},
        LimitCase{"KNegative", [](FileFields* f) { f->K = -1; }, Invalid("K", "18446744073709551615")},
        LimitCase{"KAboveTheLimit", [](FileFields* f) { f->K = 2000000000; }, Invalid("K", "2000000000")},
        LimitCase{"K2To31", [](FileFields* f) { f->K = k2To31; }, Invalid("K", "18446744071562067968")},
        LimitCase{"ProductAboveTheLimit",
                  [](FileFields* f) {
                    f->N = 2;
                    f->K = 1000000000;
                  },
                  Invalid("N * K", "2000000000")},
        LimitCase{"ProductOfLargeFactors",
                  [](FileFields* f) {
                    f->N = 1999999999;
                    f->K = 1999999999;
                  },
                  Invalid("N * K", "3999999996000000001")},
        LimitCase{"EntryPointN", [](FileFields* f) { f->eps = {0, 5}; }, Invalid("eps id", "5")},
        LimitCase{"EntryPointNegative", [](FileFields* f) { f->eps = {-1}; },
                  Invalid("eps id", "18446744073709551615")},
        LimitCase{"NeighbourN", [](FileFields* f) { f->slots[1] = 5; }, Invalid("neighbors", "5")},
        LimitCase{"NeighbourNegative", [](FileFields* f) { f->slots[1] = -2; },
                  Invalid("neighbors", "18446744073709551614")},
        // A search reports true_order entries as labels: both orders must be inverse
        // permutations of 0 .. N - 1.
        LimitCase{"TrueOrderN", [](FileFields* f) { f->true_order[0] = 5; },
                  kOrdersLine + Invalid("true_order", "5")},
        LimitCase{"TrueOrderNegative", [](FileFields* f) { f->true_order[0] = -1; },
                  kOrdersLine + Invalid("true_order", "18446744073709551615")},
        LimitCase{"TrueOrderRepeated",
                  [](FileFields* f) {
                    f->true_order = {0, 1, 1, 3, 4};
                    f->rev_order = Identity(5);
                  },
                  kOrdersLine + Invalid("rev_order", "1")},
        LimitCase{"RevOrderNotTheInverse", [](FileFields* f) { f->rev_order = kTrueOrder; },
                  kOrdersLine + Invalid("rev_order", "4")},
        LimitCase{"UpperNBelowN", [](FileFields* f) { f->upper[0] = 4; },
                  kOrdersLine + "[HNSW1p+] Load N:4, K:2, ep:1\n" + Invalid("upper N", "4")},
        LimitCase{"UpperNAboveN", [](FileFields* f) { f->upper[0] = 6; },
                  kOrdersLine + "[HNSW1p+] Load N:6, K:2, ep:1\n" + Invalid("upper N", "6")},
        LimitCase{"UpperKNegative", [](FileFields* f) { f->upper[1] = -1; },
                  kOrdersLine + "[HNSW1p+] Load N:5, K:-1, ep:1\n" + Invalid("upper K", "18446744073709551615")},
        LimitCase{"UpperEntryN", [](FileFields* f) { f->upper[2] = 5; },
                  kOrdersLine + "[HNSW1p+] Load N:5, K:2, ep:5\n" + Invalid("ep", "5")},
        LimitCase{"UpperEntryMissing", [](FileFields* f) { f->upper[2] = -1; },
                  kOrdersLine + "[HNSW1p+] Load N:5, K:2, ep:-1\n" + Invalid("ep", "18446744073709551615")},
        LimitCase{"CountNegative", [](FileFields* f) { f->upper = {5, 2, 1, -2}; },
                  kOrdersLine + kUpperLine + Invalid("count", "18446744073709551614")},
        LimitCase{"CountClaimingMoreThanTheFile", [](FileFields* f) { f->upper = {5, 2, 1, 1999999998}; },
                  kOrdersLine + kUpperLine + Short("lists")},
        // Lists hold whole levels.
        LimitCase{"CountNotWholeLevels",
                  [](FileFields* f) { f->upper = Upper(5, 2, 1, {{3, -1, -1}, {}, {}, {}, {}}); },
                  kOrdersLine + kUpperLine + Invalid("count", "3")},
        LimitCase{"CountWithoutWidth", [](FileFields* f) { f->upper = Upper(5, 0, 1, {{3, -1}, {}, {}, {}, {}}); },
                  kOrdersLine + "[HNSW1p+] Load N:5, K:0, ep:1\n" + Invalid("count", "2")},
        LimitCase{"NoWidthNoLevels", [](FileFields* f) { f->upper = Upper(5, 0, 1, {{}, {}, {}, {}, {}}); },
                  kOrdersLine + "[HNSW1p+] Load N:5, K:0, ep:1\n" + kDoneLine},
        LimitCase{"ListIdN", [](FileFields* f) { f->upper = Upper(5, 2, 1, {{5, -1}, {}, {}, {}, {}}); },
                  kOrdersLine + kUpperLine + Invalid("lists", "5")},
        LimitCase{"ListIdNegative", [](FileFields* f) { f->upper = Upper(5, 2, 1, {{-2, -1}, {}, {}, {}, {}}); },
                  kOrdersLine + kUpperLine + Invalid("lists", "18446744073709551614")},
        // An id on level l must name a node that has level l: the descent reads that node's row.
        LimitCase{"ListIdOfANodeWithoutLevels",
                  [](FileFields* f) { f->upper = Upper(5, 2, 1, {{2, -1}, {0, 3, 3, -1}, {}, {1, -1, 1, -1}, {}}); },
                  kOrdersLine + kUpperLine + Invalid("lists level", "2")},
        LimitCase{"ListIdAboveItsNodesTopLevel",
                  [](FileFields* f) { f->upper = Upper(5, 2, 1, {{3, -1}, {0, 3, 0, -1}, {}, {1, -1, 1, -1}, {}}); },
                  kOrdersLine + kUpperLine + Invalid("lists level", "0")},
        LimitCase{"VectorsShort", [](FileFields* f) { f->vectors.pop_back(); },
                  kOrdersLine + kUpperLine + Short("vectors")},
        LimitCase{"BytesAfterTheVectorsIgnored", [](FileFields* f) { f->vectors.push_back(9); }, kLoaded}),
    [](const testing::TestParamInfo<LimitCase>& info) { return info.param.name; });

// Files of a few bytes (or a few MiB) that claim gigabytes of entry points, slots, list entries
// or vectors are refused before anything of that size is allocated or filled.
TEST(GraphFile, ShortFileClaimingManyEntriesSizesNothing) {
  std::vector<FileFields> claims(4);
  claims[0].nep = 1999999999;
  claims[1].N = 1999999999;
  claims[1].K = 1;
  claims[2].upper = {5, 2, 1, 1999999998};
  claims[3] = BaseOnly();  // 2^18 nodes in 2 MiB of orders, claiming 3 GB of vectors
  claims[3].dim = 2999;
  claims[3].eps.clear();
  claims[3].N = 1 << 18;
  claims[3].K = 0;
  claims[3].slots.clear();
  claims[3].true_order = claims[3].rev_order = Identity(1 << 18);
  claims[3].vectors.clear();
  for (size_t i = 0; i < claims.size(); ++i) {
    const std::string bytes = claims[i].Bytes();
    const long before = PeakResidentKiB();
    Target target;
    EXPECT_EQ(LoadBytes(bytes, &target).rc, -1) << i;
    EXPECT_LT(PeakResidentKiB() - before, 64 * 1024) << i;
    target.ExpectUnchanged();
  }
}

// The writer replaces a file only with a whole one: a failure leaves the old file byte for byte
// and reports -1 with a line.
TEST(GraphFile, FailedSaveLeavesTheOldFile) {
  ScratchDir dir;
  const std::string path = dir.Path("graph");
  const std::string old = FileFields().Bytes();
  WriteFileBytes(path, old);
  std::string printed;
  {
    FileSizeLimit limit(128);  // room for the line, not for the file
    EXPECT_EQ(Save(MakeGraph(true), path, &printed), -1);
  }
  EXPECT_EQ(printed, "[ERROR] Failed to write " + path + ": File too large\n");
  EXPECT_EQ(FileBytes(path), old);
  EXPECT_EQ(dir.Names(), std::set<std::string>{"graph"});

  const std::string folder = dir.Path("folder");
  std::filesystem::create_directory(folder);
  WriteFileBytes(folder + "/inside", old);
  EXPECT_EQ(Save(MakeGraph(false), folder, &printed), -1);
  EXPECT_EQ(printed, "[ERROR] Failed to replace " + folder + ": Is a directory\n");
  EXPECT_EQ(FileBytes(folder + "/inside"), old);

  const std::string missing = dir.Path("missing/graph");
  EXPECT_EQ(Save(MakeGraph(false), missing, &printed), -1);
  EXPECT_EQ(printed, "[ERROR] Failed to create a temporary file beside " + missing + ": No such file or directory\n");
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"folder", "graph"}));
}

}  // namespace
}  // namespace vexa
