#ifndef TARVO_ENGINE_BUILD_SSG_NN_DESCENT_H_
#define TARVO_ENGINE_BUILD_SSG_NN_DESCENT_H_

#include <memory>
#include <vector>

#include "engine/build/candidate.h"
#include "engine/build/ssg/descent_context.h"
#include "engine/search/graph/graph.h"

namespace vexa {

// The NN-Descent initial graph: each node keeps a bounded max-heap of the closest candidates
// found so far; every iteration compares the pairs among each node's sampled new and old
// neighbours (and the nodes that sampled it) and offers each pair to both lists.
class NNDescent : public DescentContext {
 public:
  explicit NNDescent(const DescentInput& input) : DescentContext(input), iters(input.initIters) {}

  // Runs the whole step, printing "Init using KNN." first, and returns the initial graph: N rows
  // of K ids, nearest first, -1 after them.
  std::unique_ptr<Graph<int>> Run();

  // The insertion rule of an offer: w at distance d enters list, a max-heap by distance of at
  // most poolSize entries, unless d exceeds the largest distance or w is in the list already; a
  // full list loses its largest entry. list must not be empty.
  static void OfferToList(std::vector<Candidate>& list, int poolSize, int w, float d);

  // The steps of one iteration, in the order Run takes them, over nodes as they stand.
  // Per node (dynamic chunks of 100): compares every pair of distinct new samples once and every
  // new sample with every old one, offering each pair to both lists.
  void CompareSampledPairs();
  // Per node: empties the sample lists.
  void ReleaseSampleLists();
  // Per node: sorts the list ascending and chooses the sampled prefix (sampleEnd).
  void TrimCandidates();
  // Per node: samples the prefix into newIds / oldIds and the sampled nodes' reverse lists, then
  // turns the list back into a max-heap.
  void CollectSamples();
  // Per node: appends the reverse samples to the samples; old ones are cut to 2 x reverseCap.
  void MergeReverseSamples();

 private:
  // Offers w at distance d to node v's list under v's lock (OfferToList).
  void OfferCandidate(int v, int w, float d);
  // Serially: writes the ids of the nearest K candidates into every node's graph row.
  void ExtractGraph();

  int iters;
  // Each node's largest distance as TrimCandidates leaves it, read by CollectSamples while other
  // threads turn the lists back into heaps.
  std::vector<float> trimmedLargest_;
};

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_SSG_NN_DESCENT_H_
