// Blobs, index files and graph files of a few bytes (or a few MiB) that claim huge names, node
// counts or codes are refused before anything is sized from the claim, and a graph file whose
// chunks are far larger than its rows sizes only its rows: the memory that a load takes stays
// within a small multiple of its input.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/index/index_test_support.h"
#include "tests/support/peak_resident.h"
#include "tests/support/scratch_dir.h"

namespace tarvo_test {
namespace {

using Words = std::vector<int32_t>;

// Bytes of little-endian words.
std::string Bytes(const Words& words) {
  std::string bytes(words.size() * 4, '\0');
  if (!words.empty()) std::memcpy(bytes.data(), words.data(), bytes.size());
  return bytes;
}

Words operator+(Words a, const Words& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The identity order of n nodes.
Words Identity(int n) {
  Words order(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) order[i] = i;
  return order;
}

// A graph section without entry points or slots: n nodes of degree 0, identity orders.
Words BareSection(int n) {
  Words words = {0, 0, n, 0};
  const Words order = Identity(n);
  words.insert(words.end(), order.begin(), order.end());
  words.insert(words.end(), order.begin(), order.end());
  return words;
}

// A blob: the two name lengths (as given), the names, then the words.
std::string Blob(uint32_t metric_length, uint32_t quant_length, const std::string& names, const Words& words) {
  return Bytes({static_cast<int32_t>(metric_length), static_cast<int32_t>(quant_length)}) + names + Bytes(words);
}

// The peak of resident memory that body added, in KiB.
template <typename Body>
long PeakGrowthKiB(Body&& body) {
  const long before = vexa::PeakResidentKiB();
  body();
  return vexa::PeakResidentKiB() - before;
}

class TarvoLimits : public IndexTest {};

constexpr long kSmallKiB = 64 * 1024;

struct Claim {
  const char* name;
  std::string blob;
  const char* claimed_bytes;  // what the bounded read that refuses the claim was asked for
};

// Whether one of lines is the bounded read's refusal of `bytes` bytes.
bool RefusedRead(const std::vector<std::string>& lines, const std::string& bytes) {
  for (const std::string& line : lines) {
    if (line.rfind("Deserialize failed: dataLen[", 0) == 0 && line.find("sizeBytes[" + bytes + "].") != std::string::npos) {
      return true;
    }
  }
  return false;
}

std::vector<Claim> Claims() {
  const Words nodes = BareSection(1 << 18);  // 2 MiB of orders
  return {
      {"MetricNameOf2GiB", Blob(0x7fffffff, 4, "L2FP32", BareSection(1)), "2147483647"},
      {"QuantNameOf2GiB", Blob(2, 0x7fffffff, "L2FP32", BareSection(1)), "2147483647"},
      {"MetricNameOver2GiB", Blob(0x80000000u, 4, "L2FP32", BareSection(1)), "2147483648"},
      {"QuantNameOf4GiB", Blob(2, 0xffffffffu, "L2FP32", BareSection(1)), "4294967295"},
      {"EntryPoints", Blob(2, 4, "L2FP32", {0, 1999999999}), "7999999996"},
      {"Nodes", Blob(2, 4, "L2FP32", {0, 0, 1999999999, 0}), "7999999996"},
      {"Slots", Blob(2, 4, "L2FP32", {0, 0, 1999999999, 1}), "7999999996"},
      // 2^18 nodes whose codes of 2999 dimensions would take 3 GB.
      {"CodesOfLargeDim", Blob(2, 4, "L2FP32", nodes + Words{2999}), "3154116608"},
  };
}

TEST_F(TarvoLimits, ShortBlobClaimingMuchSizesNothing) {
  for (const Claim& claim : Claims()) {
    const std::unique_ptr<Tarvo> index = MakeEmptyIndex();
    int rc = 0;
    std::vector<std::string> lines;
    const unsigned long length = claim.blob.size();
    const long growth = PeakGrowthKiB([&] {
      lines = vexa::CapturedLines(
          [&] { rc = index->Deserialize(reinterpret_cast<const unsigned char*>(claim.blob.data()), length); });
    });
    EXPECT_EQ(rc, -1) << claim.name;
    EXPECT_TRUE(RefusedRead(lines, claim.claimed_bytes)) << claim.name;
    EXPECT_LT(growth, kSmallKiB) << claim.name;
  }
}

TEST_F(TarvoLimits, ShortIndexFileClaimingMuchSizesNothing) {
  vexa::ScratchDir dir;
  for (const Claim& claim : Claims()) {
    const std::string path = dir.Path(claim.name);
    vexa::WriteFileBytes(path, claim.blob);
    const std::unique_ptr<Tarvo> index = MakeEmptyIndex();
    int rc = 0;
    std::vector<std::string> lines;
    const long growth = PeakGrowthKiB([&] { lines = vexa::CapturedLines([&] { rc = index->Load(path.c_str()); }); });
    EXPECT_EQ(rc, -1) << claim.name;
    EXPECT_TRUE(RefusedRead(lines, claim.claimed_bytes)) << claim.name;
    EXPECT_LT(growth, kSmallKiB) << claim.name;
  }
}

// One row of 2999 floats in chunks of 2^31 rows: the index holds the row, not the chunk.
TEST_F(TarvoLimits, GraphFileOfFewRowsInHugeChunksSizesOnlyTheRows) {
  std::string file = Bytes({2999, 31, 1});
  file += '\1';  // L2
  file += Bytes({0, 1, 0, 1, 0, 0, 0});  // graph_type 0, one entry point 0, N 1, K 0, both orders
  file += std::string(2999 * sizeof(float), '\0');
  vexa::ScratchDir dir;
  const std::string path = dir.Path("graph");
  vexa::WriteFileBytes(path, file);
  for (int level = 0; level < 4; ++level) {
    const std::unique_ptr<Tarvo> index = MakeEmptyIndex();
    int rc = -1;
    const long growth =
        PeakGrowthKiB([&] { vexa::CapturedLines([&] { rc = index->LoadGraph(path.c_str(), level); }); });
    EXPECT_EQ(rc, 0) << level;
    EXPECT_EQ(index->GetNTotal(), 1);
    EXPECT_LT(growth, kSmallKiB) << level;
  }
}

}  // namespace
}  // namespace tarvo_test
