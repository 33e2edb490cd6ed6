#ifndef TARVO_ENGINE_SEARCH_SEARCHER_QUANTIZER_KINDS_H_
#define TARVO_ENGINE_SEARCH_SEARCHER_QUANTIZER_KINDS_H_

#include <cstddef>
#include <iterator>

#include "engine/search/memory/metric.h"
#include "engine/search/quant/fp16_quantizer.h"
#include "engine/search/quant/fp32_quantizer.h"
#include "engine/search/quant/sq4_ip_quantizer.h"
#include "engine/search/quant/sq4_l2_quantizer.h"
#include "engine/search/quant/sq8_ip_quantizer.h"
#include "engine/search/quant/sq8_l2_quantizer.h"

// Every kind of searcher, one line each: the searcher's alias, its coarse quantizer, the
// quantizer type and metric it serves, the quantizer's name in the factory's line, the re-rank
// switch of the type (refine_param) and the type's quantization level. The searcher aliases, their
// instantiations, the factory and the name tables are made from this list alone. Every type has an
// L2 and an IP kind, which agree on the switch and the level; levels number the types from 0.
//
// KIND(Searcher, Quantizer, type, metric, name, refine_param, level)
#define TARVO_QUANTIZER_KINDS(KIND)                                  \
  KIND(FP32L2Searcher, NewFP32L2Quantizer, FP32, L2, "FP32", 0, 0)  \
  KIND(FP32IPSearcher, NewFP32IPQuantizer, FP32, IP, "FP32", 0, 0)  \
  KIND(FP16L2Searcher, NewFP16L2Quantizer, FP16, L2, "FP16", 0, 3)  \
  KIND(FP16IPSearcher, NewFP16IPQuantizer, FP16, IP, "FP16", 0, 3)  \
  KIND(SQ8L2Searcher, NewSQ8L2Quantizer, SQ8U, L2, "SQ8", 2, 1)     \
  KIND(SQ8IPSearcher, NewSQ8IPQuantizer, SQ8U, IP, "SQ8", 2, 1)     \
  KIND(SQ4L2Searcher, NewSQ4L2Quantizer, SQ4U, L2, "SQ4", 10, 2)    \
  KIND(SQ4IPSearcher, NewSQ4IPQuantizer, SQ4U, IP, "SQ4", 10, 2)

// The searcher of one kind: its coarse quantizer and, for the re-rank, the FP32 quantizer of the
// same metric.
#define TARVO_SEARCHER_TYPE(Coarse, metric) GraphSearcher<Coarse<Metric::metric>, Quantizer<FP32Codec<Metric::metric>>>

namespace vexa {

// What the list says of one kind, for the checks below.
struct QuantizerKind {
  QuantizerType type;
  Metric metric;
  int refine_param;
  int level;
};

#define TARVO_KIND_FACTS(Searcher, Quantizer, type, metric, name, refine_param, level) \
  {QuantizerType::type, Metric::metric, refine_param, level},
inline constexpr QuantizerKind kQuantizerKinds[] = {TARVO_QUANTIZER_KINDS(TARVO_KIND_FACTS)};
#undef TARVO_KIND_FACTS

// The number of quantizer types, which is also the number of quantization levels.
constexpr size_t CountQuantizerTypes() {
  size_t types = 0;
  for (size_t i = 0; i < std::size(kQuantizerKinds); ++i) {
    bool first = true;
    for (size_t j = 0; j < i; ++j) first = first && kQuantizerKinds[j].type != kQuantizerKinds[i].type;
    types += first ? 1 : 0;
  }
  return types;
}
inline constexpr size_t kQuantizationLevels = CountQuantizerTypes();

// Whether the list keeps its rules: the two kinds of a type differ in metric and agree on the
// switch and the level, every type has both metrics, and the levels of the types are 0 .. types - 1.
constexpr bool QuantizerKindsAreConsistent() {
  for (const QuantizerKind& kind : kQuantizerKinds) {
    if (kind.level < 0 || static_cast<size_t>(kind.level) >= kQuantizationLevels) return false;
    int metrics = 0;
    for (const QuantizerKind& other : kQuantizerKinds) {
      if (other.type == kind.type) {
        if (other.refine_param != kind.refine_param || other.level != kind.level) return false;
        metrics |= 1 << static_cast<int>(other.metric);
      } else if (other.level == kind.level) {
        return false;
      }
    }
    if (metrics != 3) return false;
  }
  return std::size(kQuantizerKinds) == 2 * kQuantizationLevels;
}
static_assert(QuantizerKindsAreConsistent(), "one L2 and one IP kind per type, levels 0 .. types - 1");

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_SEARCHER_QUANTIZER_KINDS_H_
