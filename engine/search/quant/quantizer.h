#ifndef TARVO_ENGINE_SEARCH_QUANT_QUANTIZER_H_
#define TARVO_ENGINE_SEARCH_QUANT_QUANTIZER_H_

#include <cstdint>
#include <cstdlib>
#include <new>
#include <type_traits>
#include <utility>

#include "engine/search/memory/alloc_aligned.h"
#include "engine/search/quant/code_shape.h"
#include "engine/search/memory/metric.h"

namespace vexa {

// A set of n codes of one quantizer family. The Codec is the family: its calibration members,
// how it learns them from the vectors and how it turns a vector or a query into a code. A Codec
// provides its CodecTraits, a default constructor (the state after construction; a Codec that
// needs the dimension also has a constructor from the CodeShape), Fit(rows, n, d) and
// EncodeVector(row, d, code). Queries are encoded like rows, unless the Codec has a convention of
// its own for them, EncodeQueryVector(query, d, code).
// Every code is code_size bytes, starts 64-byte aligned and is zero after its last component.
template <typename Codec>
class Quantizer : public CodeShape, public Codec {
 public:
  // An empty quantizer: dimension 0, no codes.
  Quantizer() = default;
  // A quantizer for dimension d with the calibration's values after construction and no codes.
  explicit Quantizer(int d) : CodeShape(d, Codec::kBlock, Codec::kCodeBits), Codec(CodecFor(*this)) {}
  Quantizer(const Quantizer&) = delete;
  Quantizer& operator=(const Quantizer&) = delete;
  // Takes over the codes and calibration; other is left empty (dimension 0, no codes).
  Quantizer(Quantizer&& other) noexcept
      : CodeShape(std::exchange(other.shape(), CodeShape())),
        Codec(std::move(other)),
        codes(std::exchange(other.codes, nullptr)) {}
  // Releases the codes held and takes over other's, as the move constructor does.
  Quantizer& operator=(Quantizer&& other) noexcept {
    if (this != &other) {
      std::free(codes);
      shape() = std::exchange(other.shape(), CodeShape());
      Codec::operator=(std::move(other));
      codes = std::exchange(other.codes, nullptr);
    }
    return *this;
  }
  // Frees the codes before the calibration members go.
  ~Quantizer() { std::free(codes); }

  // Learns the calibration from n rows of d floats that follow one another, and sets n.
  void Calibrate(const float* rows, int n) {
    this->n = n;
    this->Fit(rows, n, d);
  }

  // Replaces the codes by a zero-filled block of n x code_size bytes. Throws std::bad_alloc when
  // the block cannot be had.
  void AllocateCodes() {
    const uint64_t bytes = static_cast<uint64_t>(static_cast<int64_t>(n)) * code_size;
    void* block = AllocAligned(bytes);
    if (block == nullptr && bytes != 0) throw std::bad_alloc();
    std::free(codes);
    codes = static_cast<uint8_t*>(block);
  }

  // Writes the code of a row of d floats into a zero-filled code of code_size bytes.
  void EncodeRow(const float* row, uint8_t* code) const { this->EncodeVector(row, d, code); }

  // Writes the query code of d floats into a zero-filled buffer of code_size bytes.
  void EncodeQuery(const float* query, uint8_t* code) const {
    if constexpr (kOwnQueryConvention) {
      this->EncodeQueryVector(query, d, code);
    } else {
      this->EncodeVector(query, d, code);
    }
  }

  // The code of row id.
  const uint8_t* Code(int64_t id) const { return codes + id * static_cast<int64_t>(code_size); }

  uint8_t* codes = nullptr;  // n x code_size bytes from AllocAligned, owned, released with free()

 private:
  CodeShape& shape() { return *this; }

  template <typename C, typename = void>
  struct HasQueryConvention : std::false_type {};
  template <typename C>
  struct HasQueryConvention<C, std::void_t<decltype(&C::EncodeQueryVector)>> : std::true_type {};
  // Whether the Codec encodes queries differently from rows.
  static constexpr bool kOwnQueryConvention = HasQueryConvention<Codec>::value;

  // The Codec's state after construction for this shape.
  static Codec CodecFor(const CodeShape& shape) {
    if constexpr (std::is_constructible_v<Codec, const CodeShape&>) {
      return Codec(shape);
    } else {
      return Codec();
    }
  }
};

// Q when a quantizer named for metric kNamed is instantiated with kUsed; ill-formed otherwise.
template <Metric kUsed, Metric kNamed, typename Q>
using QuantizerFor = std::enable_if_t<kUsed == kNamed, Q>;

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_QUANT_QUANTIZER_H_
