#ifndef TARVO_ENGINE_BUILD_VISITED_MARKS_H_
#define TARVO_ENGINE_BUILD_VISITED_MARKS_H_

#include <cstdint>
#include <cstring>
#include <vector>

namespace vexa {

// One thread's visited record for the MagicLink passes: a byte per node and an 8-bit epoch.
// An id is marked when its byte equals the epoch, so advancing the epoch unmarks every id; the
// bytes are cleared only when the epoch wraps, once every 255 nodes.
class VisitedMarks {
 public:
  explicit VisitedMarks(int n) : marks(static_cast<size_t>(n), 0) {}

  // Marks id and answers true when it lies in [0, N) and is not marked yet; otherwise false.
  bool TryMark(int id) {
    if (id < 0 || static_cast<size_t>(id) >= marks.size() || marks[id] == epoch) return false;
    marks[id] = epoch;
    return true;
  }
  // Unmarks every id; called after each node.
  void Advance() {
    if (++epoch == 0) {
      std::memset(marks.data(), 0, marks.size());
      epoch = 1;
    }
  }

  std::vector<uint8_t> marks;  // one byte per node
  uint8_t epoch = 1;           // never 0
};

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_VISITED_MARKS_H_
