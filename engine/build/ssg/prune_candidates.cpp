#include <algorithm>
#include <cstddef>

#include "engine/build/ssg/angle_rule.h"
#include "engine/build/ssg/any_occludes.h"
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

}  // namespace

void SSG::PruneCandidates(int q, const std::vector<LinkEntry>& pool, Graph<LinkEntry>& link, float threshold,
                          PruneScratch& scratch) const {
  const VectorTable vectors = Vectors();
  const PruneRule rule = RuleOf(index_type);
  const size_t degree = static_cast<size_t>(R);
  std::vector<LinkEntry>& kept = scratch.kept;
  std::vector<LinkEntry>& pruned = scratch.pruned;
  std::vector<int>& occlusions = scratch.occlusionCount;
  kept.clear();
  pruned.clear();
  if (rule == PruneRule::kRelaxed && occlusions.size() < static_cast<size_t>(nb)) {
    occlusions.assign(static_cast<size_t>(nb), 0);
  }

  const size_t skip = !pool.empty() && pool[0].id == q ? 1 : 0;
  if (pool.size() > skip) kept.push_back(pool[skip]);
  for (size_t i = skip + 1; i < pool.size(); ++i) {
    // Under the angle and NSG rules the row takes the first R kept entries and nothing is refilled
    // once R are kept, so the rest of the pool cannot change the row.
    if (rule != PruneRule::kRelaxed && kept.size() >= degree) break;
    const LinkEntry& p = pool[i];
    const bool occluded = AnyOccludes(vectors, p.id, kept, [&](const LinkEntry& r, float djk) {
      if (r.id == p.id) return true;
      if (rule == PruneRule::kAngle) return !(AngleCosine(r.distance, p.distance, djk) <= threshold);
      if (rule == PruneRule::kNearer) return !(djk >= p.distance);
      if (djk * 1.2f < p.distance) return true;
      if (p.distance > djk) ++occlusions[p.id];
      return false;
    });
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
