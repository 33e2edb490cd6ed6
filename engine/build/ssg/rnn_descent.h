#ifndef TARVO_ENGINE_BUILD_SSG_RNN_DESCENT_H_
#define TARVO_ENGINE_BUILD_SSG_RNN_DESCENT_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/build/candidate.h"
#include "engine/build/ssg/descent_context.h"
#include "engine/search/graph/graph.h"

namespace vexa {

// The RNN-Descent initial graph: random seeding, rounds of occlusion pruning in which an occluded
// candidate is handed to the list of the candidate that occludes it, and reverse-edge merges
// between the rounds.
class RNNDescent : public DescentContext {
 public:
  explicit RNNDescent(const DescentInput& input) : DescentContext(input) {}

  // Runs the whole step, printing "Init using RNN." first, and returns the initial graph: N rows
  // of K ids, nearest first, -1 after them.
  std::unique_ptr<Graph<int>> Run();

  // The step that every round repeats, over nodes as they stand. Per node (dynamic chunks of
  // 256): keeps the candidates that no nearer kept one occludes and hands each occluded one to
  // its nearest occluder.
  void PruneAndRedistribute();

 private:
  // Per node: offers every edge u -> v to v's reverse list as v -> u.
  void GatherReverse();
  // Per node: merges the node's own list into its reverse list, nearest reverseCap kept.
  void MergeReverse();
  // Per node: hands every entry of the reverse list back to the node it names.
  void ScatterReverse();
  // Per node: keeps the nearest reverseCap candidates.
  void TrimCandidates();
  // Per node: writes the ids of the nearest K distinct candidates into the node's graph row.
  void ExtractGraph();

  // One thread's lists for PruneAndRedistribute, kept from node to node and round to round.
  struct PruneLists {
    std::vector<Candidate> taken;  // the node's candidates, taken out of the node
    std::vector<Candidate> kept;   // the candidates that stay with the node
    std::vector<int> later;        // positions in taken of the later candidates a kept one meets
    std::vector<float> nearest;    // per position in taken: distance to its nearest occluder so far
    std::vector<int> occluder;     // per position in taken: that occluder's id, or -1
    std::vector<int> handed;       // positions in taken of the occluded candidates, in order
    std::vector<uint8_t> repeated;  // per position in taken: 1 when a kept entry has its id
  };

  int outerRounds = 4;
  int innerRounds = 15;
  std::vector<std::vector<Candidate>> reverseLists;  // one per node during a merge round
  std::vector<PruneLists> pruneLists_;               // one per OpenMP thread
};

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_SSG_RNN_DESCENT_H_
