#ifndef TARVO_ENGINE_SEARCH_MEMORY_BLOB_IO_H_
#define TARVO_ENGINE_SEARCH_MEMORY_BLOB_IO_H_

#include <cstddef>
#include <cstdint>

namespace vexa {

// Every field of an index blob moves through the functions below: they read or write at a running
// byte offset into a blob of dataLen bytes, check the bounds first, copy through the bounded copy
// in pieces of at most kBoundedCopyPieceBytes bytes, and advance the offset only on success. A
// failure prints one line and gives -1.

// The largest count, degree or node number that a blob or graph file may hold.
constexpr uint64_t kMaxBlobCount = 1999999999;
// The largest dimension that a blob or graph file may hold.
constexpr uint64_t kMaxDim = 2999;

// Writes sizeBytes bytes of src into data at *offset. Nothing to write succeeds at once.
int SerializeBytes(uint8_t* data, const void* src, size_t sizeBytes, size_t* offset, size_t dataLen);

// Reads sizeBytes bytes of data at *offset into dst. Nothing to read succeeds at once.
int DeserializeBytes(void* dst, const uint8_t* data, size_t sizeBytes, size_t* offset, size_t dataLen);

// 0 when the blob holds sizeBytes bytes from offset; otherwise prints the readers' bounds line
// and gives -1. Readers call it before they size storage from a count read from the blob.
int CheckDeserializeBounds(size_t sizeBytes, size_t offset, size_t dataLen);

// Prints the readers' refusal of a field: its name and the value read, sign-extended and
// printed unsigned (so -1 prints as 18446744073709551615).
void PrintInvalidNumber(const char* name, int64_t value);

// Writes one value at *offset; 0 or -1.
template <typename T>
int SerializeValue(uint8_t* data, const T* value, size_t* offset, size_t dataLen) {
  return SerializeBytes(data, value, sizeof(T), offset, dataLen);
}

// Reads one value at *offset; 0 or -1.
template <typename T>
int DeserializeValue(T* value, const uint8_t* data, size_t* offset, size_t dataLen) {
  return DeserializeBytes(value, data, sizeof(T), offset, dataLen);
}

// Writes sizeBytes bytes of the array src at *offset; 0 or -1.
template <typename T>
int SerializeArray(uint8_t* data, const T* src, size_t sizeBytes, size_t* offset, size_t dataLen) {
  return SerializeBytes(data, src, sizeBytes, offset, dataLen);
}

// Reads sizeBytes bytes at *offset into the array dst; 0 or -1.
template <typename T>
int DeserializeArray(T* dst, const uint8_t* data, size_t sizeBytes, size_t* offset, size_t dataLen) {
  return DeserializeBytes(dst, data, sizeBytes, offset, dataLen);
}

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_MEMORY_BLOB_IO_H_
