#ifndef TARVO_ENGINE_INDEX_TARVO_IMPL_H_
#define TARVO_ENGINE_INDEX_TARVO_IMPL_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/build/builder_state.h"
#include "engine/build/hnsw/hnsw.h"
#include "engine/build/ssg/ssg.h"
#include "engine/search/searcher/searcher_base.h"

// One replica of an index: its builder, the searcher made from the built graph and the chunk
// table over the caller's vectors. Once the searcher is ready the replica holds the searcher
// (its graph, codes and refine codes) and, of the builder, only its parameters and sizes. The
// facade holds one, or one per NUMA node, and drives each through these operations; every one but
// the accessors returns 0 or -1 with the reason printed.
//
// Three flags make its state: createdWithoutParameter (made for a load; Add is refused),
// graphBuilt (a graph exists, from Add or a load) and searcherBuilt (the searcher is ready).
class TarvoImpl {
 public:
  // The default replica, meant to be loaded: an SSG builder with default parameters.
  TarvoImpl();
  // A replica with its builder's parameters (an HNSW builder for index_type "HNSW", an SSG builder
  // otherwise); nothing is checked until Add.
  TarvoImpl(int K_features, int R, int L, int A, int graph_opt_iter, const std::string& metric,
            const std::string& init_builder_type, const std::string& index_type);
  TarvoImpl(const TarvoImpl&) = delete;
  TarvoImpl& operator=(const TarvoImpl&) = delete;
  ~TarvoImpl();

  // Checks the parameters and the vectors, lays the chunk table over x and builds the graph (and
  // reorders it when reorder is 1), recording level for the searcher.
  int Add(int n, const float* x, int consecutive, int reorder, int level);
  // Makes the searcher of the builder's quantization level over a copy of the graph, then
  // releases the builder's graph and vectors.
  int BuildSearcher();

  // Answers the n queries at x on the calling thread, in row order.
  int Search(int n, const float* x, int k, float* distances, long* labels) const;
  // Answers query row i of x alone.
  int SearchOne(int64_t i, const float* x, int k, float* distances, long* labels) const;
  // Answers the n queries at x in an OpenMP team of num_thread threads.
  int SearchParallel(int n, const float* x, int k, float* distances, long* labels, int num_thread) const;
  // Sets the searcher's ef.
  int SetEf(int ef);
  // Sets the searcher's early stopping.
  int SetEarlyStoppingParams(int adding_pref, int patience);

  // Writes the index blob to the file at path; a file already there is replaced only by a
  // complete new one.
  int Save(const char* path) const;
  // Replaces the index by the one in the file at path; a refused file changes nothing.
  int Load(const char* path);
  // Hands out the index blob in a new[] buffer (out and outLength are set only on success).
  int Serialize(unsigned char*& out, size_t& outLength) const;
  // The same without the state checks.
  int SerializeSearcher(unsigned char*& out, size_t& outLength) const;
  // Reads the index blob of *dataLength bytes at blob into a new graph and searcher, which
  // replace the searcher, and release the builder's graph and vectors, only when all of it was
  // read.
  int LoadFromMem(const unsigned char* blob, size_t* dataLength);
  // LoadFromMem, then the replica is ready with the blob's size and dimension.
  int Deserialize(const unsigned char* blob, size_t* dataLength);

  // Writes the graph file of the built graph and the caller's vectors, before the searcher.
  int SaveGraph(const char* path) const;
  // Replaces the graph and the vectors by those of the graph file at path and builds the
  // searcher, at level (0 to 3) or at the file's level (-1).
  int LoadGraph(const char* path, int level);

  // Number of indexed vectors.
  int GetNTotal() const { return nTotal; }
  // Vector dimension.
  int GetDim() const { return dim; }

  std::unique_ptr<float*[]> chunks;               // chunk table over the caller's vectors (Add); null once searchable
  int n_try = 10;                                 // random entry points of the SSG builder
  int po = 10;                                    // handed to every searcher built
  int nTotal = 0;                                 // vectors in the index
  int dim = 0;                                    // vector dimension
  std::unique_ptr<vexa::SSG> builder;             // the SSG builder, or null
  std::unique_ptr<vexa::HNSW> hnsw;               // the HNSW builder, or null
  std::unique_ptr<vexa::SearcherBase> searcher;   // the searcher, or null
  std::string metric;                             // metric name of the reorder step
  bool graphBuilt = false;                        // a graph exists
  bool createdWithoutParameter = false;           // made by the default constructor: no Add
  bool searcherBuilt = false;                     // the searcher is ready

 private:
  // The builder's state: the SSG builder's if there is one, else the HNSW builder's, else null.
  vexa::BuilderState* State() const;
  // Answers query row i without checking the state.
  void SearchRow(int64_t i, const float* x, int k, float* distances, long* labels) const;
  // Takes nTotal and dim from the searcher.
  void TakeSearcherSizes();
  // Once the searcher is ready nothing reads the builder's graph or vectors again (the searcher
  // has its own graph and codes, SaveGraph is refused, and every load replaces them): releases
  // the builder's graph, the vectors it owns and the chunk tables, keeping nb, dim and the level.
  void ReleaseBuilderData();
};

#endif  // TARVO_ENGINE_INDEX_TARVO_IMPL_H_
