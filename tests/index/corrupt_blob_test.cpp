// Blobs and index files with a field cut short or set to 0, -1, one past its limit or 2^31 are
// refused with -1, and the index that refuses one is left exactly as it was.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/index/index_test_support.h"
#include "tests/support/scratch_dir.h"

namespace tarvo_test {
namespace {

// A 4-byte field of a blob and the largest value its reader accepts. Any other value of a count
// moves or resizes what follows it; a node id may be changed to any node (and a neighbour to -1,
// which ends its row) and stay valid.
struct BlobField {
  std::string name;
  size_t offset;
  int64_t limit;
  int64_t lowestId = 1;  // an id field's lowest valid value; 1: a count

  bool Accepts(int64_t value) const { return lowestId <= 0 && value >= lowestId && value <= limit; }
};

int32_t IntAt(const std::vector<unsigned char>& blob, size_t offset) {
  int32_t value;
  std::memcpy(&value, blob.data() + offset, sizeof(value));
  return value;
}

// The count and id fields of a blob, in the order they are read, up to the searcher's dim.
std::vector<BlobField> FieldsOf(const std::vector<unsigned char>& blob) {
  const int64_t kMax = 1999999999;
  std::vector<BlobField> fields = {{"metric length", 0, 2}, {"quantizer length", 4, 4}};
  size_t at = 8 + IntAt(blob, 0) + IntAt(blob, 4);
  const int graphType = IntAt(blob, at);
  fields.push_back({"graphType", at, 1});
  const int nep = IntAt(blob, at + 4);
  fields.push_back({"nep", at + 4, kMax});
  at += 8;
  const int N = IntAt(blob, at + 4 * static_cast<size_t>(nep));
  if (nep > 0) fields.push_back({"first entry point", at, N - 1, 0});
  at += 4 * static_cast<size_t>(nep);
  const int K = IntAt(blob, at + 4);
  fields.push_back({"N", at, kMax});
  fields.push_back({"K", at + 4, kMax});
  at += 8;
  fields.push_back({"first neighbour", at, N - 1, -1});
  at += 4 * static_cast<size_t>(N) * K;
  fields.push_back({"true_order", at, N - 1});
  at += 4 * static_cast<size_t>(N);
  fields.push_back({"rev_order", at, N - 1});
  at += 4 * static_cast<size_t>(N);
  if (graphType == 1) {
    fields.push_back({"upper N", at, N});
    fields.push_back({"upper K", at + 4, kMax});
    fields.push_back({"upper ep", at + 8, N - 1, 0});
    at += 12;
    fields.push_back({"first list count", at, kMax});
    for (int i = 0; i < N; ++i) at += 4 + 4 * static_cast<size_t>(IntAt(blob, at));
  }
  fields.push_back({"dim", at, 2999});
  return fields;
}

class CorruptBlobTest : public IndexTest {
 protected:
  // What a refusal must leave as it was.
  struct Snapshot {
    bool graphBuilt;
    bool searcherBuilt;
    int nTotal;
    int dim;
    const int* neighbors;
    int N;
    const vexa::SearcherBase* searcher;
    int dataNum;

    bool operator==(const Snapshot& o) const {
      return graphBuilt == o.graphBuilt && searcherBuilt == o.searcherBuilt && nTotal == o.nTotal && dim == o.dim &&
             neighbors == o.neighbors && N == o.N && searcher == o.searcher && dataNum == o.dataNum;
    }
  };

  static Snapshot Take(Tarvo& index) {
    const TarvoImpl& r = TarvoTestAccess::Replica(index, 0);
    const vexa::BuilderState& b = BuilderOf(r);
    return {r.graphBuilt, r.searcherBuilt, r.nTotal, r.dim, b.graph.neighbors, b.graph.N, r.searcher.get(),
            TarvoTestAccess::DataNum(index)};
  }

  // Expects index to refuse blob, given to Deserialize and as an index file to Load, with -1 and
  // the failure line last, and to be left as it was.
  void ExpectRefused(Tarvo& index, const std::vector<unsigned char>& blob, const std::string& what) {
    const Snapshot before = Take(index);
    const Answers answers = SearchAll(index, Queries(), 5);
    const std::string path = folder_.Path("index");
    vexa::WriteFileBytes(path, std::string(blob.begin(), blob.end()));
    for (const bool file : {false, true}) {
      int result = 0;
      const std::vector<std::string> lines = vexa::CapturedLines([&] {
        const unsigned long length = blob.size();
        result = file ? index.Load(path.c_str()) : index.Deserialize(blob.data(), length);
      });
      EXPECT_EQ(result, -1) << what << (file ? " (file)" : "");
      ASSERT_FALSE(lines.empty()) << what;
      EXPECT_EQ(lines.back(),
                file ? "[ERROR] Try to load a invalid Index." : "[ERROR] Try to deserialize a invalid Index.")
          << what;
      EXPECT_TRUE(Take(index) == before) << what << (file ? " (file)" : "");
      EXPECT_TRUE(SearchAll(index, Queries(), 5) == answers) << what << (file ? " (file)" : "");
    }
  }

