#ifndef TARVO_ENGINE_BUILD_SSG_DESCENT_NODE_H_
#define TARVO_ENGINE_BUILD_SSG_DESCENT_NODE_H_

#include <random>
#include <vector>

#include "engine/build/candidate.h"
#include "engine/build/node_lock.h"

namespace vexa {

// One vector's state in NN-Descent and RNN-Descent. RNN-Descent uses only candidates and mutex.
struct DescentNode {
  DescentNode() = default;
  DescentNode(const DescentNode&) = delete;
  DescentNode& operator=(const DescentNode&) = delete;

  // Sets sampleEnd = sampleCount and draws 2 x sampleCount distinct ids of [0, N) into newIds.
  void Init(int sampleCount, std::mt19937& rng, int N);

  std::vector<Candidate> candidates;  // the working neighbour list
  int sampleEnd = 0;                  // length of the sampled prefix of candidates (NN-Descent)
  NodeLock mutex;                     // guards candidates and the two reverse lists
  std::vector<int> newIds;            // this iteration's new samples (NN-Descent)
  std::vector<int> oldIds;            // this iteration's old samples (NN-Descent)
  std::vector<int> reverseNewIds;     // nodes that sampled this one as new (NN-Descent)
  std::vector<int> reverseOldIds;     // nodes that sampled this one as old (NN-Descent)
};

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_SSG_DESCENT_NODE_H_
