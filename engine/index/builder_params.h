#ifndef TARVO_ENGINE_INDEX_BUILDER_PARAMS_H_
#define TARVO_ENGINE_INDEX_BUILDER_PARAMS_H_

#include "engine/build/hnsw/hnsw.h"
#include "engine/build/ssg/ssg.h"

// The parameter checks that Add makes before it builds: the constructors accept anything.

// True when the SSG builder's parameters are valid (dimension 1 to 2999, R 11 to 499, L 11 to
// 1999, A 1 to 360 degrees, graph_opt_iter 0 to 30, metric "L2" or "IP", init_builder_type
// "RNNDescent" or "NNDescent", index_type "SSG", "NSG" or "TSDG"); otherwise prints the first
// wrong one and gives false. False without a text for a null builder.
bool CheckSSGParams(const vexa::SSG* builder);

// True when the HNSW builder's parameters are valid (dimension 1 to 2999, M 5 to 500,
// ef_construction 11 to 1999, metric "L2" or "IP"); otherwise prints the first wrong one and
// gives false. False without a text for a null builder.
bool CheckHNSWParams(const vexa::HNSW* hnsw);

#endif  // TARVO_ENGINE_INDEX_BUILDER_PARAMS_H_
