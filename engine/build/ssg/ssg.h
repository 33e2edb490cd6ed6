#ifndef TARVO_ENGINE_BUILD_SSG_SSG_H_
#define TARVO_ENGINE_BUILD_SSG_SSG_H_

#include <memory>
#include <string>
#include <vector>

#include "engine/build/builder.h"
#include "engine/build/builder_state.h"
#include "engine/build/candidate.h"
#include "engine/build/input_problem.h"
#include "engine/build/ssg/link_entry.h"
#include "engine/build/ssg/link_scratch.h"
#include "engine/build/ssg/reverse_adjacency.h"
#include "engine/build/ssg/reverse_edge_targets.h"
#include "engine/build/vector_table.h"
#include "engine/search/memory/visited_bitset.h"
#include "engine/build/visited_marks.h"
#include "engine/search/quant/distance.h"
#include "engine/search/graph/graph.h"

namespace vexa {

// The graph builder of index types "SSG", "NSG" and "TSDG" (any type but "SSG" and "NSG" takes
// the relaxed rule). Build makes an initial k-NN graph (NN-Descent or RNN-Descent), picks the
// entry node nearest the centroid, selects R neighbours per node in a link graph (a link pass
// with reverse edges, or MagicLink refinement), copies it into `graph` and adds entry points,
// repairing connectivity on the link-pass path.
class SSG : public Builder, public BuilderState {
 public:
  // Seeds the process-wide rand() with srand(6552), picks distFn by metric ("L2", "IP"; none
  // for other names) and prints the construction line. Checks nothing.
  SSG(int R, int L, float A, int n_try, const std::string& metric, const std::string& init_builder_type,
      const std::string& index_type, int dim, int graph_opt_iter);

  // Builds graph over the n vectors of the chunk table, printing each stage. Input it cannot
  // handle is refused before any work with the BuildInputProblem, thrown as std::length_error
  // (too many slots) or std::invalid_argument; any other failure, in a serial step or inside a
  // parallel loop, leaves it as an exception.
  void Build(float** chunks, int consecutiveLog, int n) override;
  // Why Build cannot handle these arguments with the current parameters (R, L and n_try at
  // least 1, 1 and 0, a known metric, more vectors than L, twice the descents' sample and n_try,
  // fewer than 2^31 slots, no null chunk, finite values); no reason when it can.
  InputProblem BuildInputProblem(float** chunks, int consecutiveLog, int n) const;

  // Greedy search of the initial graph for query with a list of L, starting from the valid ids
  // of row start completed by random ids (a generator seeded with 4660 on every call). Every
  // evaluated node is marked in visited and appended to pool once with its distance.
  void CollectCandidates(const float* query, const Graph<int>& initial, VisitedBitset& visited, int start, int L,
                         std::vector<Candidate>& searchList, std::vector<LinkEntry>& pool) const;
  // The same search, appending only the ids of the evaluated nodes.
  void CollectCandidateIds(const float* query, const Graph<int>& initial, VisitedBitset& visited, int start, int L,
                           std::vector<Candidate>& searchList, std::vector<int>& ids) const;
  // Selects node q's neighbours from pool (sorted by ascending distance to q) by the rule of
  // index_type and rewrites all R slots of row q of link: picked entries, then refilled pruned
  // ones, then ids -1.
  void PruneCandidates(int q, const std::vector<LinkEntry>& pool, Graph<LinkEntry>& link, float threshold,
                       PruneScratch& scratch) const;
  // The link pass: every node's row of link from a search of the initial graph from ep plus its
  // initial neighbours, pruned (dynamic schedule, chunk 1).
  void TarvoLink(const Graph<int>& initial, Graph<LinkEntry>& link, float threshold) const;
  // Adds n to the row of every node that row n links to, under that node's lock in targets; a full
  // row is replaced by the angle-pruned selection of its entries and n.
  void InsertReverseEdges(int n, ReverseEdgeTargets& targets, Graph<LinkEntry>& link, float threshold,
                          ReverseEdgeScratch& scratch) const;
  // Builds link from the initial graph and refines it graph_opt_iter times at most, printing each
  // iteration and its mean Jaccard similarity; stops early when the rows no longer change.
  void MagicLink(const Graph<int>& initial, Graph<LinkEntry>& link) const;
  // MagicLink's first rows: a search from ep plus the initial out- and in-neighbours (inEdges),
  // pruned (dynamic schedule, chunk 1).
  void MagicLinkFirstPass(const Graph<int>& initial, const ReverseAdjacency& inEdges, Graph<LinkEntry>& link,
                          float threshold) const;
  // One refinement: every row of link rebuilt from the 1- and 2-hop neighbourhood and the
  // in-neighbours (inEdges, with their rows) in snapshot, pruned (dynamic schedule, chunk 1). marks
  // holds one record per OpenMP thread.
  void MagicLinkRefinePass(const Graph<LinkEntry>& snapshot, const ReverseAdjacency& inEdges, Graph<LinkEntry>& link,
                           float threshold, std::vector<VisitedMarks>& marks) const;
  // Sum over the nodes of the Jaccard index of the node's row in snapshot and in link; a node
  // whose two rows are both empty adds 1. marks holds one record per OpenMP thread.
  double GraphJaccard(const Graph<LinkEntry>& snapshot, const Graph<LinkEntry>& link,
                      std::vector<VisitedMarks>& marks) const;
  // Copies the ids of link into graph, packed, counting each row's ids in degree (N zeros).
  void CopyLinkGraph(const Graph<LinkEntry>& link, std::vector<int>& degree);
  // GenerateEps, then from every entry point links each node the depth-first walk does not reach
  // from the reached node of largest id that still has a free slot, raising degree.
  void DFSExpand(std::vector<int>& degree);
  // Appends n_try distinct random ids (a generator seeded with one rand()) to graph.eps.
  void GenerateEps();

  int R;                   // degree of the link graph and of the final graph
  int L;                   // search list size
  float A;                 // pruning angle in degrees
  int ep = 0;              // entry node
  DistanceFunction distFn = nullptr;
  int n_try;                      // number of random entry points
  int initK = 200;                // ids per row of the initial graph
  int initSample = 10;            // sample count of the descents
  int initReverseCap = 100;       // reverse-sample cap of the descents
  int initIters = 12;             // NN-Descent iterations
  std::string init_builder_type;  // "NNDescent" selects NN-Descent, anything else RNN-Descent
  std::string index_type;         // selects the pruning rule
  int graph_opt_iter;             // 0: link pass and DFSExpand; more: MagicLink iterations

 private:
  // The initial k-NN graph of the chosen descent.
  std::unique_ptr<Graph<int>> BuildInitialGraph() const;
  // The node nearest the centroid by a greedy search of the initial graph from random ids.
  int FindEntryNode(const Graph<int>& initial) const;
  // The reverse-edge pass: InsertReverseEdges for every node (dynamic schedule, chunk 1).
  void InsertAllReverseEdges(Graph<LinkEntry>& link, float threshold) const;
  // The vectors of the current build.
  VectorTable Vectors() const { return VectorTable(chunks, consecutiveLog, dim, distFn); }
};

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_SSG_SSG_H_
