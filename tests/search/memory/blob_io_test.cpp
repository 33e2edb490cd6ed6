#include "engine/search/memory/blob_io.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "engine/search/memory/bounded_copy.h"
#include "tests/support/captured_stdout.h"

namespace vexa {
namespace {

TEST(BlobValues, RoundTripAtARunningOffset) {
  uint8_t blob[12] = {};
  size_t offset = 0;
  const int32_t i = 0x01020304;
  const uint32_t u = 0xFFFFFFFEu;
  const float f = -2.5f;
  ASSERT_EQ(SerializeValue(blob, &i, &offset, sizeof(blob)), 0);
  ASSERT_EQ(SerializeValue(blob, &u, &offset, sizeof(blob)), 0);
  ASSERT_EQ(SerializeValue(blob, &f, &offset, sizeof(blob)), 0);
  EXPECT_EQ(offset, 12u);
  EXPECT_EQ(blob[0], 0x04);  // native little-endian, no padding
  EXPECT_EQ(blob[3], 0x01);

  int32_t i2 = 0;
  uint32_t u2 = 0;
  float f2 = 0;
  offset = 0;
  ASSERT_EQ(DeserializeValue(&i2, blob, &offset, sizeof(blob)), 0);
  ASSERT_EQ(DeserializeValue(&u2, blob, &offset, sizeof(blob)), 0);
  ASSERT_EQ(DeserializeValue(&f2, blob, &offset, sizeof(blob)), 0);
  EXPECT_EQ(offset, 12u);
  EXPECT_EQ(i2, i);
  EXPECT_EQ(u2, u);
  EXPECT_EQ(f2, f);
}

TEST(BlobArrays, RoundTripByBytesWhateverTheElementType) {
  const std::vector<int32_t> ids = {7, -1, 3};
  std::vector<uint8_t> blob(4 + 12);
  size_t offset = 4;
  ASSERT_EQ(SerializeArray(blob.data(), ids.data(), 12, &offset, blob.size()), 0);
  EXPECT_EQ(offset, 16u);
  std::vector<int32_t> back(3);
  offset = 4;
  ASSERT_EQ(DeserializeArray(back.data(), blob.data(), 12, &offset, blob.size()), 0);
  EXPECT_EQ(back, ids);
  std::vector<uint8_t> bytes(12);
  offset = 4;
  ASSERT_EQ(DeserializeArray(bytes.data(), blob.data(), 12, &offset, blob.size()), 0);
  EXPECT_EQ(bytes[4], 0xFF);
}

enum class Call { kSerializeValue, kDeserializeValue, kSerializeArray, kDeserializeArray };

struct BoundsCase {
  std::string name;
  Call call;
  size_t sizeBytes;  // arrays only; a value moves 4 bytes
  size_t offset;
  size_t dataLen;
  std::string printed;  // empty when the call succeeds
};

void PrintTo(const BoundsCase& c, std::ostream* os) { *os << c.name; }

class BlobBoundsTest : public testing::TestWithParam<BoundsCase> {};

TEST_P(BlobBoundsTest, RefusesWhatTheBlobCannotHold) {
  const BoundsCase& c = GetParam();
  std::vector<uint8_t> blob(32, 0xEE);
  std::vector<uint8_t> buffer(32, 0x11);
  size_t offset = c.offset;
  int rc = 0;
  const std::string printed = CapturedStdout([&] {
    switch (c.call) {
      case Call::kSerializeValue:
        rc = SerializeValue(blob.data(), reinterpret_cast<const int32_t*>(buffer.data()), &offset, c.dataLen);
        break;
      case Call::kDeserializeValue:
        rc = DeserializeValue(reinterpret_cast<int32_t*>(buffer.data()), blob.data(), &offset, c.dataLen);
        break;
      case Call::kSerializeArray:
        rc = SerializeArray(blob.data(), buffer.data(), c.sizeBytes, &offset, c.dataLen);
        break;
      case Call::kDeserializeArray:
        rc = DeserializeArray(buffer.data(), blob.data(), c.sizeBytes, &offset, c.dataLen);
        break;
    }
  });
  EXPECT_EQ(printed, c.printed);
  const bool value = c.call == Call::kSerializeValue || c.call == Call::kDeserializeValue;
  if (c.printed.empty()) {
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(offset, c.offset + (value ? 4 : c.sizeBytes));
  } else {
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(offset, c.offset);
    EXPECT_EQ(blob, std::vector<uint8_t>(32, 0xEE));
    EXPECT_EQ(buffer, std::vector<uint8_t>(32, 0x11));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BlobBoundsTest,
    testing::Values(
        BoundsCase{"ValueWriteEndingAtTheEnd", Call::kSerializeValue, 0, 4, 8, ""},
        BoundsCase{"ValueWriteOneByteShort", Call::kSerializeValue, 0, 4, 7,
                   "Serialize failed: dataLen[7] should be >= offset[4] + sizeBytes[4].\n"},
        BoundsCase{"ValueReadEndingAtTheEnd", Call::kDeserializeValue, 0, 4, 8, ""},
        BoundsCase{"ValueReadOneByteShort", Call::kDeserializeValue, 0, 4, 7,
                   "Deserialize failed: dataLen[7] should be >= offset[4] + sizeBytes[4].\n"},
        BoundsCase{"ValueReadPastTheEnd", Call::kDeserializeValue, 0, 9, 8,
                   "Deserialize failed: dataLen[8] should be >= offset[9] + sizeBytes[4].\n"},
        BoundsCase{
            "ValueReadAtAnOffsetThatWouldWrap", Call::kDeserializeValue, 0, SIZE_MAX - 1, 8,
            "Deserialize failed: dataLen[8] should be >= offset[18446744073709551614] + sizeBytes[4].\n"},
        BoundsCase{"ArrayWriteEndingAtTheEnd", Call::kSerializeArray, 12, 4, 16, ""},
        BoundsCase{"ArrayWriteOneByteShort", Call::kSerializeArray, 12, 4, 15,
                   "Serialize failed: dataLen[15] should be >= offset[4] + sizeBytes[12].\n"},
        BoundsCase{"ArrayReadEndingAtTheEnd", Call::kDeserializeArray, 12, 4, 16, ""},
        BoundsCase{"ArrayReadOneByteShort", Call::kDeserializeArray, 12, 4, 15,
                   "Deserialize failed: dataLen[15] should be >= offset[4] + sizeBytes[12].\n"},
        BoundsCase{
            "ArrayReadOfASizeThatWouldWrap", Call::kDeserializeArray, SIZE_MAX - 2, 4, 16,
            "Deserialize failed: dataLen[16] should be >= offset[4] + sizeBytes[18446744073709551613].\n"},
        BoundsCase{"EmptyArrayWritePastTheEnd", Call::kSerializeArray, 0, 100, 8, ""},
        BoundsCase{"EmptyArrayReadPastTheEnd", Call::kDeserializeArray, 0, 100, 8, ""}),
    [](const testing::TestParamInfo<BoundsCase>& info) { return info.param.name; });

TEST(BlobCopyErrors, NullBlobOnWrite) {
  const int32_t value = 5;
  size_t offset = 0;
  int rc = 0;
  EXPECT_EQ(CapturedStdout([&] { rc = SerializeValue(nullptr, &value, &offset, 16); }),
            "Serialize failed, memcpy error = 22.\n");
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(offset, 0u);
}

TEST(BlobCopyErrors, NullSourceOnWriteClearsTheRestOfTheBlob) {
  std::vector<uint8_t> blob(16, 0xEE);
  size_t offset = 4;
  int rc = 0;
  EXPECT_EQ(CapturedStdout([&] {
              rc = SerializeArray(blob.data(), static_cast<const int32_t*>(nullptr), 8, &offset, blob.size());
            }),
            "Serialize failed, memcpy error = 150.\n");
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(offset, 4u);
  EXPECT_EQ(blob, (std::vector<uint8_t>{0xEE, 0xEE, 0xEE, 0xEE, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(BlobCopyErrors, NullDestinationOnRead) {
  const uint8_t blob[4] = {1, 2, 3, 4};
  size_t offset = 0;
  int rc = 0;
  EXPECT_EQ(CapturedStdout([&] { rc = DeserializeValue(static_cast<int32_t*>(nullptr), blob, &offset, 4); }),
            "Deserialize failed, memcpy error = 22.\n");
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(offset, 0u);
}

// A read from a null blob that claims a megabyte clears the value it reads into, and nothing
// beyond it (the sanitizer build would report a write past the heap block).
TEST(BlobCopyErrors, NullBlobOnReadClearsOnlyTheDestination) {
  auto value = std::make_unique<int32_t>(7);
  size_t offset = 0;
  int rc = 0;
  EXPECT_EQ(CapturedStdout([&] { rc = DeserializeValue(value.get(), nullptr, &offset, size_t{1} << 20); }),
            "Deserialize failed, memcpy error = 150.\n");
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(*value, 0);

  std::vector<int32_t> ids = {1, 2, 3};
  EXPECT_EQ(CapturedStdout([&] { rc = DeserializeArray(ids.data(), nullptr, 12, &offset, size_t{1} << 20); }),
            "Deserialize failed, memcpy error = 150.\n");
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(ids, (std::vector<int32_t>{0, 0, 0}));
  EXPECT_EQ(offset, 0u);
}

TEST(BlobCopyErrors, OverlapOnReadClearsOnlyTheDestination) {
  std::vector<uint8_t> buffer = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  size_t offset = 0;
  int rc = 0;
  EXPECT_EQ(CapturedStdout([&] { rc = DeserializeArray(buffer.data() + 2, buffer.data(), 8, &offset, 16); }),
            "Deserialize failed, memcpy error = 182.\n");
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(buffer, (std::vector<uint8_t>{1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 11, 12, 13, 14, 15, 16}));
}

TEST(BlobCopyErrors, OverlapOnWriteClearsTheRestOfTheBlob) {
  std::vector<uint8_t> buffer = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  size_t offset = 0;
  int rc = 0;
  EXPECT_EQ(CapturedStdout([&] { rc = SerializeArray(buffer.data(), buffer.data() + 2, 8, &offset, 16); }),
            "Serialize failed, memcpy error = 182.\n");
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(buffer, std::vector<uint8_t>(16, 0));
}

// An anonymous mapping that reads as zeros and takes memory only where it is written, for the
// arrays of more than one bounded-copy piece.
class MappedBytes {
 public:
  explicit MappedBytes(size_t size) : size_(size) {
    void* block =
        mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    data_ = block == MAP_FAILED ? nullptr : static_cast<uint8_t*>(block);
  }
  MappedBytes(const MappedBytes&) = delete;
  MappedBytes& operator=(const MappedBytes&) = delete;
  ~MappedBytes() {
    if (data_ != nullptr) munmap(data_, size_);
  }

  uint8_t* data() const { return data_; }

 private:
  size_t size_;
  uint8_t* data_;  // owned mapping, or null when it could not be made
};

// Arrays of exactly one bounded-copy piece and of one piece and a 4-byte remainder, behind an
// 8-byte offset in a blob that ends where the array ends: marks on both sides of the piece
// boundary land where they belong, and no empty copy follows a last full piece.
constexpr size_t kTwoPieces = kBoundedCopyPieceBytes + 4;
constexpr size_t kMarked[] = {0, kBoundedCopyPieceBytes - 1, kBoundedCopyPieceBytes, kTwoPieces - 1};
constexpr size_t kPieceSizes[] = {kBoundedCopyPieceBytes, kTwoPieces};

TEST(BlobArrays, WriteMovesFullPiecesAndTheRemainder) {
  for (size_t bytes : kPieceSizes) {
    MappedBytes source(bytes);
    MappedBytes blob(8 + bytes);
    ASSERT_NE(source.data(), nullptr);
    ASSERT_NE(blob.data(), nullptr);
    for (size_t i = 0; i < 4 && kMarked[i] < bytes; ++i) source.data()[kMarked[i]] = static_cast<uint8_t>(i + 1);
    size_t offset = 8;
    ASSERT_EQ(SerializeArray(blob.data(), source.data(), bytes, &offset, 8 + bytes), 0) << bytes;
    EXPECT_EQ(offset, 8 + bytes);
    for (size_t i = 0; i < 4 && kMarked[i] < bytes; ++i) EXPECT_EQ(blob.data()[8 + kMarked[i]], i + 1) << kMarked[i];
    EXPECT_EQ(blob.data()[7], 0);
  }
}

TEST(BlobArrays, ReadMovesFullPiecesAndTheRemainder) {
  for (size_t bytes : kPieceSizes) {
    MappedBytes blob(8 + bytes);
    MappedBytes target(bytes);
    ASSERT_NE(blob.data(), nullptr);
    ASSERT_NE(target.data(), nullptr);
    for (size_t i = 0; i < 4 && kMarked[i] < bytes; ++i) blob.data()[8 + kMarked[i]] = static_cast<uint8_t>(i + 1);
    size_t offset = 8;
    ASSERT_EQ(DeserializeArray(target.data(), blob.data(), bytes, &offset, 8 + bytes), 0) << bytes;
    EXPECT_EQ(offset, 8 + bytes);
    for (size_t i = 0; i < 4 && kMarked[i] < bytes; ++i) EXPECT_EQ(target.data()[kMarked[i]], i + 1) << kMarked[i];
  }
}

TEST(BlobRefusals, PrintTheValueSignExtendedAndUnsigned) {
  EXPECT_EQ(CapturedStdout([] { PrintInvalidNumber("graphType", -1); }),
            "Invalid number of graphType : 18446744073709551615.\n");
  EXPECT_EQ(CapturedStdout([] { PrintInvalidNumber("N * K", 2000000000); }),
            "Invalid number of N * K : 2000000000.\n");
  EXPECT_EQ(CapturedStdout([] { EXPECT_EQ(CheckDeserializeBounds(4, 4, 8), 0); }), "");
}

}  // namespace
}  // namespace vexa
