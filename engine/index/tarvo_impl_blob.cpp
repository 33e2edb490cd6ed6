// The index blob of a replica: Serialize hands it out, LoadFromMem reads one back.
#include <cstdint>
#include <new>
#include <string>
#include <utility>

#include "engine/index/print_line.h"
#include "engine/index/tarvo_impl.h"
#include "engine/search/graph/graph.h"
#include "engine/search/memory/blob_io.h"
#include "engine/search/searcher/make_graph_searcher.h"

namespace {

// Reads a name of `size` bytes at *offset into name. The size comes from the blob, so the blob
// must hold that many bytes before the string is sized.
int ReadName(std::string* name, uint32_t size, const unsigned char* blob, size_t* offset, size_t length) {
  if (vexa::CheckDeserializeBounds(size, *offset, length) != 0) return -1;
  name->assign(size, '\0');
  return vexa::DeserializeArray(&(*name)[0], blob, size, offset, length);
}

}  // namespace

int TarvoImpl::Serialize(unsigned char*& out, size_t& outLength) const {
  if (!graphBuilt || !searcherBuilt) {
    vexa::PrintLine("[ERROR] Graph has not been built; cannot serialize.");
    return -1;
  }
  if (!searcher) {
    vexa::PrintLine("[Error] searcher is nullptr.");
    return -1;
  }
  return SerializeSearcher(out, outLength);
}

int TarvoImpl::SerializeSearcher(unsigned char*& out, size_t& outLength) const {
  size_t size = searcher->GetDataSize();
  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[size]());
  if (!buffer) return -1;
  size_t offset = 0;
  const int result = searcher->SaveSearcherToMem(buffer.get(), &size, &offset);
  if (result == 0) {
    out = buffer.release();
    outLength = size;
  }
  return result;
}

int TarvoImpl::LoadFromMem(const unsigned char* blob, size_t* dataLength) {
  const size_t length = *dataLength;
  size_t offset = 0;
  uint32_t metricSize = 0;
  uint32_t quantTypeSize = 0;
  std::string metricName;
  std::string quantType;
  if (vexa::DeserializeValue(&metricSize, blob, &offset, length) != 0 ||
      vexa::DeserializeValue(&quantTypeSize, blob, &offset, length) != 0 ||
      ReadName(&metricName, metricSize, blob, &offset, length) != 0 ||
      ReadName(&quantType, quantTypeSize, blob, &offset, length) != 0) {
    return -1;
  }
  vexa::BuilderState* state = State();
  if (state == nullptr) return -1;

  // The graph and the searcher are read into new objects; they replace the replica's only when
  // the whole blob was accepted.
  vexa::Graph<int> graph;
  const int read = graph.LoadFromMem(blob, dataLength, &offset);
  if (read != 0) return read;
  std::unique_ptr<vexa::SearcherBase> loaded;
  {
    const vexa::Graph<int> copy(graph);
    loaded = vexa::MakeGraphSearcher(copy, metricName, quantType);
  }
  if (loaded->LoadSearcherFromMem(blob, dataLength, &offset) != 0) return -1;
  searcher = std::move(loaded);
  // The loaded searcher holds the blob's graph: the builder keeps no graph or vectors of its own.
  ReleaseBuilderData();
  return 0;
}

int TarvoImpl::Deserialize(const unsigned char* blob, size_t* dataLength) {
  if (LoadFromMem(blob, dataLength) != 0) return -1;
  graphBuilt = true;
  searcherBuilt = true;
  TakeSearcherSizes();
  return 0;
}
