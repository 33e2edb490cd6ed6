// The index blob of every searcher kind: its length, the writer, the loader and the loader's
// refusals of corrupted and truncated blobs.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/search/memory/blob_io.h"
#include "engine/search/searcher/graph_searcher.h"
#include "engine/search/searcher/make_graph_searcher.h"
#include "tests/search/searcher/searcher_fixture.h"
#include "tests/support/captured_stdout.h"
#include "tests/support/upper_layers.h"
#include "tests/support/exact_knn.h"
#include "tests/support/fashion_mnist.h"

namespace vexa {
namespace {

using testing_support::MakeGraph;

// A searcher built by the factory over data with its exact k-NN graph.
std::unique_ptr<SearcherBase> BuildIndex(const tarvo_test::Dataset& data, int k, const std::string& metric,
                                         const std::string& quant_type, bool upper_layers = false) {
  std::vector<std::vector<int>> rows(data.n);
  const std::vector<int> knn = tarvo_test::ExactKnnGraph(data, k, metric == "IP");
  for (int i = 0; i < data.n; ++i) rows[i].assign(knn.begin() + i * k, knn.begin() + (i + 1) * k);
  Graph<int> graph = MakeGraph(rows, k, {0});
  if (upper_layers) InstallUpperLayers(&graph, 2, 1, {{}, {2, 3}, {1, -1}, {1, -1}});
  auto searcher = MakeGraphSearcher(graph, metric, quant_type);
  std::vector<float*> chunks = tarvo_test::MakeChunkTable(data, 3);
  searcher->Build(chunks.data(), 3, data.n, data.dim);
  searcher->SetPo(5);
  searcher->UpdatePrefetchLines();
  return searcher;
}

// The blob that the searcher writes, in a zero-filled buffer of its data size.
std::vector<uint8_t> Serialize(const SearcherBase& searcher) {
  std::vector<uint8_t> blob(searcher.GetDataSize(), 0);
  size_t length = blob.size();
  size_t offset = 0;
  EXPECT_EQ(searcher.SaveSearcherToMem(blob.data(), &length, &offset), 0);
  EXPECT_EQ(offset, blob.size() - 4);
  return blob;
}

// What reading a blob gave: the result, the searcher (on success) and the printed lines.
struct Loaded {
  int result = -1;
  std::unique_ptr<SearcherBase> searcher;
  std::string output;
};

// Reads the first `length` bytes of blob the way the index reader does: the two names and the
// graph section, then a searcher from the factory loads the rest.
Loaded Deserialize(const std::vector<uint8_t>& blob, size_t length) {
  Loaded loaded;
  ::testing::internal::CaptureStdout();
  size_t offset = 0;
  int32_t metric_size = 0;
  int32_t quant_type_size = 0;
  Graph<int> graph;
  if (DeserializeValue(&metric_size, blob.data(), &offset, length) == 0 &&
      DeserializeValue(&quant_type_size, blob.data(), &offset, length) == 0 && metric_size >= 0 &&
      quant_type_size >= 0) {
    std::string metric(metric_size, ' ');
    std::string quant_type(quant_type_size, ' ');
    if (DeserializeArray(&metric[0], blob.data(), metric.size(), &offset, length) == 0 &&
        DeserializeArray(&quant_type[0], blob.data(), quant_type.size(), &offset, length) == 0 &&
        graph.LoadFromMem(blob.data(), &length, &offset) == 0) {
      auto searcher = MakeGraphSearcher(graph, metric, quant_type);
      loaded.result = searcher->LoadSearcherFromMem(blob.data(), &length, &offset);
      if (loaded.result == 0) loaded.searcher = std::move(searcher);
    }
  }
  loaded.output = ::testing::internal::GetCapturedStdout();
  return loaded;
}

TEST(SearcherBlob, TenVectorsOfDimensionFourMakeAnEightHundredFortySixByteBlob) {
  const tarvo_test::Dataset data = tarvo_test::RandomDataset(10, 4, 3);
  const auto searcher = BuildIndex(data, 2, "L2", "FP32");
  ::testing::internal::CaptureStdout();
  const size_t size = searcher->GetDataSize();
  const std::string lines = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(size, 846u);
  EXPECT_EQ(lines,
            "GraphSearcher GetDataSize.\n"
            "metricQuantString: 8, metricSize: 2, quantTypeSize: 4\n"
            "graphSize:184\n"
            "dimSize:4\n"
            "quantSize:640\n"
            "refinequantSize:0\n"
            "poSize:4\n"
            "Total dataSize:846\n");
  const std::vector<uint8_t> blob = Serialize(*searcher);
  for (size_t i = 842; i < 846; ++i) EXPECT_EQ(blob[i], 0);
  int32_t po = 0;
  std::memcpy(&po, &blob[838], 4);
  EXPECT_EQ(po, 5);
}

// Bytes of quant's calibration in the blob, by quantizer type and metric.
size_t CalibrationBytes(const std::string& metric, const std::string& quant_type, int dim) {
  if (quant_type == "SQ8U") return metric == "L2" ? 4 * (2 * dim + 1) : 4;
  if (quant_type == "SQ4U") return metric == "L2" ? 12 : 4;
  return 0;
}

// Bytes per code, by quantizer type.
size_t CodeSize(const std::string& quant_type, int dim) {
  auto roundup = [](int v, int block) { return static_cast<size_t>((v + block - 1) / block * block); };
  if (quant_type == "FP32") return 4 * roundup(dim, 16);
  if (quant_type == "FP16") return 2 * roundup(dim, 32);
  if (quant_type == "SQ8U") return roundup(dim, 64);
  return roundup(dim, 128) / 2;
}

TEST(SearcherBlob, EverySearcherRoundTripsWithAndWithoutTheTrailingBytes) {
  const int n = 150;
  const int dim = 3;  // SQ8 L2 then keeps 28 calibration bytes
  const int k = 6;
  const tarvo_test::Dataset data = tarvo_test::RandomDataset(n, dim, 8);
  const tarvo_test::Dataset queries = tarvo_test::RandomDataset(20, dim, 9);
  for (const auto& [metric, quant_type] : testing_support::kAllSearchers) {
    SCOPED_TRACE(metric + " " + quant_type);
    const auto original = BuildIndex(data, k, metric, quant_type);
    const std::vector<uint8_t> blob = Serialize(*original);
    const size_t graph_section = 16 + 4 * 1 + 4 * n * k + 8 * n;
    const size_t refine = quant_type == "SQ8U" || quant_type == "SQ4U" ? n * 4 * 16 : 0;
    EXPECT_EQ(blob.size(), 20 + metric.size() + quant_type.size() + graph_section + n * CodeSize(quant_type, dim) +
                               CalibrationBytes(metric, quant_type, dim) + refine);
    for (size_t length : {blob.size(), blob.size() - 4}) {
      const Loaded loaded = Deserialize(blob, length);
      ASSERT_EQ(loaded.result, 0) << loaded.output;
      EXPECT_EQ(Serialize(*loaded.searcher), blob);  // graph, codes, calibration, refine codes and po
      for (int q = 0; q < queries.n; ++q) {
        std::vector<int64_t> want_labels(5), got_labels(5);
        std::vector<float> want_distances(5), got_distances(5);
        original->SearchQuery(queries.row(q), 5, want_labels.data(), want_distances.data());
        loaded.searcher->SearchQuery(queries.row(q), 5, got_labels.data(), got_distances.data());
        EXPECT_EQ(got_labels, want_labels);
        EXPECT_EQ(got_distances, want_distances);
      }
    }
  }
}

TEST(SearcherBlob, LoadingPrintsItsProgressAndResetsTheSearchParameters) {
  const tarvo_test::Dataset data = tarvo_test::RandomDataset(4, 5, 10);
  const auto original = BuildIndex(data, 2, "L2", "SQ8U", /*upper_layers=*/true);
  original->SetEf(3);
  original->SetEarlyStoppingParams(2, 2);
  const std::vector<uint8_t> blob = Serialize(*original);
  const size_t dim_offset = 8 + 2 + 4 + (16 + 4 + 4 * 4 * 2 + 8 * 4 + 12 + 4 * 4 + 4 * 2 * 3);
  const Loaded loaded = Deserialize(blob, blob.size());
  ASSERT_EQ(loaded.result, 0) << loaded.output;
  const size_t quant_end = dim_offset + 4 + 4 * 64 + 4 * 11;
  const std::string expected_tail =
      "\n++++++++++++++++LoadSearcherFromMem.+++++++++++++++++++++++\n"
      "Load dim:5\n"
      "nb:4\n"
      "dataLength:" + std::to_string(blob.size()) + ", offset:" + std::to_string(dim_offset + 4) + "\n"
      "Done load quant, dataLength:" + std::to_string(blob.size()) + ", offset:" + std::to_string(quant_end) + "\n"
      "Done load refine_quant, dataLength:" + std::to_string(blob.size()) + ", offset:" +
      std::to_string(quant_end + 4 * 4 * 16) + "\n"
      "po:5\n";
  ASSERT_GE(loaded.output.size(), expected_tail.size());
  EXPECT_EQ(loaded.output.substr(loaded.output.size() - expected_tail.size()), expected_tail);
  const auto& searcher = dynamic_cast<const SQ8L2Searcher&>(*loaded.searcher);
  EXPECT_EQ(searcher.ef, 32);
  EXPECT_EQ(searcher.adding_pref, -1);
  EXPECT_EQ(searcher.patience, -1);
  EXPECT_EQ(searcher.po, 5);
  EXPECT_EQ(searcher.codeLines, 1);
  EXPECT_EQ(searcher.data, nullptr);
  ASSERT_NE(searcher.graph.hnsw1pgraph, nullptr);
  EXPECT_EQ(searcher.graph.hnsw1pgraph->ep, 1);
}

TEST(SearcherBlob, TheSQ4L2SearcherTracesItsCodesAndCalibration) {
  const tarvo_test::Dataset data = tarvo_test::RandomDataset(3, 2, 12);
  const auto searcher = BuildIndex(data, 1, "L2", "SQ4U");
  ::testing::internal::CaptureStdout();
  const std::vector<uint8_t> blob = Serialize(*searcher);
  const std::string written = ::testing::internal::GetCapturedStdout();
  const size_t codes = 8 + 2 + 4 + (16 + 4 + 4 * 3 + 8 * 3) + 4;  // offset of the codes
  const std::string length = std::to_string(blob.size());
  EXPECT_NE(written.find("[SQ4] storageSize:192, calibratorSize:12, dataSize:204\nGraphSearcher GetDataSize.\n"),
            std::string::npos);
  EXPECT_NE(written.find("[SQ4] Beginning Serialize, n: 3, code_size:64, codes: offset:" + std::to_string(codes) +
                         ", dataLength:" + length + "\n[SQ4] Serialize, codes: offset:" +
                         std::to_string(codes + 192) + ", dataLength:" + length +
                         "\n[SQ4] Serialize, calibrator: offset:" + std::to_string(codes + 204) +
                         ", dataLength:" + length + "\n"),
            std::string::npos)
      << written;
  const Loaded loaded = Deserialize(blob, blob.size());
  ASSERT_EQ(loaded.result, 0);
  const auto& sq4 = dynamic_cast<const SQ4L2Searcher&>(*searcher);
  char calibration[200];
  std::snprintf(calibration, sizeof(calibration), "[SQ4] minn:%f, maxx:%f, dif:%f\n", sq4.quant.minn, sq4.quant.maxx,
                sq4.quant.dif);
  EXPECT_NE(loaded.output.find("[SQ4] Beginning Deserialize, n: 3, code_size:64, codes: offset:" +
                               std::to_string(codes) + ", dataLength:" + length +
                               "\n[SQ4] Deserialize, codes: offset:" + std::to_string(codes + 192) +
                               ", dataLength:" + length + "\n[SQ4] Deserialize, calibrator: offset:" +
                               std::to_string(codes + 204) + ", dataLength:" + length + "\n" + calibration +
                               "Done load quant"),
            std::string::npos)
      << loaded.output;
}

// The bounds line of a read of `size` bytes at `offset` from a blob of `length` bytes.
std::string BoundsLine(size_t length, size_t offset, size_t size) {
  return "Deserialize failed: dataLen[" + std::to_string(length) + "] should be >= offset[" + std::to_string(offset) +
         "] + sizeBytes[" + std::to_string(size) + "].\n";
}

TEST(SearcherBlob, CorruptedAndTruncatedBlobsAreRefused) {
  // SQ8 L2 over 6 vectors of dimension 3 with a 2-NN graph: every kind of searcher field.
  const int n = 6;
  const tarvo_test::Dataset data = tarvo_test::RandomDataset(n, 3, 14);
  const std::vector<uint8_t> blob = Serialize(*BuildIndex(data, 2, "L2", "SQ8U"));
  const size_t graph_at = 8 + 2 + 4;
  const size_t dim_at = graph_at + 16 + 4 + 4 * n * 2 + 8 * n;
  const size_t codes_at = dim_at + 4;
  const size_t dif_at = codes_at + n * 64;
  const size_t minn_at = dif_at + 4;
  const size_t maxx_at = minn_at + 12;
  const size_t refine_at = maxx_at + 12;
  const size_t po_at = refine_at + n * 64;
  ASSERT_EQ(po_at + 8, blob.size());

  constexpr size_t kNoPatch = SIZE_MAX;
  struct Case {
    const char* what;
    size_t length;     // bytes of the blob handed to the reader
    size_t patch_at;   // where to write patch (kNoPatch for none)
    int32_t patch;
    std::string line;  // a line the refusal prints
  };
  auto truncated = [&](const char* what, size_t field_at, size_t field_size) {
    return Case{what, field_at + field_size - 1, kNoPatch, 0,
                BoundsLine(field_at + field_size - 1, field_at, field_size)};
  };
  const std::vector<Case> cases = {
      truncated("metric size", 0, 4),
      truncated("quantizer type size", 4, 4),
      truncated("metric name", 8, 2),
      truncated("quantizer type name", 10, 4),
      truncated("graph type", graph_at, 4),
      truncated("neighbours", graph_at + 16 + 4, 4 * n * 2),
      truncated("reverse order", graph_at + 16 + 4 + 4 * n * 2 + 4 * n, 4 * n),
      truncated("dim", dim_at, 4),
      truncated("codes", codes_at, n * 64),
      truncated("dif", dif_at, 4),
      truncated("minn", minn_at, 12),
      truncated("maxx", maxx_at, 12),
      truncated("refine codes", refine_at, n * 64),
      truncated("po", po_at, 4),
      truncated("entry point count", graph_at + 4, 4),
      truncated("entry points", graph_at + 8, 4),
      truncated("N", graph_at + 12, 4),
      truncated("K", graph_at + 16, 4),
      truncated("graph order", graph_at + 16 + 4 + 4 * n * 2, 4 * n),
      {"metric size beyond the blob", blob.size(), 0, 1000, BoundsLine(blob.size(), 8, 1000)},
      {"graph type 2", blob.size(), graph_at, 2, "Invalid number of graphType : 2.\n"},
      {"entry point count too large", blob.size(), graph_at + 4, 2000000000, "Invalid number of nep : 2000000000.\n"},
      {"entry point beyond N", blob.size(), graph_at + 8, n, "Invalid number of eps id : 6.\n"},
      {"N -1", blob.size(), graph_at + 12, -1, "Invalid number of N : 18446744073709551615.\n"},
      {"neighbour beyond N", blob.size(), graph_at + 20 + 4 * 3, n, "Invalid number of neighbors : 6.\n"},
      {"dim 0", blob.size(), dim_at, 0, "Invalid number of dim : 0.\n"},
      {"dim 3000", blob.size(), dim_at, 3000, "Invalid number of dim : 3000.\n"},
      {"dim -1", blob.size(), dim_at, -1, "Invalid number of dim : 18446744073709551615.\n"},
      {"dim larger than stored", blob.size(), dim_at, 200, BoundsLine(blob.size(), codes_at, n * 256)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> corrupted(blob.begin(), blob.begin() + c.length);
    if (c.patch_at != kNoPatch) std::memcpy(&corrupted[c.patch_at], &c.patch, 4);
    const Loaded loaded = Deserialize(corrupted, corrupted.size());
    EXPECT_EQ(loaded.result, -1);
    EXPECT_NE(loaded.output.find(c.line), std::string::npos) << loaded.output;
  }
}

TEST(SearcherBlob, EveryShorterBufferOrBlobIsRefused) {
  // The writer given fewer than the L - 4 bytes it fills, and the reader given fewer than those
  // L - 4 bytes, fail with the bounds line of the field that does not fit, for every field of
  // every searcher kind (graph with upper layers included).
  const tarvo_test::Dataset data = tarvo_test::RandomDataset(4, 3, 15);
  for (const auto& [metric, quant_type] : testing_support::kAllSearchers) {
    SCOPED_TRACE(metric + " " + quant_type);
    const auto searcher = BuildIndex(data, 2, metric, quant_type, /*upper_layers=*/true);
    const std::vector<uint8_t> blob = Serialize(*searcher);
    const size_t filled = blob.size() - 4;
    for (size_t length = 0; length < filled; ++length) {
      std::vector<uint8_t> buffer(length);
      size_t buffer_length = length;
      size_t offset = 0;
      ::testing::internal::CaptureStdout();
      const int written = searcher->SaveSearcherToMem(buffer.data(), &buffer_length, &offset);
      const std::string output = ::testing::internal::GetCapturedStdout();
      EXPECT_EQ(written, -1) << length;
      EXPECT_NE(output.find("Serialize failed: dataLen[" + std::to_string(length) + "] should be >= offset["),
                std::string::npos)
          << output;

      const Loaded loaded = Deserialize(std::vector<uint8_t>(blob.begin(), blob.begin() + length), length);
      EXPECT_EQ(loaded.result, -1) << length;
      EXPECT_NE(loaded.output.find("Deserialize failed: dataLen[" + std::to_string(length) + "] should be >= offset["),
                std::string::npos)
          << loaded.output;
    }
  }
}

// The labels and distances of the 3 nearest rows of each query.
std::vector<float> Answers(const SearcherBase& searcher, const tarvo_test::Dataset& queries) {
  std::vector<float> answers;
  for (int q = 0; q < queries.n; ++q) {
    int64_t labels[3] = {-7, -7, -7};
    float distances[3] = {-7, -7, -7};
    searcher.SearchQuery(queries.row(q), 3, labels, distances);
    for (int i = 0; i < 3; ++i) answers.insert(answers.end(), {static_cast<float>(labels[i]), distances[i]});
  }
  return answers;
}

// Reads blob[0, length) from the dim field on into searcher; the result of the load.
int LoadSearcherPart(SearcherBase& searcher, const std::vector<uint8_t>& blob, size_t length, size_t dim_at) {
  const std::vector<uint8_t> part(blob.begin(), blob.begin() + length);
  size_t part_length = length;
  size_t offset = dim_at;
  int result = 0;
  CapturedStdout([&] { result = searcher.LoadSearcherFromMem(part.data(), &part_length, &offset); });
  return result;
}

// A refusal at any byte of the searcher's part of the blob, or of its dim, leaves a built
// searcher exactly as it was: the same blob, the same answers, the same ef.
TEST(SearcherBlob, ARefusedLoadLeavesABuiltSearcherAsItWas) {
  const int n = 6;
  const int k = 2;
  const tarvo_test::Dataset data = tarvo_test::RandomDataset(n, 3, 16);
  const tarvo_test::Dataset queries = tarvo_test::RandomDataset(4, 3, 17);
  const size_t graph_section = 16 + 4 * 1 + 4 * n * k + 8 * n;
  for (const auto& [metric, quant_type] : testing_support::kAllSearchers) {
    SCOPED_TRACE(metric + " " + quant_type);
    const auto searcher = BuildIndex(data, k, metric, quant_type);
    searcher->SetEf(5);
    std::vector<uint8_t> blob;
    CapturedStdout([&] { blob = Serialize(*searcher); });
    const std::vector<float> answers = Answers(*searcher, queries);
    const size_t dim_at = 8 + metric.size() + quant_type.size() + graph_section;

    // What the searcher holds must be what it held, after every single refusal.
    auto expect_unchanged = [&](const std::string& refusal) {
      std::vector<uint8_t> after;
      CapturedStdout([&] { after = Serialize(*searcher); });
      ASSERT_EQ(after, blob) << refusal;
      ASSERT_EQ(Answers(*searcher, queries), answers) << refusal;
      ASSERT_EQ(searcher->GetEf(), 5) << refusal;
    };
    for (const int32_t bad_dim : {0, 3000, -1}) {
      std::vector<uint8_t> corrupted = blob;
      std::memcpy(&corrupted[dim_at], &bad_dim, 4);
      ASSERT_EQ(LoadSearcherPart(*searcher, corrupted, corrupted.size(), dim_at), -1) << bad_dim;
      expect_unchanged("dim " + std::to_string(bad_dim));
    }
    // From the longest cut down, so that no refusal restores what an earlier one changed.
    for (size_t length = blob.size() - 5; length >= dim_at; --length) {
      ASSERT_EQ(LoadSearcherPart(*searcher, blob, length, dim_at), -1) << length;
      expect_unchanged("cut at " + std::to_string(length));
    }
    // The whole part still loads into it.
    EXPECT_EQ(LoadSearcherPart(*searcher, blob, blob.size(), dim_at), 0);
    EXPECT_EQ(Answers(*searcher, queries), answers);
  }
}

// A searcher fresh from the factory whose load was refused still holds no rows: a search finds
// nothing and writes nothing.
TEST(SearcherBlob, ASearcherWhoseLoadWasRefusedSearchesNothing) {
  const tarvo_test::Dataset data = tarvo_test::RandomDataset(6, 3, 18);
  for (const auto& [metric, quant_type] : testing_support::kAllSearchers) {
    SCOPED_TRACE(metric + " " + quant_type);
    const auto built = BuildIndex(data, 2, metric, quant_type);
    std::vector<uint8_t> blob;
    CapturedStdout([&] { blob = Serialize(*built); });
    const size_t dim_at = 8 + metric.size() + quant_type.size() + 16 + 4 + 4 * 6 * 2 + 8 * 6;
    Graph<int> graph = MakeGraph({{1, 2}, {0, 2}, {0, 1}, {4, 5}, {3, 5}, {3, 4}}, 2, {0});
    std::unique_ptr<SearcherBase> fresh;
    CapturedStdout([&] { fresh = MakeGraphSearcher(graph, metric, quant_type); });
    ASSERT_EQ(LoadSearcherPart(*fresh, blob, dim_at + 5, dim_at), -1);  // the codes cut short
    int64_t labels[2] = {-7, -7};
    float distances[2] = {-7, -7};
    fresh->SearchQuery(data.row(0), 2, labels, distances);
    EXPECT_EQ(labels[0], -7);
    EXPECT_EQ(distances[1], -7);
  }
}

TEST(SearcherBlob, CodesThatTheBlobDoesNotHoldAreRefusedBeforeTheyAreAllocated) {
  // 200,000 nodes without neighbours and dimension 2999 claim 2.4 GB of codes after the dim field.
  const int n = 200000;
  Graph<int> graph;
  graph.Allocate(n, 0);
  graph.eps = {0};
  const auto searcher = MakeGraphSearcher(graph, "L2", "FP32");
  std::vector<uint8_t> blob(searcher->GetDataSize(), 0);
  size_t length = blob.size();
  size_t offset = 0;
  ASSERT_EQ(searcher->SaveSearcherToMem(blob.data(), &length, &offset), 0);
  const size_t dim_at = 8 + 2 + 4 + 20 + 8 * static_cast<size_t>(n);
  const int32_t dim = 2999;
  std::memcpy(&blob[dim_at], &dim, 4);
  const Loaded loaded = Deserialize(blob, blob.size());
  EXPECT_EQ(loaded.result, -1);
  EXPECT_NE(loaded.output.find(BoundsLine(blob.size(), dim_at + 4, size_t{12032} * n)), std::string::npos)
      << loaded.output;
}

}  // namespace
}  // namespace vexa
