#ifndef TARVO_ENGINE_BUILD_HNSW_HNSW_H_
#define TARVO_ENGINE_BUILD_HNSW_HNSW_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "engine/build/batched_distances.h"
#include "engine/build/builder_state.h"
#include "engine/build/input_problem.h"
#include "engine/build/hnsw/hnsw_heap.h"
#include "engine/build/minstd_uniform.h"
#include "engine/build/node_lock.h"
#include "engine/search/quant/distance.h"
#include "engine/search/graph/graph.h"

namespace vexa {

// Builds a layered proximity graph by inserting the vectors one by one, each node keeping a small
// diverse neighbour list on every layer up to a randomly drawn level, and converts it into the
// engine's graph: level 0 becomes the base graph of degree maxM0_, the levels above become its
// upper layers.
//
// Nodes are numbered by insertion (cur_c); each node's element holds its level-0 list, its vector
// and its label (the caller's row). With several threads the insertion number of a row need not
// be the row; the converted graph is in row numbers.
class HNSW : public BuilderState {
 public:
  // Derives every size from K_features (the dimension), M and ef_construction and prints the
  // three "[HNSW] init" lines. Validates nothing; Build refuses what it cannot build.
  HNSW(const std::string& metric, int K_features, size_t M, size_t ef_construction);
  HNSW(const HNSW&) = delete;
  HNSW& operator=(const HNSW&) = delete;
  ~HNSW();

  // Inserts the n vectors of the chunk table (2^consecutiveLog vectors per chunk) and converts
  // the result into graph. Throws the BuildInputProblem (std::length_error for too many slots,
  // otherwise std::invalid_argument), and std::runtime_error when memory runs out or a copy
  // fails, also when that happens in a parallel insert. A failed build may be repeated; it
  // starts afresh.
  void Build(float** chunks, int consecutiveLog, int n);
  // Why Build cannot handle these arguments: n < 1, dim_ < 1, M_ outside 2 .. 32767,
  // ef_construction_ 0, n x maxM0_ slots at or above 2^31, a null table or a value that is not
  // finite; no reason when it can.
  InputProblem BuildInputProblem(float** chunks, int consecutiveLog, int n) const;

  // Neighbours chosen per insert and level.
  size_t GetM() const { return M_; }
  // Result size of a layer search while building.
  size_t GetEfConstruction() const { return ef_construction_; }

  // Searches layer lev from node entry (insertion numbers) for the ef_construction_ nodes nearest
  // to q. Needs a built graph and an entry that lives on lev. The farthest result is on top.
  DistanceHeap ExploreLayer(uint32_t entry, const float* q, int lev);

  // Prunes heap, whose ids are insertion numbers, to at most M diverse entries: nearest first, an
  // entry is kept unless a kept one is closer to it than it is to the query. A heap of fewer
  // than M entries is left unchanged.
  void KeepDiverseNeighbors(DistanceHeap& heap, size_t M);

  // The label (row) of the node inserted as number insertion, below nb after Build.
  uint64_t LabelOf(size_t insertion) const;

  // Releases what the inserts work in (the elements with their vectors and level-0 lists, the
  // upper lists, the node locks and levels) and forgets every node, keeping graph and the
  // chunk table. Nothing but ExploreLayer and LabelOf reads them, and neither is needed once
  // graph is made.
  void ReleaseNodes();

