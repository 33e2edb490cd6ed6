#ifndef TARVO_ENGINE_INDEX_TARVO_H_
#define TARVO_ENGINE_INDEX_TARVO_H_

// The public interface of libtarvo: one approximate nearest-neighbour index over dense float
// vectors, built as an SSG, NSG, TSDG or HNSW graph and searched at one of four precisions.
//
// Every operation but GetNTotal and GetDim returns 0 on success and -1 on failure, the reason
// printed as one line on standard output. An index is used in the NUMA mode it was made in.

#include <memory>
#include <string>
#include <vector>

// NUMA mode: each index keeps one replica per node. Read by every operation at the time of the
// call; a constructor sets it to false when the machine has no NUMA support. Initially true.
extern bool NUMA_ENABLED;
// How many replicas a constructor makes in NUMA mode (lowered by a constructor to the machine's
// node count), and the modulus of the replica choice of a NUMA search. Initially 4.
extern int num_numa_nodes;

class TarvoImpl;

class Tarvo {
 public:
  // An empty index, to be filled by Load, Deserialize or LoadGraph (Add is refused).
  Tarvo();
  // An index with its graph parameters: vectors of K_features floats, degree R, candidate list
  // L, pruning angle A in degrees, graph_opt_iter MagicLink rounds (0: the link pass), metric
  // "L2" or "IP", init_builder_type "RNNDescent" or "NNDescent", index_type "SSG", "NSG", "TSDG"
  // or "HNSW" (M = R / 2, ef_construction = max(M, L)). Nothing is checked until Add.
  Tarvo(int K_features, int R, int L, int A, int graph_opt_iter, const std::string& metric,
        const std::string& init_builder_type, const std::string& index_type);
  // The same with graph_opt_iter 0 and index_type "SSG".
  Tarvo(int K_features, int R, int L, int A, const char* metric, const std::string& init_builder_type);
  Tarvo(const Tarvo&) = delete;
  Tarvo& operator=(const Tarvo&) = delete;
  ~Tarvo();

  // Builds the graph over n rows of K_features floats at x, 2^consecutive rows per chunk
  // (consecutive 1 to 31), renumbering it for locality when reorder is 1; level 0 "FP32",
  // 1 "SQ8U", 2 "SQ4U" or 3 "FP16" selects the searcher's codes. x is read again by
  // BuildSearcher and SaveGraph and must stay valid and unchanged until they have run.
  int Add(int n, const float* x, int consecutive, int reorder, int level);
  // The same without reordering.
  int Add(int n, const float* x, int consecutive, int level);
  // Copies the vectors into the graph's order and encodes them; the index is then searchable.
  int BuildSearcher();

  // Writes up to k nearest rows of each of the n queries at x, nearest first, into row i of
  // distances and labels (n x k each; slots past the results keep their values), with
  // num_thread threads (1 searches on the calling thread).
  int Search(int n, const float* x, int k, float* distances, long* labels, int num_thread);
  // Sets the search breadth (1 to the number of vectors); a query keeps max(ef, k) candidates.
  int SetEf(int ef);
  // Ends a query after `patience` expansions in a row that placed nothing among its first
  // adding_pref candidates (both at least 1).
  int SetEarlyStoppingParams(int adding_pref, int patience);

  // Writes the searchable index to the file at path (shorter than 200 characters); a file already
  // there is replaced only by a complete new one.
  int Save(const char* path) const;
  // Replaces the index by the one in the file at path; a file that is refused changes nothing.
  int Load(const char* path);
  // Hands out the index blob in a new[] buffer that the caller releases with delete[]; data must
  // be null on entry.
  int Serialize(unsigned char*& data, unsigned long& dataLength) const;
  // Replaces the index by the one in the blob of dataLength bytes at data (only read); a blob that
  // is refused changes nothing.
  int Deserialize(const unsigned char* data, const unsigned long& dataLength);

  // Writes the graph and the raw vectors after Add, before BuildSearcher; a file already there is
  // replaced only by a complete new one.
  int SaveGraph(const char* path) const;
  // Replaces the index by the graph file at path and builds its searcher, at the file's level
  // (level -1) or at level 0 to 3. A file that is refused changes nothing; one whose level has
  // no searcher leaves the graph loaded without one.
  int LoadGraph(const char* path, int level);

  // Number of indexed vectors.
  int GetNTotal() const;
  // Vector dimension.
  int GetDim() const;

 private:
  friend class TarvoTestAccess;  // the tests reach replicas in states no operation leaves

  // The replica whose size the index reports: impl, or replica 0 in NUMA mode; null when the
  // index holds none for the mode.
  const TarvoImpl* First() const;
  // tarvoDataNum after a successful Add or load: the size of First().
  void TakeDataNum();

  std::unique_ptr<TarvoImpl> impl;                 // the only replica when made in NUMA-off mode
  std::vector<std::unique_ptr<TarvoImpl>> impls;   // replica i on NUMA node i in NUMA mode
  int maxThreadNum;                                // hardware threads: the largest num_thread
  int tarvoDataNum;                                // vectors of the index: the largest k and ef
};

#endif  // TARVO_ENGINE_INDEX_TARVO_H_
