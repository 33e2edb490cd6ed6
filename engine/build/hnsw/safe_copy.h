#ifndef TARVO_ENGINE_BUILD_HNSW_SAFE_COPY_H_
#define TARVO_ENGINE_BUILD_HNSW_SAFE_COPY_H_

#include <cstddef>

namespace vexa {

// Copies n bytes from src to dst, which has room for dstMax bytes, through the bounded copy in
// pieces of at most 0x7ffffff8 bytes. Throws std::runtime_error("Memcpy failed, error = <code>.\n")
// with the code of the first piece that fails. n = 0 does nothing.
void SafeMemcpy(void* dst, size_t dstMax, const void* src, size_t n);

// Fills n bytes of dst, which has room for dstMax bytes, with value, in pieces like SafeMemcpy.
// Serves byte buffers and 16-bit buffers alike (sizes in bytes). Throws
// std::runtime_error("Memset failed, error = <code>.\n") on the first failing piece.
void SafeMemset(void* dst, size_t dstMax, int value, size_t n);

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_HNSW_SAFE_COPY_H_
