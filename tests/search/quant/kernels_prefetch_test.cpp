#include "engine/search/memory/prefetch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace vexa {
namespace {

// Collects the addresses handed to it instead of prefetching them.
struct RecordingPrefetch {
  std::vector<uintptr_t>* lines;
  void operator()(const void* line) const { lines->push_back(reinterpret_cast<uintptr_t>(line)); }
};

TEST(PrefetchLines, IssuesUpToTwentyEightLinesInOrder) {
  const struct {
    int lines;
    int issued;
  } cases[] = {{0, 0}, {1, 1}, {27, 27}, {28, 28}, {29, 28}, {1000, 28}, {-1, 28}};
  alignas(64) static const char buffer[64] = {};
  for (const auto& c : cases) {
    std::vector<uintptr_t> lines;
    PrefetchLinesWith(RecordingPrefetch{&lines}, buffer, c.lines);
    ASSERT_EQ(static_cast<int>(lines.size()), c.issued) << "lines " << c.lines;
    for (int k = 0; k < c.issued; ++k) {
      EXPECT_EQ(lines[k], reinterpret_cast<uintptr_t>(buffer) + 64u * k) << "lines " << c.lines;
    }
  }
}

// A prefetch reads nothing: hints past the end of a small block neither fault nor trip the
// address sanitizer.
TEST(PrefetchLines, HintsBeyondABlockAreHarmless) {
  std::vector<char> block(64, 1);
  for (int lines : {0, 27, 28, 1000, -1}) PrefetchLines(block.data(), lines);
  EXPECT_EQ(block[0], 1);
}

}  // namespace
}  // namespace vexa
