#ifndef TARVO_FUZZ_FUZZ_SEARCH_H_
#define TARVO_FUZZ_FUZZ_SEARCH_H_

// What every fuzz target does with an index that loaded: a few searches whose labels must all
// name a row, since the services that embed the engine index their own rows by them.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine/search/searcher/searcher_base.h"

namespace tarvo_fuzz {

// Stops the run with a report the fuzzer keeps, when a property of a loaded input fails.
inline void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "fuzz property failed: %s\n", what);
  std::abort();
}

// The queries of a check: count rows of dim floats in [-2, 2), drawn from seed.
inline std::vector<float> MakeQueries(int dim, int count, uint32_t seed) {
  std::vector<float> queries(static_cast<size_t>(dim) * count);
  for (float& x : queries) {
    seed = seed * 1103515245u + 12345u;
    x = static_cast<float>(seed >> 16) / 16384.0f - 2.0f;
  }
  return queries;
}

// What a label slot holds before a search: no row, and not the -1 that a search might write.
constexpr int64_t kUnwritten = -7;

// Each row of k labels (labels holds whole rows) is what a search writes: distinct rows of the
// n, nearest first, then the slots it left.
template <typename Label>
void RequireResults(const std::vector<Label>& labels, int k, int n) {
  for (size_t row = 0; row < labels.size(); row += k) {
    size_t found = 0;
    while (found < static_cast<size_t>(k) && labels[row + found] != kUnwritten) ++found;
    for (size_t i = found; i < static_cast<size_t>(k); ++i) Require(labels[row + i] == kUnwritten, "a gap in the results");
    std::vector<Label> rows(labels.begin() + row, labels.begin() + row + found);
    for (Label label : rows) Require(label >= 0 && label < n, "label outside [0, N)");
    std::sort(rows.begin(), rows.end());
    Require(std::adjacent_find(rows.begin(), rows.end()) == rows.end(), "a row found twice");
  }
}

// Searches three queries of dim floats (drawn from seed) for up to five neighbours among nb
// rows, with early stopping when seed is odd; every label written must name a row.
inline void CheckSearches(vexa::SearcherBase* searcher, int nb, int dim, uint32_t seed) {
  if (nb <= 0) return;  // nothing to find: k and ef are refused before a search
  const int k = nb < 5 ? nb : 5;
  searcher->SetEf(nb < 16 ? nb : 16);
  if (seed & 1) searcher->SetEarlyStoppingParams(1 + seed % 3, 1 + seed % 4);
  constexpr int kQueries = 3;
  const std::vector<float> queries = MakeQueries(dim, kQueries, seed);
  for (int q = 0; q < kQueries; ++q) {
    std::vector<int64_t> labels(k, kUnwritten);
    std::vector<float> distances(k, 0.0f);
    searcher->SearchQuery(queries.data() + static_cast<size_t>(q) * dim, k, labels.data(), distances.data());
    RequireResults(labels, k, nb);
  }
}

}  // namespace tarvo_fuzz

#endif  // TARVO_FUZZ_FUZZ_SEARCH_H_
