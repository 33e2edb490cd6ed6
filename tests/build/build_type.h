#ifndef TARVO_TESTS_BUILD_BUILD_TYPE_H_
#define TARVO_TESTS_BUILD_BUILD_TYPE_H_

#include <ostream>
#include <string>
#include <vector>

namespace vexa {

// The three choices that select an SSG build path.
struct BuildType {
  const char* index_type;         // "SSG", "NSG" or "TSDG"
  const char* init_builder_type;  // "RNNDescent" or "NNDescent"
  int graph_opt_iter;             // 0: link pass and DFSExpand; more: MagicLink iterations
};

// The build type as a test name, e.g. "SSG_RNNDescent_Opt0".
inline std::string BuildTypeName(const BuildType& type) {
  return std::string(type.index_type) + "_" + type.init_builder_type + "_Opt" + std::to_string(type.graph_opt_iter);
}

inline void PrintTo(const BuildType& type, std::ostream* os) { *os << BuildTypeName(type); }

// Every index type with either initial graph, each by the link pass (graph_opt_iter 0) and by
// MagicLink with magic_link_iterations iterations.
inline std::vector<BuildType> EveryBuildType(int magic_link_iterations) {
  std::vector<BuildType> types;
  for (const char* index_type : {"SSG", "NSG", "TSDG"}) {
    for (const char* init_builder_type : {"RNNDescent", "NNDescent"}) {
      for (const int graph_opt_iter : {0, magic_link_iterations}) {
        types.push_back({index_type, init_builder_type, graph_opt_iter});
      }
    }
  }
  return types;
}

}  // namespace vexa

#endif  // TARVO_TESTS_BUILD_BUILD_TYPE_H_
