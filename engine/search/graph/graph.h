#ifndef TARVO_ENGINE_SEARCH_GRAPH_GRAPH_H_
#define TARVO_ENGINE_SEARCH_GRAPH_GRAPH_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numeric>
#include <utility>
#include <vector>

#include "engine/search/memory/alloc_aligned.h"
#include "engine/search/graph/hnsw1p_graph.h"

// The header of a graph file (engine/index/graph_file.h).
struct GraphFileHeader;

namespace vexa {

// A proximity graph of N nodes with K slots each, over slots of type T: int ids for the searchable
// graph, link entries for the SSG build. A row ends at its first slot of id -1. true_order maps an
// internal node number to the caller's row number and rev_order is its inverse. The graph owns
// its slots, which only Allocate, AllocateZeroed, a move, a load and the destructor replace or
// release, and its upper layers, which installing new ones releases.
template <typename T>
class Graph {
 public:
  Graph() = default;
  // A deep copy, upper layers included. Prints "[Graph] Init Graph with another graph.".
  Graph(const Graph& other);
  Graph& operator=(const Graph&) = delete;
  // Takes other's storage; other is left empty.
  Graph(Graph&& other) noexcept { *this = std::move(other); }
  // Releases this graph's storage and takes other's; other is left empty.
  Graph& operator=(Graph&& other) noexcept;
  ~Graph();

  // Replaces the slots by N rows of K empty (-1) slots and both orders by the identity; the entry
  // points and upper layers stay. Throws std::bad_alloc, the graph then unchanged.
  void Allocate(int N, int K);
  // Replaces the slots by N rows of K zero-filled ones (a link entry {id 0, distance 0}); the
  // orders, entry points and upper layers stay. Throws std::bad_alloc, the graph then unchanged.
  void AllocateZeroed(int N, int K);

  // Renumbers rows, ids, entry points and upper layers into the order that true_order (new to
  // old) and rev_order (old to new) already describe.
  void ReorderInPlace();

  // Bytes of the graph's blob section plus 4.
  uint64_t GetDataSize() const;
  // Writes the blob section at *offset; 0 or -1.
  int SaveToMem(uint8_t* data, size_t* dataLength, size_t* offset) const;
  // Replaces the graph by the blob section read at *offset; 0 or -1 with the reason printed.
  int LoadFromMem(const uint8_t* data, size_t* dataLength, size_t* offset);
  // 0 when every row holds only ids below N up to its first -1; otherwise prints and gives -1.
  int ValidateNeighbors() const;
  // 0 when true_order is a permutation of 0 .. N - 1 and rev_order its inverse, so that every
  // label a search maps back names a row; otherwise prints and gives -1.
  int ValidateOrders() const;
  // 0 when every id of the upper layers (none counts as valid) is -1 or a node below N that has
  // at least the level it is listed on, since the descent reads the row of each node it moves to
  // at the current level; otherwise prints and gives -1. The lists hold whole levels of K ids.
  int ValidateUpperLayers() const;
  // Writes graph with the header's vectors as a graph file at path, replacing a file there only
  // once every byte is written; 0, or -1 with the reason printed (the file at path unchanged).
  static int SaveToFile(const Graph<int>& graph, const char* path, const GraphFileHeader& header);
  // Reads the graph file at path into graph and header (header.chunks a new table that the caller
  // owns, chunks and table made with new[]); 0, or -1 with the reason printed and graph unchanged.
  static int LoadFromFile(Graph<int>& graph, const char* path, GraphFileHeader& header);
  // The graph type that blobs and graph files store: 1 with upper layers, 0 without.
  int GraphType() const { return hnsw1pgraph ? 1 : 0; }
  // Cache lines that a row of K slots spans: what a prefetch of one row asks for. Counted in 64
  // bits, since a graph read from a damaged file may hold any K.
  int RowLines() const {
    return static_cast<int>((static_cast<int64_t>(K) * static_cast<int64_t>(sizeof(T)) + 63) / 64);
  }

