#include "engine/search/searcher/name_tables.h"

namespace vexa {

// Defined in this order in one translation unit, so they are built in this order at load.
const std::unordered_map<std::string, Metric> metric_by_name = {{"L2", Metric::L2}, {"IP", Metric::IP}};

const std::unordered_map<std::string, QuantizerType> quant_type_by_name = {
    {"FP32", QuantizerType::FP32}, {"FP16", QuantizerType::FP16},
    {"SQ8U", QuantizerType::SQ8U}, {"SQ4U", QuantizerType::SQ4U}};

const std::unordered_map<std::string, int> refine_param_by_name = {
    {"FP32", 0}, {"FP16", 0}, {"SQ8U", 2}, {"SQ4U", 10}};

const std::array<std::string, 4> quant_level_names = {"FP32", "SQ8U", "SQ4U", "FP16"};

}  // namespace vexa
