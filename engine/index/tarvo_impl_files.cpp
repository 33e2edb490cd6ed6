// The files of a replica: the index file (Save, Load) and the graph file (SaveGraph, LoadGraph).
#include <cstdio>
#include <fstream>
#include <memory>
#include <new>

#include "engine/index/file_checks.h"
#include "engine/index/graph_file.h"
#include "engine/index/print_line.h"
#include "engine/index/replacing_file.h"
#include "engine/index/tarvo_impl.h"
#include "engine/search/graph/graph.h"

int TarvoImpl::Save(const char* path) const {
  if (!graphBuilt) {
    vexa::PrintLine("[ERROR] Graph has not been built; cannot save.");
    return -1;
  }
  if (!searcherBuilt) {
    vexa::PrintLine("[ERROR] Searcher has not been built; cannot save.");
    return -1;
  }
  if (!searcher || !IsFileWritable(path)) return -1;
  unsigned char* blob = nullptr;
  size_t length = 0;
  const int result = Serialize(blob, length);
  const std::unique_ptr<unsigned char[]> owned(blob);
  std::printf("DataLength:%zu\n", length);
  if (result != 0) return result;
  // A file already at path is replaced only by a complete new one.
  vexa::ReplacingFile file(path);
  file.Write(owned.get(), length);
  return file.Commit();
}

int TarvoImpl::Load(const char* path) {
  std::ifstream file(path, std::ios::binary);
  file.seekg(0, std::ios::end);
  const std::streamoff end = file.tellg();
  if (!file || end < 0) return -1;
  file.seekg(0, std::ios::beg);
  size_t size = static_cast<size_t>(end);
  const std::unique_ptr<unsigned char[]> blob(new (std::nothrow) unsigned char[size]());
  if (!blob) return -1;
  // A short read leaves zeros, which the blob reader refuses where it needs bytes.
  file.read(reinterpret_cast<char*>(blob.get()), end);
  file.close();
  return Deserialize(blob.get(), &size);
}

int TarvoImpl::SaveGraph(const char* path) const {
  if (!graphBuilt) {
    vexa::PrintLine("[Warning] Graph has not been built or Index already exists. Save has nothing to do.");
    return -1;
  }
  if (searcherBuilt) {
    vexa::PrintLine("[ERROR] Cannot save graph after searcher has been built.");
    return -1;
  }
  const vexa::BuilderState* state = State();
  if (state == nullptr || !IsFileWritable(path)) return -1;
  GraphFileHeader header;
  header.dim = state->dim;
  header.quantLevel = state->quantLevel;
  header.chunks = state->chunks;
  header.metric = state->metric == "L2" ? 1 : 0;
  header.consecutiveLog = state->consecutiveLog;
  header.nb = state->nb;
  PrintGraphHeader(header);
  return vexa::Graph<int>::SaveToFile(state->graph, path, header);
}

int TarvoImpl::LoadGraph(const char* path, int level) {
  vexa::BuilderState* state = State();
  if (state == nullptr) return -1;
  // The reader replaces the graph only when the whole file passed; a refused file leaves the
  // replica as it was.
  GraphFileHeader header;
  if (vexa::Graph<int>::LoadFromFile(state->graph, path, header) != 0) return -1;
  state->AdoptChunks(header.chunks, header.consecutiveLog, header.nb);
  state->dim = header.dim;
  state->quantLevel = header.quantLevel;
  state->metric = header.metric != 0 ? "L2" : "IP";
  PrintGraphHeader(header);
  if (builder) {
    std::printf("[Pexo::LoadGraph] nb:%d, d:%d, consecutiveLog:%d\n", state->nb, state->dim, state->consecutiveLog);
  }
  graphBuilt = true;
  searcherBuilt = false;
  if (level != -1) state->quantLevel = level;
  if (BuildSearcher() != 0) return -1;
  nTotal = state->nb;
  dim = state->dim;
  return 0;
}
