#include "engine/build/hnsw/safe_copy.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "engine/search/memory/bounded_copy.h"

namespace vexa {
namespace {

// Runs piece(offset, room, bytes) over n bytes in pieces of kBoundedCopyPieceBytes, where room is
// what is left of dstMax at offset (at most one piece; 0 once dstMax is used up). Throws with what
// and the code of the first piece that fails.
template <typename Piece>
void InPieces(size_t dstMax, size_t n, const char* what, Piece piece) {
  for (size_t offset = 0; offset < n; offset += kBoundedCopyPieceBytes) {
    const size_t room = dstMax > offset ? std::min(dstMax - offset, kBoundedCopyPieceBytes) : 0;
    const int code = piece(offset, room, std::min(n - offset, kBoundedCopyPieceBytes));
    if (code != 0) throw std::runtime_error(std::string(what) + std::to_string(code) + ".\n");
  }
}

}  // namespace

void SafeMemcpy(void* dst, size_t dstMax, const void* src, size_t n) {
  auto* out = static_cast<char*>(dst);
  const auto* in = static_cast<const char*>(src);
  InPieces(dstMax, n, "Memcpy failed, error = ", [&](size_t offset, size_t room, size_t bytes) {
    return memcpy_s(out == nullptr ? nullptr : out + offset, room, in == nullptr ? nullptr : in + offset, bytes);
  });
}

void SafeMemset(void* dst, size_t dstMax, int value, size_t n) {
  auto* out = static_cast<char*>(dst);
  InPieces(dstMax, n, "Memset failed, error = ", [&](size_t offset, size_t room, size_t bytes) {
    return memset_s(out == nullptr ? nullptr : out + offset, room, value, bytes);
  });
}

}  // namespace vexa
