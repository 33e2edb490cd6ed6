#include "engine/search/searcher/name_tables.h"

#include <gtest/gtest.h>

namespace vexa {
namespace {

TEST(NameTables, HoldTheirStartUpContent) {
  EXPECT_EQ(metric_by_name.size(), 2u);
  EXPECT_EQ(metric_by_name.at("L2"), Metric::L2);
  EXPECT_EQ(metric_by_name.at("IP"), Metric::IP);
  EXPECT_EQ(quant_type_by_name.size(), 4u);
  EXPECT_EQ(quant_type_by_name.at("FP32"), QuantizerType::FP32);
  EXPECT_EQ(quant_type_by_name.at("FP16"), QuantizerType::FP16);
  EXPECT_EQ(quant_type_by_name.at("SQ8U"), QuantizerType::SQ8U);
  EXPECT_EQ(quant_type_by_name.at("SQ4U"), QuantizerType::SQ4U);
  EXPECT_EQ(refine_param_by_name.size(), 4u);
  EXPECT_EQ(refine_param_by_name.at("FP32"), 0);
  EXPECT_EQ(refine_param_by_name.at("FP16"), 0);
  EXPECT_EQ(refine_param_by_name.at("SQ8U"), 2);
  EXPECT_EQ(refine_param_by_name.at("SQ4U"), 10);
  EXPECT_EQ(quant_level_names[0], "FP32");
  EXPECT_EQ(quant_level_names[1], "SQ8U");
  EXPECT_EQ(quant_level_names[2], "SQ4U");
  EXPECT_EQ(quant_level_names[3], "FP16");
}

}  // namespace
}  // namespace vexa
