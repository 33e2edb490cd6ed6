#include "engine/search/searcher/name_tables.h"

#include "engine/search/searcher/quantizer_kinds.h"

namespace vexa {

// Defined in this order in one translation unit, so they are built in this order at load. Each
// type is listed once per kind; a key met again is not inserted again.
const std::unordered_map<std::string, Metric> metric_by_name = {{"L2", Metric::L2}, {"IP", Metric::IP}};

#define TARVO_TYPE_BY_NAME(Searcher, Coarse, type, metric, name, refine_param, level) {#type, QuantizerType::type},
const std::unordered_map<std::string, QuantizerType> quant_type_by_name = {TARVO_QUANTIZER_KINDS(TARVO_TYPE_BY_NAME)};
#undef TARVO_TYPE_BY_NAME

#define TARVO_REFINE_BY_NAME(Searcher, Coarse, type, metric, name, refine_param, level) {#type, refine_param},
const std::unordered_map<std::string, int> refine_param_by_name = {TARVO_QUANTIZER_KINDS(TARVO_REFINE_BY_NAME)};
#undef TARVO_REFINE_BY_NAME

const std::array<std::string, kQuantizationLevels> quant_level_names = [] {
  std::array<std::string, kQuantizationLevels> names;
#define TARVO_LEVEL_NAME(Searcher, Coarse, type, metric, name, refine_param, level) names[level] = #type;
  TARVO_QUANTIZER_KINDS(TARVO_LEVEL_NAME)
#undef TARVO_LEVEL_NAME
  return names;
}();

}  // namespace vexa
