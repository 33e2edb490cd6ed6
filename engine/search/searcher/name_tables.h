#ifndef TARVO_ENGINE_SEARCH_SEARCHER_NAME_TABLES_H_
#define TARVO_ENGINE_SEARCH_SEARCHER_NAME_TABLES_H_

#include <array>
#include <string>
#include <unordered_map>

#include "engine/search/memory/metric.h"
#include "engine/search/searcher/quantizer_kinds.h"

namespace vexa {

// The names of the engine, built once when the engine is loaded and only read afterwards. Keys
// match exactly (case and length included); a lookup never inserts.

// "L2" and "IP".
extern const std::unordered_map<std::string, Metric> metric_by_name;
// The quantizer types: "FP32", "FP16", "SQ8U" and "SQ4U".
extern const std::unordered_map<std::string, QuantizerType> quant_type_by_name;
// The re-rank switch of each quantizer type: 0 for the float types, 2 for "SQ8U", 10 for "SQ4U".
extern const std::unordered_map<std::string, int> refine_param_by_name;
// The quantizer type of each quantization level: 0 "FP32", 1 "SQ8U", 2 "SQ4U", 3 "FP16".
extern const std::array<std::string, kQuantizationLevels> quant_level_names;

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_SEARCHER_NAME_TABLES_H_
