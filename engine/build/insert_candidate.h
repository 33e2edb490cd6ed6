#ifndef TARVO_ENGINE_BUILD_INSERT_CANDIDATE_H_
#define TARVO_ENGINE_BUILD_INSERT_CANDIDATE_H_

#include "engine/build/candidate.h"

namespace vexa {

// Inserts c into list, whose first K >= 1 entries are sorted by ascending distance and which has
// room for K + 1 entries: slot K receives the entry pushed out of the first K. Returns the
// position c now holds (0 to K), or K + 1 when c was refused as a duplicate of an entry of equal
// distance next to the insertion point (the list is then unchanged). A candidate goes after the
// entries of equal distance, unless the last of the K has that distance: then just before it.
int InsertCandidate(Candidate* list, int K, Candidate c);

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_INSERT_CANDIDATE_H_
