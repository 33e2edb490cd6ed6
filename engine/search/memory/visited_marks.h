#ifndef TARVO_ENGINE_SEARCH_MEMORY_VISITED_MARKS_H_
#define TARVO_ENGINE_SEARCH_MEMORY_VISITED_MARKS_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexa {

// The nodes a walk has visited, emptied in constant time for the next walk: an id is marked when
// its mark equals the epoch, so moving to the next epoch unmarks every id. The marks themselves
// are cleared only when the epoch wraps back to 0, once every 2^bits - 1 walks; the epoch is never
// 0, so a mark that was never set is never taken for a visit.
template <typename Tag>
class EpochMarks {
 public:
  EpochMarks() = default;
  // Room for the ids [0, n), none marked.
  explicit EpochMarks(size_t n) : marks_(n, 0) {}

  // Unmarks every id and makes room for the ids [0, n) (the room never shrinks). Throws
  // std::bad_alloc when the room cannot be had.
  void Reset(size_t n) {
    if (marks_.size() < n) marks_.resize(n, 0);
    Clear();
  }
  // Unmarks every id: the next epoch, and on a wrap to 0 cleared marks and epoch 1.
  void Clear() {
    if (++epoch_ == 0) {
      std::fill(marks_.begin(), marks_.end(), Tag{0});
      epoch_ = 1;
    }
  }
  // Whether id (in [0, size())) is marked.
  bool IsMarked(int id) const { return marks_[id] == epoch_; }
  // Marks id (in [0, size())).
  void Mark(int id) { marks_[id] = epoch_; }
  // Marks id and answers true when it lies in [0, size()) and is not marked yet; otherwise false.
  bool TryMark(int id) {
    if (id < 0 || static_cast<size_t>(id) >= marks_.size() || marks_[id] == epoch_) return false;
    marks_[id] = epoch_;
    return true;
  }
  // Asks the cache for the mark of id (in [0, size())), ahead of IsMarked.
  void Prefetch(int id) const { __builtin_prefetch(marks_.data() + id); }
  // The ids there is room for.
  size_t size() const { return marks_.size(); }

 private:
  std::vector<Tag> marks_;  // one per id
  Tag epoch_ = 1;           // never 0
};

// One thread's record for the MagicLink passes: a byte per node, cleared once every 255 nodes.
using VisitedMarks = EpochMarks<uint8_t>;

// The visited set of a query and of an HNSW layer search: four bytes per node, so that the marks
// are cleared only once every 2^32 - 1 walks.
using VisitedList = EpochMarks<uint32_t>;

// The calling thread's VisitedList, which every query and layer search of the thread reuses, one
// after another (a walk never runs inside another on one thread). It lives as long as the thread
// and keeps the room of the largest graph the thread has walked.
VisitedList& ThreadVisitedList();

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_MEMORY_VISITED_MARKS_H_
