#ifndef TARVO_ENGINE_SEARCH_MEMORY_ALIGNED_VECTOR_H_
#define TARVO_ENGINE_SEARCH_MEMORY_ALIGNED_VECTOR_H_

#include <cstddef>
#include <cstdint>

namespace vexa {

// A growable array of int32 in aligned storage: the ids of one node's upper layers. Blocks of up
// to 16,384 elements are aligned to `alignment`; larger ones to `hugeAlignment`, with the
// transparent-huge-page hint. The storage is released with free().
class AlignedVector {
 public:
  AlignedVector() = default;
  // A deep copy in a block of exactly other.size() elements (no block when other is empty).
  AlignedVector(const AlignedVector& other);
  AlignedVector(AlignedVector&& other) noexcept;
  AlignedVector& operator=(const AlignedVector&) = delete;
  AlignedVector& operator=(AlignedVector&& other) noexcept;
  ~AlignedVector();

  // Replaces the content by n copies of value. Throws std::length_error beyond 2^61 - 1
  // elements and std::bad_alloc when no block can be had.
  void Assign(size_t n, const int& value);

  size_t size() const { return static_cast<size_t>(end_ - begin_); }
  size_t capacity() const { return static_cast<size_t>(capacity_end_ - begin_); }
  bool empty() const { return begin_ == end_; }
  int* data() { return begin_; }
  const int* data() const { return begin_; }
  int& operator[](size_t i) { return begin_[i]; }
  const int& operator[](size_t i) const { return begin_[i]; }
  const int* begin() const { return begin_; }
  const int* end() const { return end_; }

  // Alignment of blocks of up to 16,384 elements.
  uint64_t alignment = 64;
  // Alignment of larger blocks, which also get the huge-page hint.
  uint64_t hugeAlignment = 2097152;

 private:
  // A block for n elements by the storage rule; throws std::bad_alloc on failure.
  int* AllocateBlock(size_t n) const;

  int* begin_ = nullptr;         // owned; released with free()
  int* end_ = nullptr;
  int* capacity_end_ = nullptr;
};

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_MEMORY_ALIGNED_VECTOR_H_
