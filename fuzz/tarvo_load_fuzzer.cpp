// Tarvo::Load of an index file: a file that loads is searched, saved again into the same bytes
// and serialized again.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_index.h"
#include "fuzz/memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static tarvo_fuzz::MemoryFile input;
  input.Hold(data, size);
  auto index = tarvo_fuzz::NewIndex();
  if (index->Load(input.Path().c_str()) != 0) return 0;
  tarvo_fuzz::CheckIndexSearches(index.get(), size > 0 ? data[size - 1] : 0);
  const std::string copy = (tarvo_fuzz::ScratchFolder() / "copy.index").string();
  tarvo_fuzz::Require(index->Save(copy.c_str()) == 0, "save failed");
  const std::string bytes = tarvo_fuzz::FileBytes(copy);
  tarvo_fuzz::RequireSameBlob(std::vector<uint8_t>(bytes.begin(), bytes.end()), data, size);
  tarvo_fuzz::CheckReserialize(*index);
  return 0;
}
