#ifndef TARVO_ENGINE_BUILD_CANDIDATE_H_
#define TARVO_ENGINE_BUILD_CANDIDATE_H_

namespace vexa {

// A node met by a search or kept in a descent's neighbour list. isNew marks an entry that a
// greedy search has not expanded yet, or one that a descent has not compared yet.
struct Candidate {
  int id;
  float distance;
  bool isNew;
};

// Candidates are ordered by distance alone, nearest first.
inline bool operator<(const Candidate& a, const Candidate& b) { return a.distance < b.distance; }

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_CANDIDATE_H_
