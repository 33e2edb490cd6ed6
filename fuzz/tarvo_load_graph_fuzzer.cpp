// Tarvo::LoadGraph of a graph file, at the file's level or at one the last byte picks: an index
// that loads is searched and serialized again.
#include <cstdint>

#include "fuzz/fuzz_index.h"
#include "fuzz/memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static tarvo_fuzz::MemoryFile input;
  input.Hold(data, size);
  const uint32_t seed = size > 0 ? data[size - 1] : 0;
  const int level = static_cast<int>(seed / 2 % 6) - 1;  // -1 keeps the file's level
  auto index = tarvo_fuzz::NewIndex();
  if (index->LoadGraph(input.Path().c_str(), level) != 0) return 0;
  tarvo_fuzz::CheckIndexSearches(index.get(), seed);
  tarvo_fuzz::CheckReserialize(*index);
  return 0;
}
