#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "engine/build/ssg/angle_rule.h"
#include "engine/build/ssg/first_occluder.h"
#include "engine/build/ssg/ssg.h"

namespace vexa {
namespace {

// How a kept candidate r decides on a farther candidate p.
enum class PruneRule {
  kAngle,    // "SSG": p is occluded when the angle r-q-p is below A
  kNearer,   // "NSG": p is occluded when r is nearer to p than q is
  kRelaxed,  // other types: occluded when r is much nearer to p; counts the milder occlusions
};

PruneRule RuleOf(const std::string& index_type) {
  if (index_type == "SSG") return PruneRule::kAngle;
  if (index_type == "NSG") return PruneRule::kNearer;
  return PruneRule::kRelaxed;
}

// Whether an id occurs twice in pool; seen holds one mark per node, all 0 before and after.
bool HasRepeatedId(const std::vector<LinkEntry>& pool, std::vector<uint8_t>& seen) {
  bool repeated = false;
  for (const LinkEntry& e : pool) {
    repeated = repeated || seen[e.id] != 0;
    seen[e.id] = 1;
  }
  for (const LinkEntry& e : pool) seen[e.id] = 0;
  return repeated;
}

}  // namespace

void SSG::PruneCandidates(int q, const std::vector<LinkEntry>& pool, Graph<LinkEntry>& link, float threshold,
                          PruneScratch& scratch) const {
  const VectorTable vectors = Vectors();
  const PruneRule rule = RuleOf(index_type);
  const size_t degree = static_cast<size_t>(R);
  std::vector<LinkEntry>& kept = scratch.kept;
  std::vector<LinkEntry>& pruned = scratch.pruned;
  std::vector<int>& occlusions = scratch.occlusionCount;
  std::vector<int>& order = scratch.order;
  kept.clear();
  pruned.clear();
  order.clear();
  if (rule == PruneRule::kRelaxed && occlusions.size() < static_cast<size_t>(nb)) {
    occlusions.assign(static_cast<size_t>(nb), 0);
    scratch.seen.assign(static_cast<size_t>(nb), 0);
  }
  // Whether p is occluded does not depend on the order in which the kept entries are tried, and
  // neither does what a candidate that stays kept counts under the relaxed rule (it meets them
  // all): the entry that occluded the last occluded candidate is tried first. An occluded
  // candidate's counts are dropped with it, except when its id comes again later in the pool;
  // a pool with a repeated id tries the kept entries in their own order under that rule.
  const bool inKeptOrder = rule == PruneRule::kRelaxed && HasRepeatedId(pool, scratch.seen);

  const size_t skip = !pool.empty() && pool[0].id == q ? 1 : 0;
  if (pool.size() > skip) {
    kept.push_back(pool[skip]);
    order.push_back(0);
  }
  for (size_t i = skip + 1; i < pool.size(); ++i) {
    // Under the angle and NSG rules the row takes the first R kept entries and nothing is refilled
    // once R are kept, so the rest of the pool cannot change the row.
    if (rule != PruneRule::kRelaxed && kept.size() >= degree) break;
    const LinkEntry& p = pool[i];
    // The next candidate's row was last read while the pool was collected and has mostly left
    // the cache since; asking for it now overlaps its fetch with this candidate's distances.
    if (i + 1 < pool.size()) vectors.PrefetchRow(pool[i + 1].id);
    const int at = FirstOccluder(
        vectors, p.id, static_cast<int>(order.size()), [&](int k) { return kept[inKeptOrder ? k : order[k]]; },
        [&](const LinkEntry& r, float djk) {
          if (r.id == p.id) return true;
          if (rule == PruneRule::kAngle) return !(AngleCosine(r.distance, p.distance, djk) <= threshold);
          if (rule == PruneRule::kNearer) return !(djk >= p.distance);
          if (djk * 1.2f < p.distance) return true;
          if (p.distance > djk) ++occlusions[p.id];
          return false;
        });
    const bool occluded = at >= 0;
    if (occluded && !inKeptOrder) {
      std::rotate(order.begin(), order.begin() + at, order.begin() + at + 1);
    } else if (!occluded) {
      order.push_back(static_cast<int>(kept.size()));
    }
    (occluded ? pruned : kept).push_back(p);
  }

  if (rule == PruneRule::kRelaxed) {
    std::sort(kept.begin(), kept.end(), [&occlusions](const LinkEntry& a, const LinkEntry& b) {
      const int countA = occlusions[a.id];
      const int countB = occlusions[b.id];
      return countA != countB ? countA < countB : a.distance < b.distance;
    });
  }

  LinkEntry* row = link.neighbors + static_cast<size_t>(q) * degree;
  size_t m = 0;
  for (; m < degree && m < kept.size(); ++m) row[m] = kept[m];
  for (size_t i = 0; m < degree && i < pruned.size(); ++i) row[m++] = pruned[i];
  for (; m < degree; ++m) row[m].id = -1;

  if (rule == PruneRule::kRelaxed) {
    for (const LinkEntry& e : kept) occlusions[e.id] = 0;
    for (const LinkEntry& e : pruned) occlusions[e.id] = 0;
  }
}

}  // namespace vexa
