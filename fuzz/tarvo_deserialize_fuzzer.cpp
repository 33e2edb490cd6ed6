// Tarvo::Deserialize of an index blob: a blob that loads is searched and serialized again into
// the same bytes.
#include <cstdint>

#include "fuzz/fuzz_index.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto index = tarvo_fuzz::NewIndex();
  const unsigned long length = size;
  if (index->Deserialize(data, length) != 0) return 0;
  tarvo_fuzz::CheckIndexSearches(index.get(), size > 0 ? data[size - 1] : 0);
  tarvo_fuzz::RequireSameBlob(tarvo_fuzz::CheckReserialize(*index), data, size);
  return 0;
}
