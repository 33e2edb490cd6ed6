#ifndef TARVO_ENGINE_BUILD_BUILDER_H_
#define TARVO_ENGINE_BUILD_BUILDER_H_

namespace vexa {

// A graph builder that the index drives through Build. It holds no data of its own.
class Builder {
 public:
  Builder() = default;
  Builder(const Builder&) = delete;
  Builder& operator=(const Builder&) = delete;

  // Builds the graph over the n vectors of the chunk table (2^consecutiveLog vectors per chunk).
  virtual void Build(float** chunks, int consecutiveLog, int n) = 0;
  virtual ~Builder() = default;
};

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_BUILDER_H_
