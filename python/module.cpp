// The CPython extension module tarvo: the class Tarvo over one engine index, and the OpenMP
// team size of the calling thread.

#include <omp.h>
#include <pybind11/pybind11.h>

#include <string>

#include "python/pytarvo.h"

namespace py = pybind11;

namespace {

void DefineModule(py::module_& m) {
  m.doc() = "tarvo";
  m.def("set_num_threads", [](int num_threads) { omp_set_num_threads(num_threads); },
        py::arg("num_threads"));

  py::class_<pytarvo::Tarvo>(m, "Tarvo")
      .def(py::init<int, int, int, int, int, const std::string&, const std::string&,
                    const std::string&, bool, int>(),
           py::arg("K_features"), py::arg("R"), py::arg("L"), py::arg("A"),
           py::arg("graph_opt_iter") = 0, py::arg("metric") = "L2",
           py::arg("init_builder_type") = "RNNDescent", py::arg("index_type") = "SSG",
           py::arg("numa_enabled") = false, py::arg("numa_nodes_number") = 1)
      .def(py::init<bool, int>())
      .def("add", &pytarvo::Tarvo::Add, py::arg("n"), py::arg("input"),
           py::arg("consecutive") = 20, py::arg("reorder") = 0, py::arg("level") = 0)
      .def("search", &pytarvo::Tarvo::Search, py::arg("n"), py::arg("query"), py::arg("k"),
           py::arg("distances"), py::arg("labels"), py::arg("num_threads"))
      .def("buildSearcher", &pytarvo::Tarvo::BuildSearcher)
      .def("save", &pytarvo::Tarvo::Save, py::arg("path"))
      .def("saveGraph", &pytarvo::Tarvo::SaveGraph, py::arg("path"))
      .def("load", &pytarvo::Tarvo::Load, py::arg("path"))
      .def("loadGraph", &pytarvo::Tarvo::LoadGraph, py::arg("path"), py::arg("level") = -1)
      .def("serialize", &pytarvo::Tarvo::Serialize)
      .def("deserialize", &pytarvo::Tarvo::Deserialize, py::arg("data_arr"))
      .def("setEf", &pytarvo::Tarvo::SetEf, py::arg("ef"))
      .def("setEarlyStoppingParams", &pytarvo::Tarvo::SetEarlyStoppingParams,
           py::arg("adding_pref"), py::arg("patience"))
      .def("getNTotal", &pytarvo::Tarvo::GetNTotal)
      .def("getDim", &pytarvo::Tarvo::GetDim);
}

}  // namespace

// Refuses an interpreter of another minor version than the one the module is compiled for.
PYBIND11_MODULE(tarvo, m) { DefineModule(m); }
