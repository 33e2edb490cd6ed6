#ifndef TARVO_FUZZ_FUZZ_INDEX_H_
#define TARVO_FUZZ_FUZZ_INDEX_H_

// What the fuzz targets of the index readers do with an index that loaded: search it, serialize
// it again and read that back.

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/index/tarvo.h"
#include "fuzz/fuzz_search.h"

namespace tarvo_fuzz {

// An index object in the mode that a service without NUMA replicas runs: one implementation
// object, whatever the machine offers.
inline std::unique_ptr<Tarvo> NewIndex() {
  NUMA_ENABLED = false;
  return std::make_unique<Tarvo>();
}

// Searches three queries (drawn from seed) on the calling thread for up to five neighbours, with
// early stopping when seed is odd; every label written must name one of the index's rows.
inline void CheckIndexSearches(Tarvo* index, uint32_t seed) {
  const int n = index->GetNTotal();
  const int dim = index->GetDim();
  Require(n >= 0 && dim >= 1, "a loaded index without rows or dimension");
  if (n == 0) return;  // k and ef are refused
  const int k = n < 5 ? n : 5;
  constexpr int kQueries = 3;
  Require(index->SetEf(n < 16 ? n : 16) == 0, "ef refused");
  if (seed & 1) Require(index->SetEarlyStoppingParams(1 + seed % 3, 1 + seed % 4) == 0, "early stopping refused");
  const std::vector<float> queries = MakeQueries(dim, kQueries, seed);
  std::vector<long> labels(k * kQueries, kUnwritten);
  std::vector<float> distances(k * kQueries, 0.0f);
  Require(index->Search(kQueries, queries.data(), k, distances.data(), labels.data(), 1) == 0, "search refused");
  RequireResults(labels, k, n);
}

// Serializes the index; the blob is handed back for the caller's comparisons and must load into
// a new index of the same size.
inline std::vector<uint8_t> CheckReserialize(const Tarvo& index) {
  unsigned char* out = nullptr;
  unsigned long length = 0;
  Require(index.Serialize(out, length) == 0 && out != nullptr, "serialize failed");
  std::vector<uint8_t> blob(out, out + length);
  delete[] out;
  auto again = NewIndex();
  Require(again->Deserialize(blob.data(), length) == 0, "the serialized index does not load");
  Require(again->GetNTotal() == index.GetNTotal() && again->GetDim() == index.GetDim(),
          "the serialized index loads with another size");
  return blob;
}

// The index blob read from data: the serialized one must be its bytes (the writer leaves the
// last 4 bytes zero, and readers ignore what follows the blob).
inline void RequireSameBlob(const std::vector<uint8_t>& blob, const uint8_t* data, size_t size) {
  Require(blob.size() >= 4 && blob.size() - 4 <= size && std::memcmp(blob.data(), data, blob.size() - 4) == 0,
          "the index written again differs from the one read");
}

}  // namespace tarvo_fuzz

#endif  // TARVO_FUZZ_FUZZ_INDEX_H_
