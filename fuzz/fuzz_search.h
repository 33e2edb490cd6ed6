#ifndef TARVO_FUZZ_FUZZ_SEARCH_H_
#define TARVO_FUZZ_FUZZ_SEARCH_H_

// What every fuzz target does with an index that loaded: a few searches whose labels must all
// name a row, since the services that embed the engine index their own rows by them.

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

// Every label that a search wrote names one of the n rows (-1 marks a slot it left).
template <typename Label>
void RequireRows(const std::vector<Label>& labels, int n) {
  for (Label label : labels) Require(label >= -1 && label < n, "label outside [0, N)");
}

// Searches three queries of dim floats (drawn from seed) for up to five neighbours among nb
// rows, with early stopping when seed is odd; every label written must lie in [0, nb).
inline void CheckSearches(vexa::SearcherBase* searcher, int nb, int dim, uint32_t seed) {
  if (nb <= 0) return;  // nothing to find: k and ef are refused before a search
  const int k = nb < 5 ? nb : 5;
  searcher->SetEf(nb < 16 ? nb : 16);
  if (seed & 1) searcher->SetEarlyStoppingParams(1 + seed % 3, 1 + seed % 4);
  constexpr int kQueries = 3;
  const std::vector<float> queries = MakeQueries(dim, kQueries, seed);
  for (int q = 0; q < kQueries; ++q) {
    std::vector<int64_t> labels(k, -1);
    std::vector<float> distances(k, 0.0f);
    searcher->SearchQuery(queries.data() + static_cast<size_t>(q) * dim, k, labels.data(), distances.data());
    RequireRows(labels, nb);
  }
}

}  // namespace tarvo_fuzz

#endif  // TARVO_FUZZ_FUZZ_SEARCH_H_
