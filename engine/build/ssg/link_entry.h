#ifndef TARVO_ENGINE_BUILD_SSG_LINK_ENTRY_H_
#define TARVO_ENGINE_BUILD_SSG_LINK_ENTRY_H_

namespace vexa {

// A slot of the link graph: the target node (-1 for an empty slot) and its distance to the
// row's node. Emptying a slot sets only its id; the distance keeps what it held.
struct LinkEntry {
  int id;
  float distance;
};

// Link entries are ordered by distance alone, nearest first.
inline bool operator<(const LinkEntry& a, const LinkEntry& b) { return a.distance < b.distance; }

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_SSG_LINK_ENTRY_H_