 private:
  // Inserts vector q with label as the next node. q is copied into the node's element; the
  // other nodes' vectors are read from their elements.
  void Insert(const float* q, uint64_t label);
  // Walks down from node ep at level from to level to + 1, each level greedily towards q; gives
  // the node where the walk ends.
  uint32_t GreedyDescent(uint32_t ep, const float* q, int from, int to);
  // Adds cur_c to node n's list at lev under n's lock, re-selecting n's neighbours when the list
  // is full; reselect is a reusable heap.
  void LinkBack(uint32_t n, uint32_t cur_c, int lev, DistanceHeap& reselect);
  // Copies node's list at lev into out under the node's lock; gives the count.
  size_t CopyLinks(uint32_t node, int lev, uint32_t* out);
  // This thread's buffer for a copied list, of at least maxM0_ ids.
  std::vector<uint32_t>& LinkScratch() const;
  // A level drawn from levelRng_.
  int DrawLevel();
  // Writes the level-0 lists into graph's rows, in row numbers.
  void CopyLevel0();
  // Fills the graph's upper layers from the nodes' upper lists, in row numbers.
  void CopyUpperLayers();

  char* Element(size_t i) const { return data_level0_memory_ + i * size_data_per_element_; }
  // The copy of node id's vector in its element.
  const float* NodeVector(uint32_t id) const { return reinterpret_cast<const float*>(Element(id) + offsetData_); }
  // Calls store(i, distFn_(q, vector of node idAt(i))) for i = 0 .. count - 1 in order, the
  // distances computed several vectors at a time.
  template <typename IdAt, typename Store>
  void NodeDistances(const float* q, size_t count, IdAt&& idAt, Store&& store) const {
    BatchedDistances(distManyFn_, dim_, q, static_cast<int>(count), [&](int i) { return NodeVector(idAt(i)); }, store);
  }
  // The header word of node id's list at lev; the ids follow it.
  uint32_t* LinkList(uint32_t id, int lev) const {
    if (lev == 0) return reinterpret_cast<uint32_t*>(Element(id) + offsetLevel0_);
    return reinterpret_cast<uint32_t*>(linkLists_[id] + static_cast<size_t>(lev - 1) * upperLinksSize_);
  }
  // The count in a list header (its low 16 bits).
  static size_t LinkCount(const uint32_t* header) {
    uint16_t count;
    std::memcpy(&count, header, sizeof(count));
    return count;
  }
  static void SetLinkCount(uint32_t* header, size_t count) {
    const auto low = static_cast<uint16_t>(count);
    std::memcpy(header, &low, sizeof(low));
  }

  DistanceFunction distFn_;          // the kernel of DistanceFP32L2 for "L2", of DistanceFP32IP otherwise
  DistanceManyFunction distManyFn_;  // the same distance's many-vector form
  int dim_;                          // K_features
  std::atomic<uint64_t> insertedCount_{0};  // insertion numbers handed out
  size_t M_;                         // neighbours chosen per insert and level
  size_t maxM_;                      // list capacity above level 0
  size_t maxM0_;                     // list capacity at level 0
  size_t ef_construction_;           // result size of a layer search
  double mult_;                      // 1 / ln(M_): scales the level draw
  double revSize_;                   // ln(M_)
  std::atomic<int> topLevel_{-1};    // highest level of the graph; written under topLevelLock_
  std::atomic<int> entryNode_{-1};   // a node of level topLevel_; written under topLevelLock_
  std::mutex topLevelLock_;          // held by the insert that raises the top level
  std::vector<NodeLock> linkLocks_;  // one per node: guards its lists
  std::mutex counterLock_;           // guards handing out insertion numbers
  size_t data_size_;                 // bytes of one vector
  size_t size_links_level0_;         // bytes of a level-0 list with its header
  size_t offsetData_;                // offset of the vector in an element
  size_t offsetLevel0_;              // offset of the level-0 list in an element
  size_t label_offset_;              // offset of the label in an element
  size_t size_data_per_element_;     // bytes of one element
  size_t upperLinksSize_;            // bytes of one upper list with its header
  char* data_level0_memory_ = nullptr;  // nb elements; owned, from malloc
  char** linkLists_ = nullptr;       // nb upper-list blocks (null for level 0); owned, from malloc
  std::vector<int> nodeLevels_;      // level of each node
  MinstdUniform levelRng_{100};      // the shared level generator
};

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_HNSW_HNSW_H_
