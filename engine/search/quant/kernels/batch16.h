#ifndef TARVO_ENGINE_SEARCH_QUANT_KERNELS_BATCH16_H_
#define TARVO_ENGINE_SEARCH_QUANT_KERNELS_BATCH16_H_

#include <cstdint>

// Batches of sixteen built from a kernel's four-code or single form. Every instruction-set file
// instantiates these with its own kernels; the helpers are internal to each file that includes
// them, so each copy is compiled for that file's instruction set only.
namespace vexa {
namespace {

// The code of `id` in an array of codes of code_size bytes each.
template <typename Code>
inline const Code* CodeOf(const uint8_t* codes, uint64_t code_size, int32_t id) {
  return reinterpret_cast<const Code*>(codes + static_cast<uint64_t>(id) * code_size);
}

// The four-code form on ids 0-3, 4-7, 8-11 and 12-15.
template <typename Query, typename Code, typename Out,
          void (*Four)(const Query*, const Code*, const Code*, const Code*, const Code*, Out*, int)>
void ByQuarters(const Query* query, const uint8_t* codes, uint64_t code_size,
                const int32_t ids[16], Out out[16], int d) {
  for (int k = 0; k < 16; k += 4) {
    Four(query, CodeOf<Code>(codes, code_size, ids[k]), CodeOf<Code>(codes, code_size, ids[k + 1]),
         CodeOf<Code>(codes, code_size, ids[k + 2]), CodeOf<Code>(codes, code_size, ids[k + 3]),
         out + k, d);
  }
}

// The single form per id.
template <typename Query, typename Out, Out (*One)(const Query*, const Query*, int)>
void ById(const Query* query, const uint8_t* codes, uint64_t code_size, const int32_t ids[16],
          Out out[16], int d) {
  for (int k = 0; k < 16; ++k) out[k] = One(query, CodeOf<Query>(codes, code_size, ids[k]), d);
}

}  // namespace
}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_QUANT_KERNELS_BATCH16_H_
