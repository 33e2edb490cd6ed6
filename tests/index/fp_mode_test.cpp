// The library leaves the floating-point mode of its host alone: subnormal numbers stay
// subnormal on the calling thread and in the search teams, before and after every kind of call.

#include <gtest/gtest.h>
#include <omp.h>

#include <cfenv>
#include <limits>
#include <memory>
#include <vector>

#include "tests/index/index_test_support.h"
#include "tests/support/scratch_dir.h"

#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace tarvo_test {
namespace {

// The controls of the floating-point unit, without its exception flags: the rounding mode and,
// on x86, the SSE control bits (flush-to-zero, denormals-are-zero, rounding, exception masks).
unsigned Controls() {
  unsigned controls = static_cast<unsigned>(std::fegetround());
#if defined(__x86_64__)
  controls |= (_mm_getcsr() & ~0x3Fu) << 8;
#endif
  return controls;
}

// Whether a subnormal product survives on the calling thread.
bool KeepsSubnormals() {
  volatile float tiny = std::numeric_limits<float>::denorm_min();
  volatile float product = tiny * 2.0f;
  return product > 0.0f && tiny > 0.0f;
}

class FpModeTest : public IndexTest {};

TEST_F(FpModeTest, FloatingPointModeIsLeftAlone) {
  const unsigned before = Controls();
  ASSERT_TRUE(KeepsSubnormals());

  const vexa::ScratchDir folder;
  const std::string path = folder.Path("index");
  const std::unique_ptr<Tarvo> index = MakeReadyIndex(IndexParams{}, 1);
  SearchAll(*index, Queries(), 5, 4);
  std::unique_ptr<Tarvo> loaded;
  vexa::CapturedLines([&] {
    EXPECT_EQ(index->Save(path.c_str()), 0);
    loaded = std::make_unique<Tarvo>();
    EXPECT_EQ(loaded->Load(path.c_str()), 0);
  });
  SearchAll(*loaded, Queries(), 5, 1);

  EXPECT_EQ(Controls(), before);
  EXPECT_TRUE(KeepsSubnormals());
  std::vector<int> kept(4, 0);
#pragma omp parallel num_threads(4)
  kept[omp_get_thread_num()] = KeepsSubnormals() ? 1 : 0;
  EXPECT_EQ(kept, std::vector<int>(4, 1));
}

}  // namespace
}  // namespace tarvo_test
