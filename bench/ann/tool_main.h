#ifndef TARVO_BENCH_ANN_TOOL_MAIN_H_
#define TARVO_BENCH_ANN_TOOL_MAIN_H_

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>

namespace tarvo_bench {

// The body of a benchmark tool's main: run's exit status, or 1 with "name: reason" on standard
// error when it throws.
template <typename Run>
int ToolMain(const char* name, Run run) {
  try {
    return run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", name, e.what());
    return 1;
  }
}

// Calls set(name, value) for each "--name value" pair of a command line whose every option takes
// a value; throws std::invalid_argument for an option without one.
template <typename Set>
void ForEachOptionValue(int argc, char** argv, Set set) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value");
    set(arg, std::string(argv[++i]));
  }
}

}  // namespace tarvo_bench

#endif  // TARVO_BENCH_ANN_TOOL_MAIN_H_
