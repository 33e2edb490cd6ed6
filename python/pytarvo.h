#ifndef TARVO_PYTHON_PYTARVO_H_
#define TARVO_PYTHON_PYTARVO_H_

// The object behind the Python class "Tarvo": one engine index, with the NumPy conversions of
// the arguments that cross into it. Only Search lets other Python threads run while it works.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/index/tarvo.h"

namespace pytarvo {

// A blob handed to Deserialize, copied into one C-contiguous run of bytes when it is not one.
using BlobArray = pybind11::array_t<uint8_t, pybind11::array::c_style | pybind11::array::forcecast>;

class Tarvo {
 public:
  // Sets the process-wide NUMA mode and node count, then makes an index with graph parameters.
  Tarvo(int K_features, int R, int L, int A, int graph_opt_iter, const std::string& metric,
        const std::string& init_builder_type, const std::string& index_type, bool numa_enabled,
        int numa_nodes_number);
  // Sets the same NUMA globals, then makes an empty index for load, deserialize or loadGraph.
  Tarvo(bool numa_enabled, int numa_nodes_number);
  Tarvo(const Tarvo&) = delete;
  Tarvo& operator=(const Tarvo&) = delete;

  // Builds the graph over the first n rows of input, converted to C-contiguous float32; the
  // array the engine reads stays referenced until a searcher has been built from it.
  int Add(int n, const pybind11::object& input, int consecutive, int reorder, int level);
  // Searches every row of query into distances (float32) and labels (int64), both C-contiguous
  // ndarrays filled in place; n is not used. Other Python threads run during the search.
  int Search(size_t n, const pybind11::object& query, int k, const pybind11::object& distances,
             const pybind11::object& labels, int num_threads);
  // Encodes the added vectors; afterwards the engine no longer reads the added arrays.
  int BuildSearcher();
  // Writes the index file at path.
  int Save(const std::string& path) const;
  // Writes the graph file at path (after add, before buildSearcher).
  int SaveGraph(const std::string& path) const;
  // Replaces the index by the index file at path.
  int Load(const std::string& path);
  // Replaces the index by the graph file at path, at its own level (-1) or the one given.
  int LoadGraph(const std::string& path, int level);
  // The index blob as a uint8 array that owns it; empty when the engine could not make it.
  pybind11::array_t<uint8_t> Serialize() const;
  // Replaces the index by the blob in data_arr.
  int Deserialize(const BlobArray& data_arr);
  // Sets the search breadth.
  int SetEf(int ef);
  // Sets the early-stopping parameters of the search.
  int SetEarlyStoppingParams(int adding_pref, int patience);
  // Number of indexed vectors.
  int GetNTotal() const;
  // Vector dimension.
  int GetDim() const;

  std::unique_ptr<::Tarvo> engine;  // the index; set by the constructor

 private:
  // The arrays that Add handed to the engine, which reads them again until a searcher is built.
  std::vector<pybind11::array_t<float>> addInputs;
};

}  // namespace pytarvo

#endif  // TARVO_PYTHON_PYTARVO_H_
