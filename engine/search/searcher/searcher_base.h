#ifndef TARVO_ENGINE_SEARCH_SEARCHER_SEARCHER_BASE_H_
#define TARVO_ENGINE_SEARCH_SEARCHER_SEARCHER_BASE_H_

#include <cstddef>
#include <cstdint>

namespace vexa {

// The interface of every searcher. The operations are declared in their fixed slot order: build,
// search, the two destructors, then the parameters and the index blob.
class SearcherBase {
 public:
  SearcherBase() = default;
  SearcherBase(const SearcherBase&) = delete;
  SearcherBase& operator=(const SearcherBase&) = delete;

  // Copies nb rows of dim floats from the chunk table (2^consecutiveLog rows per chunk) into the
  // graph's internal order, calibrates the quantizer and encodes every row, then releases the
  // copy; the caller's rows are not read again.
  virtual void Build(float** chunks, int consecutiveLog, int nb, int dim) = 0;
  // Writes up to k nearest rows of the d-float query, nearest first, into labels and (unless
  // null) distances; the slots past the results keep their values.
  virtual void SearchQuery(const float* query, int k, int64_t* labels, float* distances) const = 0;
  virtual ~SearcherBase() = default;
  // Sets the pool size parameter; a query's pool holds max(ef, k) candidates.
  virtual void SetEf(int ef) = 0;
  // The pool size parameter.
  virtual int GetEf() const = 0;
  // Sets early stopping: a walk ends after `patience` expansions in a row that placed nothing
  // among the first `adding_pref` candidates; a negative patience turns it off.
  virtual void SetEarlyStoppingParams(int adding_pref, int patience) = 0;
  // Sets the value stored last in the index blob.
  virtual void SetPo(int po) = 0;
  // Recomputes the number of cache lines prefetched per code from the quantizer.
  virtual void UpdatePrefetchLines() = 0;
  // Bytes of the whole index blob, printing the breakdown; 4 more than the writer fills.
  virtual size_t GetDataSize() const = 0;
  // Reads the part of the index blob after the graph section, from *offset on; 0 or -1.
  virtual int LoadSearcherFromMem(const uint8_t* data, size_t* dataLength, size_t* offset) = 0;
  // Writes the whole index blob from *offset on; 0 or -1.
  virtual int SaveSearcherToMem(uint8_t* data, size_t* dataLength, size_t* offset) const = 0;
};

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_SEARCHER_SEARCHER_BASE_H_
