#include "python/pytarvo.h"

#include <cstdio>
#include <limits>

namespace py = pybind11;

namespace pytarvo {
namespace {

using FloatArray = py::array_t<float, py::array::c_style | py::array::forcecast>;

static_assert(sizeof(long) == sizeof(int64_t), "the engine's labels are 64-bit longs");

void SetNuma(bool enabled, int nodes) {
  NUMA_ENABLED = enabled;
  num_numa_nodes = nodes;
}

std::string ShapeText(const py::array& a) {
  std::string text = "(";
  for (py::ssize_t i = 0; i < a.ndim(); ++i) {
    text += (i ? ", " : "") + std::to_string(a.shape(i));
  }
  return text + (a.ndim() == 1 ? ",)" : ")");
}

// The engine writes its results through the caller's own memory, so an output must already be
// an ndarray of exactly the element type and layout that it writes; a converted copy would
// swallow the results.
template <typename T>
py::array_t<T, py::array::c_style> OutputArray(const py::object& object, const char* name,
                                               const char* dtype) {
  if (!py::isinstance<py::array_t<T, py::array::c_style>>(object)) {
    throw py::type_error(std::string(name) + " must be a C-contiguous numpy." + dtype +
                         " ndarray, which search fills in place");
  }
  return py::reinterpret_borrow<py::array_t<T, py::array::c_style>>(object);
}

// The engine reads nq rows of dim floats from the query: its rows must be that long.
void CheckQuery(const FloatArray& query, py::ssize_t nq, int dim) {
  if (dim < 1) return;  // no searcher: the engine refuses without reading
  const py::ssize_t columns = query.shape(query.ndim() - 1);
  if (columns != dim || query.size() < nq * dim ||
      nq > std::numeric_limits<int>::max()) {
    throw py::value_error("query of shape " + ShapeText(query) + " does not hold " +
                          std::to_string(nq) + " rows of the index dimension " +
                          std::to_string(dim));
  }
}

// The engine writes k results of each of nq queries into each output.
void CheckOutput(py::ssize_t size, const char* name, py::ssize_t nq, int k) {
  if (size < nq * k) {
    throw py::value_error(std::string(name) + " holds " + std::to_string(size) + " values; " +
                          std::to_string(nq) + " queries with k = " + std::to_string(k) +
                          " need " + std::to_string(nq * k));
  }
}

}  // namespace

Tarvo::Tarvo(int K_features, int R, int L, int A, int graph_opt_iter, const std::string& metric,
             const std::string& init_builder_type, const std::string& index_type,
             bool numa_enabled, int numa_nodes_number) {
  SetNuma(numa_enabled, numa_nodes_number);
  engine = std::make_unique<::Tarvo>(K_features, R, L, A, graph_opt_iter, metric,
                                     init_builder_type, index_type);
}

Tarvo::Tarvo(bool numa_enabled, int numa_nodes_number) {
  SetNuma(numa_enabled, numa_nodes_number);
  engine = std::make_unique<::Tarvo>();
}

int Tarvo::Add(int n, const py::object& input, int consecutive, int reorder, int level) {
  if (!engine) return -1;
  const FloatArray vectors(input);
  const float* x = vectors.data(0);
  const py::ssize_t dim = engine->GetDim();
  if (n >= 1 && dim >= 1 && vectors.size() < n * dim) {
    throw py::value_error("input holds " + std::to_string(vectors.size()) + " values; n = " +
                          std::to_string(n) + " rows of dimension " + std::to_string(dim) +
                          " need " + std::to_string(n * dim));
  }
  addInputs.push_back(vectors);
  return engine->Add(n, x, consecutive, reorder, level);
}

int Tarvo::Search(size_t /*n*/, const py::object& query, int k, const py::object& distances,
                  const py::object& labels, int num_threads) {
  if (!engine) return -1;
  const FloatArray queries(query);
  auto labelsOut = OutputArray<int64_t>(labels, "labels", "int64");
  auto distancesOut = OutputArray<float>(distances, "distances", "float32");
  const int dim = engine->GetDim();

  py::gil_scoped_release unlocked;
  const py::ssize_t ndim = queries.ndim();
  if (ndim != 1 && ndim != 2) {
    std::printf(
        "Input vector data wrong shape. Number of dimensions %ld. Data must be a 1D or 2D array.\n",
        static_cast<long>(ndim));
  }
  const py::ssize_t nq = ndim == 2 ? queries.shape(0) : 1;
  const float* x = queries.data(0);
  float* distancesData = distancesOut.mutable_data();
  int64_t* labelsData = labelsOut.mutable_data();
  CheckQuery(queries, nq, dim);
  CheckOutput(distancesOut.size(), "distances", nq, k);
  CheckOutput(labelsOut.size(), "labels", nq, k);
  return engine->Search(static_cast<int>(nq), x, k, distancesData,
                        reinterpret_cast<long*>(labelsData), num_threads);
}

int Tarvo::BuildSearcher() {
  if (!engine) return -1;
  const int result = engine->BuildSearcher();
  if (result == 0) addInputs.clear();
  return result;
}

int Tarvo::Save(const std::string& path) const { return engine ? engine->Save(path.c_str()) : -1; }

int Tarvo::SaveGraph(const std::string& path) const {
  return engine ? engine->SaveGraph(path.c_str()) : -1;
}

int Tarvo::Load(const std::string& path) { return engine ? engine->Load(path.c_str()) : -1; }

int Tarvo::LoadGraph(const std::string& path, int level) {
  return engine ? engine->LoadGraph(path.c_str(), level) : -1;
}

py::array_t<uint8_t> Tarvo::Serialize() const {
  unsigned char* data = nullptr;
  unsigned long dataLength = 0;
  if (engine) engine->Serialize(data, dataLength);
  if (data == nullptr) return py::array_t<uint8_t>(0);
  std::unique_ptr<unsigned char[]> blob(data);
  py::capsule owner(data, [](void* p) { delete[] static_cast<unsigned char*>(p); });
  blob.release();
  return py::array_t<uint8_t>({static_cast<py::ssize_t>(dataLength)}, {py::ssize_t{1}}, data,
                              owner);
}

int Tarvo::Deserialize(const BlobArray& data_arr) {
  if (!engine) return -1;
  const unsigned long dataLength = static_cast<unsigned long>(data_arr.size());
  return engine->Deserialize(data_arr.data(), dataLength);
}

int Tarvo::SetEf(int ef) { return engine ? engine->SetEf(ef) : -1; }

int Tarvo::SetEarlyStoppingParams(int adding_pref, int patience) {
  return engine ? engine->SetEarlyStoppingParams(adding_pref, patience) : -1;
}

int Tarvo::GetNTotal() const { return engine ? engine->GetNTotal() : -1; }

int Tarvo::GetDim() const { return engine ? engine->GetDim() : -1; }

}  // namespace pytarvo
