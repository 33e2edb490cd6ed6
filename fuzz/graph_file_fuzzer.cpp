// The graph file reader. A file that loads hands its vectors to a builder's state, as loading a
// graph into an index does; the searcher of the file's level is built and searched, and the file
// written again must be the bytes that were read and load again.
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/build/builder_state.h"
#include "engine/index/graph_file.h"
#include "engine/search/searcher/make_graph_searcher.h"
#include "engine/search/searcher/name_tables.h"
#include "fuzz/fuzz_search.h"
#include "fuzz/memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static tarvo_fuzz::MemoryFile input;
  input.Hold(data, size);
  vexa::Graph<int> graph;
  GraphFileHeader header;
  if (vexa::Graph<int>::LoadFromFile(graph, input.Path().c_str(), header) != 0) return 0;
  tarvo_fuzz::Require(header.nb == graph.N && header.chunks != nullptr, "a loaded file without its vectors");

  vexa::BuilderState state(header.metric != 0 ? "L2" : "IP", header.dim, header.consecutiveLog);
  state.graph = std::move(graph);
  state.AdoptChunks(header.chunks, header.consecutiveLog, header.nb);
  state.quantLevel = header.quantLevel;

  const std::string copy = (tarvo_fuzz::ScratchFolder() / "copy.graph").string();
  GraphFileHeader written = header;
  tarvo_fuzz::Require(vexa::Graph<int>::SaveToFile(state.graph, copy.c_str(), written) == 0, "write failed");
  const std::string bytes = tarvo_fuzz::FileBytes(copy);
  tarvo_fuzz::Require(bytes.size() <= size && std::memcmp(bytes.data(), data, bytes.size()) == 0,
                      "the written file differs from the one read");
  vexa::Graph<int> again;
  GraphFileHeader again_header;
  tarvo_fuzz::Require(vexa::Graph<int>::LoadFromFile(again, copy.c_str(), again_header) == 0,
                      "the written file does not load");
  vexa::BuilderState again_state(state.metric, again_header.dim, again_header.consecutiveLog);
  again_state.AdoptChunks(again_header.chunks, again_header.consecutiveLog, again_header.nb);

  // Levels 4 and 5 pass the reader but name no searcher.
  if (state.quantLevel < 0 || state.quantLevel >= static_cast<int>(vexa::quant_level_names.size())) return 0;
  auto searcher = vexa::MakeGraphSearcher(state.graph, state.metric, vexa::quant_level_names[state.quantLevel]);
  searcher->Build(state.chunks, state.consecutiveLog, state.nb, state.dim);
  tarvo_fuzz::CheckSearches(searcher.get(), state.nb, state.dim, size > 0 ? data[size - 1] : 0);
  return 0;
}
