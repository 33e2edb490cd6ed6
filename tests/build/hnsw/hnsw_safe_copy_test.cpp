#include "engine/build/hnsw/safe_copy.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace vexa {
namespace {

// Runs call and gives the text of the std::runtime_error it throws, or "" when it returns.
template <typename Call>
std::string FailureText(Call call) {
  try {
    call();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "";
}

// More than three pieces of the bounded copy.
constexpr size_t kSeveralPieces = size_t{3} * 0x7ffffff8 + 5;

TEST(SafeMemcpy, CopiesOrThrowsWithTheCodeOfTheFirstFailingPiece) {
  const std::vector<char> src = {1, 2, 3, 4, 5, 6, 7, 8};
  struct Case {
    const char* name;
    bool null_dst;
    bool null_src;
    size_t dst_max;
    size_t n;
    const char* text;
  };
  const Case cases[] = {
      {"copy", false, false, 8, 8, ""},
      {"nothing to copy", true, true, 0, 0, ""},
      {"null destination", true, false, 8, 8, "Memcpy failed, error = 22.\n"},
      {"null source", false, true, 8, 8, "Memcpy failed, error = 150.\n"},
      {"too long", false, false, 4, 8, "Memcpy failed, error = 162.\n"},
      {"several pieces into a small destination", false, false, 8, kSeveralPieces, "Memcpy failed, error = 162.\n"},
  };
  for (const Case& c : cases) {
    std::vector<char> dst(8, 9);
    const std::string text = FailureText([&] {
      SafeMemcpy(c.null_dst ? nullptr : dst.data(), c.dst_max, c.null_src ? nullptr : src.data(), c.n);
    });
    EXPECT_EQ(text, c.text) << c.name;
    if (text.empty() && c.n == 8) {
      EXPECT_EQ(dst, src) << c.name;
    }
  }
}

TEST(SafeMemcpy, OverlapThrowsAndClearsTheDestination) {
  std::vector<char> buffer = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(FailureText([&] { SafeMemcpy(buffer.data() + 2, 6, buffer.data(), 4); }),
            "Memcpy failed, error = 182.\n");
  EXPECT_EQ(buffer, (std::vector<char>{1, 2, 0, 0, 0, 0, 0, 0}));
}

TEST(SafeMemset, FillsByteAndSixteenBitBuffersOrThrows) {
  std::vector<uint16_t> marks(6, 7);
  SafeMemset(marks.data(), marks.size() * 2, 0, marks.size() * 2);
  EXPECT_EQ(marks, std::vector<uint16_t>(6, 0));

  std::vector<char> bytes(8, 0);
  EXPECT_EQ(FailureText([&] { SafeMemset(nullptr, 8, 1, 8); }), "Memset failed, error = 22.\n");
  EXPECT_EQ(FailureText([&] { SafeMemset(bytes.data(), 8, 1, 0); }), "");
  EXPECT_EQ(bytes, std::vector<char>(8, 0));
  // A fill longer than the destination fills all of it, then throws.
  EXPECT_EQ(FailureText([&] { SafeMemset(bytes.data(), 8, 1, kSeveralPieces); }), "Memset failed, error = 162.\n");
  EXPECT_EQ(bytes, std::vector<char>(8, 1));
}

}  // namespace
}  // namespace vexa
