// Writes the seed corpora of the fuzz targets into the folder given as its argument: small
// indexes of every graph type (SSG, NSG, TSDG, HNSW with and without its upper layers) over both
// metrics, each as a graph section, as an index blob of every code kind and as a graph file of
// every level. Some graphs are renumbered for locality, so that the seeds carry orders other
// than the identity.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "engine/build/hnsw/hnsw.h"
#include "engine/build/reorder/graph_reorder_worker.h"
#include "engine/build/ssg/ssg.h"
#include "engine/index/graph_file.h"
#include "engine/search/quant/distance.h"
#include "engine/search/searcher/make_graph_searcher.h"
#include "engine/search/searcher/name_tables.h"

namespace {

constexpr int kRows = 24;
constexpr int kDim = 5;
constexpr int kLog = 3;  // three chunks of eight rows

void WriteSeed(const std::filesystem::path& folder, const std::string& name, const std::vector<uint8_t>& bytes) {
  std::filesystem::create_directories(folder);
  std::ofstream(folder / (name + ".bin"), std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Rows on a small lattice with a twist, so that graphs and calibrations are not degenerate.
std::vector<float> MakeVectors() {
  std::vector<float> vectors(kRows * kDim);
  for (int i = 0; i < kRows; ++i) {
    for (int j = 0; j < kDim; ++j) vectors[i * kDim + j] = static_cast<float>((i * (j + 3)) % 11) - 0.5f * j;
  }
  return vectors;
}

// The built graph of one variant in the caller's row numbers (renumbered when reorder is set).
vexa::Graph<int> BuildGraph(const std::string& type, bool upper_layers, bool reorder, const std::string& metric,
                            float** chunks) {
  vexa::Graph<int> graph;
  if (type == "HNSW") {
    vexa::HNSW builder(metric, kDim, 4, 16);
    builder.Build(chunks, kLog, kRows);
    graph = std::move(builder.graph);
  } else {
    vexa::SSG builder(6, 12, 60.0f, 4, metric, "RNNDescent", type, kDim, 0);
    builder.Build(chunks, kLog, kRows);
    graph = std::move(builder.graph);
  }
  if (!upper_layers) graph.hnsw1pgraph.reset();
  if (reorder) {
    vexa::GraphReorderWorker worker;
    worker.distFn = metric == "L2" ? vexa::DistanceFP32L2 : vexa::DistanceFP32IP;
    worker.chunks = chunks;
    worker.metric = metric;
    worker.consecutiveLog = kLog;
    worker.dim = kDim;
    worker.MagicReorder(graph);
  }
  return graph;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  const std::filesystem::path out = argv[1];
  std::vector<float> vectors = MakeVectors();
  std::vector<float*> chunks;
  for (int first = 0; first < kRows; first += 1 << kLog) chunks.push_back(vectors.data() + first * kDim);

  struct Variant {
    const char* type;
    bool upper_layers;
    bool reorder;
  };
  const Variant variants[] = {{"SSG", false, false}, {"NSG", false, true}, {"TSDG", false, false},
                              {"HNSW", true, true},  {"HNSW", false, false}};
  for (const Variant& v : variants) {
    for (const std::string metric : {"L2", "IP"}) {
      const std::string name = std::string(v.type) + (v.upper_layers ? "-upper" : "") + (v.reorder ? "-reordered" : "") +
                               "-" + metric;
      const vexa::Graph<int> graph = BuildGraph(v.type, v.upper_layers, v.reorder, metric, chunks.data());

      std::vector<uint8_t> section(graph.GetDataSize() - 4);
      size_t length = section.size();
      size_t offset = 0;
      if (graph.SaveToMem(section.data(), &length, &offset) != 0) return 1;
      WriteSeed(out / "graph_section", name, section);

      for (const std::string& quant_type : {"FP32", "FP16", "SQ8U", "SQ4U"}) {
        auto searcher = vexa::MakeGraphSearcher(graph, metric, quant_type);
        searcher->Build(chunks.data(), kLog, kRows, kDim);
        std::vector<uint8_t> blob(searcher->GetDataSize(), 0);
        size_t blob_length = blob.size();
        size_t blob_offset = 0;
        if (searcher->SaveSearcherToMem(blob.data(), &blob_length, &blob_offset) != 0) return 1;
        WriteSeed(out / "index_blob", name + "-" + quant_type, blob);
      }

      for (int level = 0; level < static_cast<int>(vexa::quant_level_names.size()); ++level) {
        GraphFileHeader header;
        header.dim = kDim;
        header.quantLevel = level;
        header.chunks = chunks.data();
        header.metric = metric == "L2" ? 1 : 0;
        header.consecutiveLog = kLog;
        header.nb = kRows;
        const std::filesystem::path file = out / "graph_file" / (name + "-level" + std::to_string(level) + ".bin");
        std::filesystem::create_directories(file.parent_path());
        if (vexa::Graph<int>::SaveToFile(graph, file.c_str(), header) != 0) return 1;
      }
    }
  }
  return 0;
}
