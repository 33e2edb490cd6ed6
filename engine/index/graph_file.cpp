// The graph file: dim, consecutiveLog and quantLevel, the metric byte, the graph (graph_type, the
// entry points, N, K, the N x K slots, both orders and, with upper layers, their N, K, ep and one
// counted list per node) and the vectors chunk by chunk. Integers are native 4-byte values and
// nothing is aligned: every field after the metric byte sits at an odd offset.
#include "engine/index/graph_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "engine/index/replacing_file.h"
#include "engine/search/memory/blob_io.h"

namespace vexa {
namespace {

// The vectors of a graph file in the chunks they are read into; each made with new[].
using Chunks = std::vector<std::unique_ptr<float[]>>;

// Reads a graph file front to back, knowing how many of its bytes are left, so that every count
// is checked against the file before storage is sized from it.
class FileReader {
 public:
  // A path that cannot be opened, or that names no regular file, reads as an empty file.
  explicit FileReader(const char* path) : file_(std::fopen(path, "rb")) {
    struct stat status;
    if (file_ != nullptr && fstat(fileno(file_), &status) == 0 && S_ISREG(status.st_mode)) {
      left_ = static_cast<uint64_t>(status.st_size);
    }
  }
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;
  ~FileReader() {
    if (file_ != nullptr) std::fclose(file_);
  }

  // True when the file holds `bytes` more bytes; otherwise prints the shortage of the field.
  bool Holds(const char* name, uint64_t bytes) {
    if (bytes <= left_) return true;
    std::printf("No enough bytes to read in the file for read %s.", name);
    return false;
  }
  // Reads `bytes` bytes of the field into dst; false with the shortage printed when the file
  // does not hold them (or ends before its size said it would).
  bool Read(const char* name, void* dst, uint64_t bytes) {
    if (!Holds(name, bytes)) return false;
    if (bytes > 0 && std::fread(dst, 1, bytes, file_) != bytes) {
      left_ = 0;
      return Holds(name, bytes);
    }
    left_ -= bytes;
    return true;
  }
  // Reads one value of the field.
  template <typename T>
  bool ReadValue(const char* name, T* value) {
    return Read(name, value, sizeof(T));
  }