  vexa::ScratchDir folder_;
};

TEST_F(CorruptBlobTest, RefusesEveryBadFieldAndKeepsTheIndex) {
  IndexParams hnsw;
  hnsw.index_type = "HNSW";
  hnsw.metric = "IP";
  const std::unique_ptr<Tarvo> target = MakeReadyIndex(IndexParams{});
  const std::vector<unsigned char> blobs[] = {BlobOf(*MakeReadyIndex(IndexParams{}, 1)),
                                              BlobOf(*MakeReadyIndex(hnsw, 2))};
  for (const std::vector<unsigned char>& good : blobs) {
    ASSERT_FALSE(good.empty());
    for (const BlobField& field : FieldsOf(good)) {
      for (const int64_t value : {int64_t{0}, int64_t{-1}, field.limit + 1, int64_t{1} << 31}) {
        if (static_cast<int32_t>(value) == IntAt(good, field.offset) || field.Accepts(value)) continue;
        std::vector<unsigned char> bad = good;
        const auto stored = static_cast<int32_t>(static_cast<uint32_t>(value));
        std::memcpy(bad.data() + field.offset, &stored, sizeof(stored));
        ExpectRefused(*target, bad, field.name + " = " + std::to_string(value));
      }
      for (const size_t cut : {field.offset, field.offset + 2}) {
        if (cut == 0) continue;  // no blob at all: refused before it is read
        ExpectRefused(*target, std::vector<unsigned char>(good.begin(), good.begin() + cut),
                      field.name + " cut after " + std::to_string(cut) + " bytes");
      }
    }
    // The last field read, po, ends 4 bytes before the blob does.
    ExpectRefused(*target, std::vector<unsigned char>(good.begin(), good.end() - 5), "po cut");
  }
}

// The 4 zero bytes past the last field are not needed.
TEST_F(CorruptBlobTest, AcceptsABlobWithoutItsLastFourBytes) {
  const std::unique_ptr<Tarvo> saved = MakeReadyIndex(IndexParams{});
  std::vector<unsigned char> blob = BlobOf(*saved);
  blob.resize(blob.size() - 4);
  std::unique_ptr<Tarvo> loaded;
  vexa::CapturedLines([&] { loaded = std::make_unique<Tarvo>(); });
  const unsigned long length = blob.size();
  vexa::CapturedLines([&] { EXPECT_EQ(loaded->Deserialize(blob.data(), length), 0); });
  EXPECT_EQ(loaded->GetNTotal(), saved->GetNTotal());
}

// A name length is compared with the bytes left before any string is sized from it.
TEST_F(CorruptBlobTest, HugeNameLengthIsRefusedBeforeAnythingIsSized) {
  std::unique_ptr<Tarvo> index;
  vexa::CapturedLines([&] { index = std::make_unique<Tarvo>(); });
  const std::vector<unsigned char> blob = {0x00, 0x00, 0x00, 0x80, 0x02, 0x00, 0x00, 0x00, 'L', '2', 0, 0};
  int result = 0;
  const std::vector<std::string> lines = vexa::CapturedLines([&] {
    const unsigned long length = blob.size();
    result = index->Deserialize(blob.data(), length);
  });
  EXPECT_EQ(result, -1);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "Deserialize failed: dataLen[12] should be >= offset[8] + sizeBytes[2147483648].",
                       "[ERROR] Try to deserialize a invalid Index."}));
  EXPECT_FALSE(TarvoTestAccess::Replica(*index, 0).graphBuilt);
}

TEST_F(CorruptBlobTest, RefusesNoBlob) {
  std::unique_ptr<Tarvo> index;
  vexa::CapturedLines([&] { index = std::make_unique<Tarvo>(); });
  const unsigned char byte = 0;
  const unsigned long zero = 0;
  const unsigned long one = 1;
  EXPECT_EQ(Refusals([&] { EXPECT_EQ(index->Deserialize(nullptr, one), -1); }),
            std::vector<std::string>{"[ERROR] Input pointer to Deserialize is a nullptr."});
  EXPECT_EQ(Refusals([&] { EXPECT_EQ(index->Deserialize(&byte, zero), -1); }),
            std::vector<std::string>{"[ERROR] Input dataLength to Deserialize is 0."});
}

}  // namespace
}  // namespace tarvo_test
