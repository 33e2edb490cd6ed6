// The graph's section of the index blob: graphType, the entry points, N, K, the N x K slots, both
// orders and, with upper layers, their N, K, ep and one counted list per node. All fields are
// native 4-byte integers.
#include <utility>
#include <vector>

#include "engine/search/memory/blob_io.h"
#include "engine/search/graph/graph.h"

namespace vexa {
namespace {

// A value read from a blob, sign-extended and taken as unsigned: the form every limit compares,
// so that a negative value fails as a huge one.
uint64_t AsUnsigned(int64_t value) { return static_cast<uint64_t>(value); }

// Bytes of `count` int32 entries.
size_t IntBytes(uint64_t count) { return static_cast<size_t>(count) * sizeof(int); }

// 0 when value is at most limit; otherwise prints the refusal of the field and gives -1.
int CheckAtMost(const char* name, int64_t value, uint64_t limit) {
  if (AsUnsigned(value) <= limit) return 0;
  PrintInvalidNumber(name, value);
  return -1;
}

// 0 when id is a node number below n; otherwise prints the refusal of the field and gives -1.
int CheckNode(const char* name, int id, int n) {
  if (AsUnsigned(id) < AsUnsigned(n)) return 0;
  PrintInvalidNumber(name, id);
  return -1;
}

// Reads count int32 entries into out, after checking that the blob holds them (a short blob
// never makes the reader size storage for a claimed count).
int ReadInts(std::vector<int>* out, size_t count, const uint8_t* data, size_t* offset, size_t dataLen) {
  if (CheckDeserializeBounds(IntBytes(count), *offset, dataLen) != 0) return -1;
  out->resize(count);
  return DeserializeArray(out->data(), data, IntBytes(count), offset, dataLen);
}

// Reads the upper part of a graph of n nodes into layers, which holds n empty lists.
int ReadUpperLayers(int n, const uint8_t* data, size_t* offset, size_t dataLen, Hnsw1pGraph* layers) {
  if (DeserializeValue(&layers->N, data, offset, dataLen) != 0 ||
      CheckAtMost("N", layers->N, kMaxBlobCount) != 0) {
    return -1;
  }
  // The level and list tables were sized for the graph's nodes.
  if (layers->N != n) {
    PrintInvalidNumber("upper N", layers->N);
    return -1;
  }
  if (DeserializeValue(&layers->K, data, offset, dataLen) != 0 ||
      CheckAtMost("K", layers->K, kMaxBlobCount) != 0 ||
      DeserializeValue(&layers->ep, data, offset, dataLen) != 0 ||
      CheckNode("ep", layers->ep, layers->N) != 0) {
    return -1;
  }
  const int K = layers->K;
  for (int i = 0; i < n; ++i) {
    int cur = 0;
    if (DeserializeValue(&cur, data, offset, dataLen) != 0 || CheckAtMost("cur", cur, kMaxBlobCount) != 0) {
      return -1;
    }
    // A list holds whole levels of K ids.
    if (K == 0 ? cur != 0 : cur % K != 0) {
      PrintInvalidNumber("cur", cur);
      return -1;
    }
    if (CheckDeserializeBounds(IntBytes(cur), *offset, dataLen) != 0) return -1;  // before sizing the list
    layers->nodeLevels[i] = K == 0 ? 0 : cur / K;
    AlignedVector& list = layers->lists[i];
    list.Assign(static_cast<size_t>(cur), -1);
    if (DeserializeArray(list.data(), data, IntBytes(cur), offset, dataLen) != 0) return -1;
  }
  return 0;
}

// Reads the section at *offset into graph, which is empty.
int ReadSection(const uint8_t* data, size_t dataLen, size_t* offset, Graph<int>* graph) {
  int graphType = 0;
  if (DeserializeValue(&graphType, data, offset, dataLen) != 0 ||
      CheckAtMost("graphType", graphType, 1) != 0) {
    return -1;
  }
  // Every count is checked against what the rest of the blob can hold before storage is sized
  // from it.
  int nep = 0;
  int& N = graph->N;
  int& K = graph->K;
  if (DeserializeValue(&nep, data, offset, dataLen) != 0 || CheckAtMost("nep", nep, kMaxBlobCount) != 0 ||
      ReadInts(&graph->eps, static_cast<size_t>(nep), data, offset, dataLen) != 0 ||
      DeserializeValue(&N, data, offset, dataLen) != 0 || CheckAtMost("N", N, kMaxBlobCount) != 0 ||
      DeserializeValue(&K, data, offset, dataLen) != 0 || CheckAtMost("K", K, kMaxBlobCount) != 0 ||
      CheckAtMost("N * K", static_cast<int64_t>(N) * K, kMaxBlobCount) != 0) {
    return -1;
  }
  for (int e : graph->eps) {
    if (CheckNode("eps id", e, N) != 0) return -1;
  }

  const size_t slot_bytes = IntBytes(AsUnsigned(static_cast<int64_t>(N) * K));
  if (CheckDeserializeBounds(slot_bytes, *offset, dataLen) != 0) return -1;
  graph->neighbors = static_cast<int*>(AllocAligned(slot_bytes));
  if (graph->neighbors == nullptr) {
    std::printf("Allocate space failed for data, size:(%d, %d).\n", N, K);
    return -1;
  }
  if (DeserializeArray(graph->neighbors, data, slot_bytes, offset, dataLen) != 0 ||
      graph->ValidateNeighbors() != 0 ||
      ReadInts(&graph->true_order, static_cast<size_t>(N), data, offset, dataLen) != 0 ||
      ReadInts(&graph->rev_order, static_cast<size_t>(N), data, offset, dataLen) != 0 ||
      graph->ValidateOrders() != 0) {
    return -1;
  }
  if (graphType == 0) return 0;
  graph->hnsw1pgraph = Hnsw1pGraph::Create(*graph);
  if (ReadUpperLayers(N, data, offset, dataLen, graph->hnsw1pgraph.get()) != 0) return -1;
  return graph->ValidateUpperLayers();
}

}  // namespace

template <>
uint64_t Graph<int>::GetDataSize() const {
  uint64_t size =
      20 + 4 * uint64_t{eps.size()} + 4 * AsUnsigned(static_cast<int64_t>(N) * K) + 8 * AsUnsigned(N);
  if (hnsw1pgraph) {
    const Hnsw1pGraph& layers = *hnsw1pgraph;
    size += 12;
    for (int i = 0; i < layers.N; ++i) {
      size += 4 + 4 * AsUnsigned(static_cast<int64_t>(layers.nodeLevels[i]) * layers.K);
    }
  }
  return size;
}

template <>
int Graph<int>::SaveToMem(uint8_t* data, size_t* dataLength, size_t* offset) const {
  const size_t dataLen = *dataLength;
  const uint32_t nep = static_cast<uint32_t>(eps.size());
  const uint64_t slots = AsUnsigned(static_cast<int64_t>(N) * K);
  const int graphType = GraphType();
  if (SerializeValue(data, &graphType, offset, dataLen) != 0 ||
      SerializeValue(data, &nep, offset, dataLen) != 0 ||
      SerializeArray(data, eps.data(), IntBytes(nep), offset, dataLen) != 0 ||
      SerializeValue(data, &N, offset, dataLen) != 0 || SerializeValue(data, &K, offset, dataLen) != 0 ||
      SerializeArray(data, neighbors, IntBytes(slots), offset, dataLen) != 0 ||
      SerializeArray(data, true_order.data(), IntBytes(AsUnsigned(N)), offset, dataLen) != 0 ||
      SerializeArray(data, rev_order.data(), IntBytes(AsUnsigned(N)), offset, dataLen) != 0) {
    return -1;
  }
  if (!hnsw1pgraph) return 0;
  const Hnsw1pGraph& layers = *hnsw1pgraph;
  if (SerializeValue(data, &layers.N, offset, dataLen) != 0 ||
      SerializeValue(data, &layers.K, offset, dataLen) != 0 ||
      SerializeValue(data, &layers.ep, offset, dataLen) != 0) {
    return -1;
  }
  for (int i = 0; i < layers.N; ++i) {
    const uint32_t cur = static_cast<uint32_t>(static_cast<int64_t>(layers.nodeLevels[i]) * layers.K);
    if (SerializeValue(data, &cur, offset, dataLen) != 0 ||
        SerializeArray(data, layers.lists[i].data(), IntBytes(cur), offset, dataLen) != 0) {
      return -1;
    }
  }
  return 0;
}

template <>
int Graph<int>::LoadFromMem(const uint8_t* data, size_t* dataLength, size_t* offset) {
  // Read into a graph of its own, so that a refused section leaves this one as it was.
  Graph<int> read;
  if (ReadSection(data, *dataLength, offset, &read) != 0) return -1;
  *this = std::move(read);
  return 0;
}

template <>
int Graph<int>::ValidateNeighbors() const {
  if (K == 0) return 0;
  for (int i = 0; i < N; ++i) {
    const int* row = neighbors + static_cast<size_t>(i) * K;
    for (int s = 0; s < K && row[s] != -1; ++s) {
      if (CheckNode("neighbors", row[s], N) != 0) return -1;
    }
  }
  return 0;
}

template <>
int Graph<int>::ValidateOrders() const {
  // true_order maps into 0 .. N - 1 and rev_order undoes it: then true_order is one to one, so a
  // permutation, and rev_order is its inverse everywhere.
  for (int i = 0; i < N; ++i) {
    const int row = true_order[i];
    if (CheckNode("true_order", row, N) != 0) return -1;
    if (rev_order[row] != i) {
      PrintInvalidNumber("rev_order", rev_order[row]);
      return -1;
    }
  }
  return 0;
}

template <>
int Graph<int>::ValidateUpperLayers() const {
  if (!hnsw1pgraph) return 0;
  const Hnsw1pGraph& layers = *hnsw1pgraph;
  const size_t width = static_cast<size_t>(layers.K);
  for (int i = 0; i < layers.N; ++i) {
    const AlignedVector& list = layers.lists[i];
    for (size_t p = 0; p < list.size(); ++p) {
      const int id = list[p];
      if (id == -1) continue;
      if (CheckNode("lists", id, N) != 0) return -1;
      if (layers.nodeLevels[id] < static_cast<int>(p / width) + 1) {
        PrintInvalidNumber("lists level", id);
        return -1;
      }
    }
  }
  return 0;
}

}  // namespace vexa
