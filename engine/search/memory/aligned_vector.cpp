#include "engine/search/memory/aligned_vector.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <utility>

namespace vexa {
namespace {

// Blocks above this many elements take the huge alignment.
constexpr size_t kSmallRuleElements = 16384;
// The largest element count an array of int32 may hold.
constexpr size_t kMaxElements = (size_t{1} << 61) - 1;

}  // namespace

AlignedVector::AlignedVector(const AlignedVector& other)
    : alignment(other.alignment), hugeAlignment(other.hugeAlignment) {
  const size_t n = other.size();
  if (n == 0) return;
  begin_ = AllocateBlock(n);
  end_ = capacity_end_ = begin_ + n;
  std::copy(other.begin_, other.end_, begin_);
}

AlignedVector::AlignedVector(AlignedVector&& other) noexcept
    : alignment(other.alignment),
      hugeAlignment(other.hugeAlignment),
      begin_(std::exchange(other.begin_, nullptr)),
      end_(std::exchange(other.end_, nullptr)),
      capacity_end_(std::exchange(other.capacity_end_, nullptr)) {}

AlignedVector& AlignedVector::operator=(AlignedVector&& other) noexcept {
  if (this != &other) {
    std::free(begin_);
    alignment = other.alignment;
    hugeAlignment = other.hugeAlignment;
    begin_ = std::exchange(other.begin_, nullptr);
    end_ = std::exchange(other.end_, nullptr);
    capacity_end_ = std::exchange(other.capacity_end_, nullptr);
  }
  return *this;
}

AlignedVector::~AlignedVector() { std::free(begin_); }

int* AlignedVector::AllocateBlock(size_t n) const {
  const size_t align = n > kSmallRuleElements ? hugeAlignment : alignment;
  const size_t size = (n * sizeof(int) + align - 1) / align * align;
  void* block = std::aligned_alloc(align, size);
  if (block == nullptr) throw std::bad_alloc();
  if (align == hugeAlignment) madvise(block, size, MADV_HUGEPAGE);
  return static_cast<int*>(block);
}

void AlignedVector::Assign(size_t n, const int& value) {
  if (n <= capacity()) {
    std::fill_n(begin_, n, value);
    end_ = begin_ + n;
    return;
  }
  if (n > kMaxElements) throw std::length_error("cannot create std::vector larger than max_size()");
  int* block = AllocateBlock(n);
  std::fill_n(block, n, value);
  std::free(begin_);
  begin_ = block;
  end_ = capacity_end_ = block + n;
}

}  // namespace vexa
