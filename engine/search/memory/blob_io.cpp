#include "engine/search/memory/blob_io.h"

#include <algorithm>
#include <cstdio>

#include "engine/search/memory/bounded_copy.h"

namespace vexa {
namespace {

// Which way the bytes go between the blob and the caller's buffer.
enum class Direction { kWrite, kRead };

// Byte `offset` of a buffer; null for a null buffer, which the bounded copy then refuses.
template <typename Byte>
Byte* ByteAt(Byte* base, size_t offset) {
  return base == nullptr ? nullptr : base + offset;
}

// Whether the blob has sizeBytes bytes from offset on (without overflowing offset + sizeBytes).
bool BlobHolds(size_t sizeBytes, size_t offset, size_t dataLen) {
  return offset <= dataLen && sizeBytes <= dataLen - offset;
}

// Prints the bounds line of the writer or the reader.
void PrintBoundsFailure(Direction direction, size_t sizeBytes, size_t offset, size_t dataLen) {
  std::printf(direction == Direction::kWrite
                  ? "Serialize failed: dataLen[%zu] should be >= offset[%zu] + sizeBytes[%zu].\n"
                  : "Deserialize failed: dataLen[%zu] should be >= offset[%zu] + sizeBytes[%zu].\n",
              dataLen, offset, sizeBytes);
}

// Moves sizeBytes bytes between the blob at *offset and the caller's buffer, piece by piece.
// The destination size given to each copy is the room the destination really has: what is left
// of the blob (at most one piece) when writing, and the piece itself when reading, so that a
// copy that clears its destination on failure never clears past the caller's buffer.
int MoveBytes(Direction direction, uint8_t* dst, const uint8_t* src, size_t sizeBytes, size_t* offset,
              size_t dataLen) {
  const bool writing = direction == Direction::kWrite;
  if (sizeBytes == 0) return 0;
  if (!BlobHolds(sizeBytes, *offset, dataLen)) {
    PrintBoundsFailure(direction, sizeBytes, *offset, dataLen);
    return -1;
  }
  for (size_t done = 0; done < sizeBytes;) {
    const size_t piece = std::min(sizeBytes - done, kBoundedCopyPieceBytes);
    const size_t blob_pos = *offset + done;
    const int error =
        writing ? memcpy_s(ByteAt(dst, blob_pos), std::min(dataLen - blob_pos, kBoundedCopyPieceBytes),
                           ByteAt(src, done), piece)
                : memcpy_s(ByteAt(dst, done), piece, ByteAt(src, blob_pos), piece);
    if (error != 0) {
      std::printf(
          writing ? "Serialize failed, memcpy error = %d.\n" : "Deserialize failed, memcpy error = %d.\n",
          error);
      return -1;
    }
    done += piece;
  }
  *offset += sizeBytes;
  return 0;
}

}  // namespace

int SerializeBytes(uint8_t* data, const void* src, size_t sizeBytes, size_t* offset, size_t dataLen) {
  return MoveBytes(Direction::kWrite, data, static_cast<const uint8_t*>(src), sizeBytes, offset, dataLen);
}

int DeserializeBytes(void* dst, const uint8_t* data, size_t sizeBytes, size_t* offset, size_t dataLen) {
  return MoveBytes(Direction::kRead, static_cast<uint8_t*>(dst), data, sizeBytes, offset, dataLen);
}

int CheckDeserializeBounds(size_t sizeBytes, size_t offset, size_t dataLen) {
  if (BlobHolds(sizeBytes, offset, dataLen)) return 0;
  PrintBoundsFailure(Direction::kRead, sizeBytes, offset, dataLen);
  return -1;
}

void PrintInvalidNumber(const char* name, int64_t value) {
  std::printf("Invalid number of %s : %lu.\n", name, static_cast<unsigned long>(value));
}

}  // namespace vexa
