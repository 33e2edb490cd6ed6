#ifndef TARVO_BENCH_ANN_TABLE_CELL_H_
#define TARVO_BENCH_ANN_TABLE_CELL_H_

#include <cstdio>
#include <string>

namespace tarvo_bench {

// One value printed with a printf format, for a cell of a report's table.
inline std::string Format(const char* format, double value) {
  char cell[64];
  std::snprintf(cell, sizeof(cell), format, value);
  return cell;
}

}  // namespace tarvo_bench

#endif  // TARVO_BENCH_ANN_TABLE_CELL_H_