  int N = 0;          // number of nodes (rows)
  int K = 0;          // slots per row
  T* neighbors = nullptr;                    // N x K slots; owned, from AllocAligned, freed with free()
  std::unique_ptr<Hnsw1pGraph> hnsw1pgraph;  // upper layers, owned; null for none
  std::vector<int> true_order;               // internal number -> caller's row number
  std::vector<int> rev_order;                // caller's row number -> internal number
  std::vector<int> eps;                      // base-layer entry points; the first is the main one

 private:
  // Bytes of `slots` slots; throws std::bad_alloc for a negative count (it wraps to one beyond
  // any block) or one whose byte count overflows.
  static size_t SlotBytes(int64_t slots) { return ArrayBytesOrThrow(static_cast<size_t>(slots), sizeof(T)); }
};

template <typename T>
Graph<T>::Graph(const Graph& other) : N(other.N), K(other.K) {
  const int64_t slots = static_cast<int64_t>(N) * K;
  FreePtr<T> copy(static_cast<T*>(AllocAlignedOrThrow(SlotBytes(slots))));
  std::printf("[Graph] Init Graph with another graph.\n");
  true_order = other.true_order;
  rev_order = other.rev_order;
  eps = other.eps;
  if (N > 0 && K > 0) std::memcpy(copy.get(), other.neighbors, static_cast<size_t>(slots) * sizeof(T));
  if (other.hnsw1pgraph) hnsw1pgraph = std::make_unique<Hnsw1pGraph>(*other.hnsw1pgraph);
  neighbors = copy.release();
}

template <typename T>
Graph<T>& Graph<T>::operator=(Graph&& other) noexcept {
  if (this == &other) return *this;
  std::free(neighbors);
  neighbors = std::exchange(other.neighbors, nullptr);
  N = std::exchange(other.N, 0);
  K = std::exchange(other.K, 0);
  hnsw1pgraph = std::move(other.hnsw1pgraph);
  true_order = std::exchange(other.true_order, {});
  rev_order = std::exchange(other.rev_order, {});
  eps = std::exchange(other.eps, {});
  return *this;
}

template <typename T>
Graph<T>::~Graph() {
  std::free(neighbors);
  neighbors = nullptr;
}

template <typename T>
void Graph<T>::Allocate(int n, int k) {
  // The slots first: a request no block can meet fails before the orders are sized from n.
  const size_t bytes = SlotBytes(static_cast<int64_t>(n) * k);
  FreePtr<T> slots(static_cast<T*>(AllocAlignedOrThrow(bytes)));
  if (bytes != 0) std::memset(slots.get(), 0xFF, bytes);
  std::vector<int> identity(n > 0 ? static_cast<size_t>(n) : 0);
  std::iota(identity.begin(), identity.end(), 0);
  std::vector<int> inverse = identity;
  std::free(neighbors);
  neighbors = slots.release();
  N = n;
  K = k;
  rev_order = std::move(inverse);
  true_order = std::move(identity);
}

template <typename T>
void Graph<T>::AllocateZeroed(int n, int k) {
  T* slots = static_cast<T*>(AllocAlignedOrThrow(SlotBytes(static_cast<int64_t>(n) * k)));
  std::free(neighbors);
  neighbors = slots;
  N = n;
  K = k;
}

template <>
void Graph<int>::ReorderInPlace();
template <>
uint64_t Graph<int>::GetDataSize() const;
template <>
int Graph<int>::SaveToMem(uint8_t* data, size_t* dataLength, size_t* offset) const;
template <>
int Graph<int>::LoadFromMem(const uint8_t* data, size_t* dataLength, size_t* offset);
template <>
int Graph<int>::ValidateNeighbors() const;
template <>
int Graph<int>::ValidateOrders() const;
template <>
int Graph<int>::ValidateUpperLayers() const;
template <>
int Graph<int>::SaveToFile(const Graph<int>& graph, const char* path, const GraphFileHeader& header);
template <>
int Graph<int>::LoadFromFile(Graph<int>& graph, const char* path, GraphFileHeader& header);

extern template class Graph<int>;

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_GRAPH_GRAPH_H_
