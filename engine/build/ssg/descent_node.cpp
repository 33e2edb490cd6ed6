#include "engine/build/ssg/descent_node.h"

#include "engine/build/sample_distinct_ids.h"

namespace vexa {

void DescentNode::Init(int sampleCount, std::mt19937& rng, int N) {
  sampleEnd = sampleCount;
  newIds.resize(static_cast<size_t>(2) * sampleCount);
  SampleDistinctIds(rng, newIds.data(), 2 * sampleCount, N);
}

}  // namespace vexa
