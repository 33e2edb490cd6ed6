#ifndef TARVO_ENGINE_INDEX_GRAPH_FILE_H_
#define TARVO_ENGINE_INDEX_GRAPH_FILE_H_

#include <cstdint>

#include "engine/search/graph/graph.h"

// The values of a graph file besides the graph: what a searcher is rebuilt from.
struct GraphFileHeader {
  int dim = 0;               // vector dimension
  int quantLevel = 0;        // quantization level of the searcher
  float** chunks = nullptr;  // the vectors; the builder's table when writing, a new owned one when read
  uint8_t metric = 0;        // 1 = "L2", 0 = "IP"
  int consecutiveLog = 0;    // 2^consecutiveLog vectors per chunk
  int nb = 0;                // number of vectors, the graph's N
};

// Prints the header between two lines of "+".
void PrintGraphHeader(const GraphFileHeader& header);

#endif  // TARVO_ENGINE_INDEX_GRAPH_FILE_H_
