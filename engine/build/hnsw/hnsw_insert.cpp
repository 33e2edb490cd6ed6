#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "engine/build/hnsw/hnsw.h"
#include "engine/build/hnsw/safe_copy.h"

namespace vexa {

void HNSW::Insert(const float* q, uint64_t label) {
  size_t cur_c;
  {
    std::lock_guard<std::mutex> hold(counterLock_);
    cur_c = insertedCount_.fetch_add(1);
  }
  std::lock_guard<NodeLock> own(linkLocks_[cur_c]);
  const int level = DrawLevel();
  nodeLevels_[cur_c] = level;
  // Kept to the end by an insert that raises the top level, so that the new top level and entry
  // node are published together.
  std::unique_lock<std::mutex> top(topLevelLock_);
  const int maxlevelcopy = topLevel_;
  if (maxlevelcopy >= level) top.unlock();

  char* element = Element(cur_c);
  SafeMemset(element, size_data_per_element_, 0, size_data_per_element_);
  SafeMemcpy(element + label_offset_, sizeof(label), &label, sizeof(label));
  SafeMemcpy(element + offsetData_, data_size_, q, data_size_);
  if (level > 0) {
    const size_t bytes = static_cast<size_t>(level) * upperLinksSize_ + 1;
    linkLists_[cur_c] = static_cast<char*>(std::malloc(bytes));
    if (linkLists_[cur_c] == nullptr) throw std::runtime_error("Failed to allocate memory to linkLists_[cur_c].\n");
    SafeMemset(linkLists_[cur_c], bytes, 0, bytes);
  }

  // A newer entry node than the one of maxlevelcopy has a higher level, so the walk from it down
  // from maxlevelcopy stays valid.
  const int ep = entryNode_;
  if (ep != -1) {
    uint32_t cur = static_cast<uint32_t>(ep);
    if (level < maxlevelcopy) cur = GreedyDescent(cur, q, maxlevelcopy, level);
    DistanceHeap reselect;
    for (int lev = std::min(level, maxlevelcopy); lev >= 0; --lev) {
      DistanceHeap found = ExploreLayer(cur, q, lev);
      KeepDiverseNeighbors(found, M_);
      // The selected nodes become this node's list, farthest first; the nearest leads on.
      uint32_t* header = LinkList(static_cast<uint32_t>(cur_c), lev);
      uint32_t* ids = header + 1;
      const size_t count = found.size();
      for (size_t k = 0; k < count; ++k) {
        ids[k] = found.top().id;
        found.pop();
      }
      SetLinkCount(header, count);
      cur = ids[count - 1];
      for (size_t k = 0; k < count; ++k) LinkBack(ids[k], static_cast<uint32_t>(cur_c), lev, reselect);
    }
  }
  if (level > maxlevelcopy) {
    topLevel_ = level;
    entryNode_ = static_cast<int>(cur_c);
  }
}

uint32_t HNSW::GreedyDescent(uint32_t ep, const float* q, int from, int to) {
  uint32_t cur = ep;
  float d = distFn_(q, NodeVector(ep), dim_);
  std::vector<uint32_t>& links = LinkScratch();
  for (int l = from; l > to; --l) {
    for (bool changed = true; changed;) {
      changed = false;
      const size_t count = CopyLinks(cur, l, links.data());
      NodeDistances(
          q, count, [&links](int k) { return links[k]; },
          [&](int k, float dk) {
            if (dk < d) {
              d = dk;
              cur = links[k];
              changed = true;
            }
          });
    }
  }
  return cur;
}

void HNSW::LinkBack(uint32_t n, uint32_t cur_c, int lev, DistanceHeap& reselect) {
  std::lock_guard<NodeLock> hold(linkLocks_[n]);
  uint32_t* header = LinkList(n, lev);
  uint32_t* ids = header + 1;
  const size_t count = LinkCount(header);
  const size_t Mcur = lev == 0 ? maxM0_ : maxM_;
  if (count < Mcur) {
    ids[count] = cur_c;
    SetLinkCount(header, count + 1);
    return;
  }
  const float* vn = NodeVector(n);
  reselect.clear();
  // The new node first, then the list's own.
  const auto node = [&](int k) { return k == 0 ? cur_c : ids[k - 1]; };
  NodeDistances(vn, count + 1, node, [&](int k, float d) { reselect.push({d, node(k)}); });
  KeepDiverseNeighbors(reselect, Mcur);
  size_t kept = 0;
  for (; !reselect.empty(); reselect.pop()) ids[kept++] = reselect.top().id;
  SetLinkCount(header, kept);
}

}  // namespace vexa