 private:
  std::FILE* file_;
  uint64_t left_ = 0;  // bytes between the position and the end
};

// True when value lies in [low, high]; otherwise prints the refusal of the field.
bool InRange(const char* name, int64_t value, int64_t low, int64_t high) {
  if (value >= low && value <= high) return true;
  PrintInvalidNumber(name, value);
  return false;
}

// Bytes of `count` int32 entries.
uint64_t IntBytes(uint64_t count) { return count * sizeof(int); }

// Reads count int32 entries of the field into out.
bool ReadInts(FileReader* file, const char* name, int count, std::vector<int>* out) {
  if (!file->Holds(name, IntBytes(count))) return false;
  out->resize(static_cast<size_t>(count));
  return file->Read(name, out->data(), IntBytes(count));
}

// Reads the N x K slots of graph, whose N and K are read, and checks their ids.
bool ReadNeighbors(FileReader* file, Graph<int>* graph) {
  const uint64_t bytes = IntBytes(static_cast<uint64_t>(graph->N) * graph->K);
  if (!file->Holds("neighbors", bytes)) return false;
  graph->neighbors = static_cast<int*>(AllocAligned(bytes));
  if (graph->neighbors == nullptr) {
    std::printf("Allocate space failed for data, size:(%d, %d).\n", graph->N, graph->K);
    return false;
  }
  return file->Read("neighbors", graph->neighbors, bytes) && graph->ValidateNeighbors() == 0;
}

// Reads the upper layers of graph, whose base layer is read, and installs them.
bool ReadUpperLayers(FileReader* file, Graph<int>* graph) {
  const int n = graph->N;
  std::unique_ptr<Hnsw1pGraph> layers = Hnsw1pGraph::Create(*graph);
  if (!file->ReadValue("upper N", &layers->N) || !file->ReadValue("upper K", &layers->K) ||
      !file->ReadValue("ep", &layers->ep)) {
    return false;
  }
  std::printf("[HNSW1p+] Load N:%d, K:%d, ep:%d\n", layers->N, layers->K, layers->ep);
  // The level and list tables hold one entry per node of the graph.
  if (!InRange("upper N", layers->N, n, n) || !InRange("upper K", layers->K, 0, kMaxBlobCount) ||
      !InRange("ep", layers->ep, 0, int64_t{n} - 1)) {
    return false;
  }
  const int width = layers->K;
  for (int i = 0; i < n; ++i) {
    int count = 0;
    if (!file->ReadValue("count", &count) || !InRange("count", count, 0, kMaxBlobCount)) return false;
    // A list holds whole levels of width ids.
    if (width == 0 ? count != 0 : count % width != 0) {
      PrintInvalidNumber("count", count);
      return false;
    }
    if (!file->Holds("lists", IntBytes(count))) return false;
    layers->nodeLevels[i] = width == 0 ? 0 : count / width;
    AlignedVector& list = layers->lists[i];
    list.Assign(static_cast<size_t>(count), -1);
    if (!file->Read("lists", list.data(), IntBytes(count))) return false;
  }
  graph->hnsw1pgraph = std::move(layers);
  return graph->ValidateUpperLayers() == 0;
}

// Reads n vectors of header.dim floats into chunks of 2^header.consecutiveLog rows, the last
// chunk holding the rest.
bool ReadVectors(FileReader* file, const GraphFileHeader& header, int n, Chunks* chunks) {
  const uint64_t rows = static_cast<uint64_t>(n);
  const uint64_t dim = static_cast<uint64_t>(header.dim);
  if (!file->Holds("vectors", rows * dim * sizeof(float))) return false;
  const uint64_t per_chunk = uint64_t{1} << header.consecutiveLog;
  for (uint64_t first = 0; first < rows; first += per_chunk) {
    const uint64_t floats = std::min(per_chunk, rows - first) * dim;
    chunks->emplace_back(new float[floats]());
    if (!file->Read("vectors", chunks->back().get(), floats * sizeof(float))) return false;
  }
  return true;
}

}  // namespace

template <>
int Graph<int>::SaveToFile(const Graph<int>& graph, const char* path, const GraphFileHeader& header) {
  ReplacingFile file(path);
  // A failed write fails every later one and the commit, which reports it.
  const auto put = [&file](const void* data, uint64_t bytes) { file.Write(data, static_cast<size_t>(bytes)); };
  const int graph_type = graph.GraphType();
  const uint32_t nep = static_cast<uint32_t>(graph.eps.size());
  const uint64_t n = static_cast<uint64_t>(graph.N);
  put(&header.dim, sizeof(int));
  put(&header.consecutiveLog, sizeof(int));
  put(&header.quantLevel, sizeof(int));
  put(&header.metric, sizeof(uint8_t));
  put(&graph_type, sizeof(int));
  put(&nep, sizeof(uint32_t));
  put(graph.eps.data(), IntBytes(nep));
  put(&graph.N, sizeof(int));
  put(&graph.K, sizeof(int));
  put(graph.neighbors, IntBytes(n * static_cast<uint64_t>(graph.K)));
  put(graph.true_order.data(), IntBytes(n));
  put(graph.rev_order.data(), IntBytes(n));
  if (graph.hnsw1pgraph) {
    const Hnsw1pGraph& layers = *graph.hnsw1pgraph;
    put(&layers.N, sizeof(int));
    put(&layers.K, sizeof(int));
    put(&layers.ep, sizeof(int));
    for (int i = 0; i < layers.N; ++i) {
      const int count = layers.nodeLevels[i] * layers.K;
      put(&count, sizeof(int));
      put(layers.lists[i].data(), IntBytes(count));
    }
  }
  const uint64_t per_chunk = uint64_t{1} << header.consecutiveLog;
  const uint64_t dim = static_cast<uint64_t>(header.dim);
  for (uint64_t first = 0; first < n; first += per_chunk) {
    put(header.chunks[first / per_chunk], std::min(per_chunk, n - first) * dim * sizeof(float));
  }
  return file.Commit();
}

template <>
int Graph<int>::LoadFromFile(Graph<int>& graph, const char* path, GraphFileHeader& header) {
  // Everything is read into locals and handed over only once the whole file has passed.
  FileReader file(path);
  GraphFileHeader read;
  Graph<int> loaded;
  int graph_type = 0;
  int nep = 0;
  if (!file.ReadValue("dim", &read.dim) || !InRange("dim", read.dim, 1, kMaxDim) ||
      !file.ReadValue("consecutiveLog", &read.consecutiveLog) ||
      !InRange("consecutiveLog", read.consecutiveLog, 1, 31) ||
      !file.ReadValue("quantLevel", &read.quantLevel) || !InRange("quantLevel", read.quantLevel, 0, 5) ||
      !file.ReadValue("metric", &read.metric) || !file.ReadValue("graph_type", &graph_type) ||
      !InRange("graph_type", graph_type, 0, 1) || !file.ReadValue("nep", &nep) ||
      !InRange("nep", nep, 0, kMaxBlobCount) || !ReadInts(&file, "eps", nep, &loaded.eps) ||
      !file.ReadValue("N", &loaded.N) || !InRange("N", loaded.N, 0, kMaxBlobCount) ||
      !file.ReadValue("K", &loaded.K) || !InRange("K", loaded.K, 0, kMaxBlobCount) ||
      !InRange("N * K", int64_t{loaded.N} * loaded.K, 0, kMaxBlobCount)) {
    return -1;
  }
  for (int e : loaded.eps) {
    if (!InRange("eps id", e, 0, int64_t{loaded.N} - 1)) return -1;
  }
  if (!ReadNeighbors(&file, &loaded)) return -1;
  std::printf("Read true_order and rev_order.\n");
  if (!ReadInts(&file, "true_order", loaded.N, &loaded.true_order) ||
      !ReadInts(&file, "rev_order", loaded.N, &loaded.rev_order) || loaded.ValidateOrders() != 0) {
    return -1;
  }
  if (graph_type == 1 && !ReadUpperLayers(&file, &loaded)) return -1;
  Chunks chunks;
  if (!ReadVectors(&file, read, loaded.N, &chunks)) return -1;

  read.chunks = new (std::nothrow) float*[chunks.size()];
  if (read.chunks == nullptr) return -1;
  for (size_t c = 0; c < chunks.size(); ++c) read.chunks[c] = chunks[c].release();
  read.nb = loaded.N;
  graph = std::move(loaded);
  header = read;
  std::printf("Graph Loading done\n");
  return 0;
}

}  // namespace vexa

void PrintGraphHeader(const GraphFileHeader& header) {
  std::printf("\n++++++++++++++++++++++++++++++++++\n");
  std::printf("dim:%d, quantLevel:%d, ValidData: %d, metric:%d, consecutiveLog:%d, nb:%d\n", header.dim,
              header.quantLevel, header.chunks != nullptr ? 1 : 0, header.metric, header.consecutiveLog,
              header.nb);
  std::printf("++++++++++++++++++++++++++++++++++\n");
}
