#ifndef TARVO_ENGINE_SEARCH_MEMORY_METRIC_H_
#define TARVO_ENGINE_SEARCH_MEMORY_METRIC_H_

namespace vexa {

// How two vectors are compared; smaller is closer for both.
enum class Metric : int {
  L2 = 0,  // squared Euclidean distance
  IP = 1,  // inner product, negated
};

// The precision at which a searcher stores its vectors.
enum class QuantizerType : int {
  FP32 = 0,  // 32-bit floats
  FP16 = 1,  // 16-bit floats
  SQ8U = 2,  // one 8-bit scalar code per component
  SQ4U = 3,  // one 4-bit scalar code per component
};

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_MEMORY_METRIC_H_
