#ifndef TARVO_ENGINE_SEARCH_QUANT_DISTANCE_H_
#define TARVO_ENGINE_SEARCH_QUANT_DISTANCE_H_

#include <cstdint>

#include "engine/search/memory/half.h"

// Every distance of the engine. Smaller is closer: L2 forms give the squared Euclidean
// distance, IP forms the negated inner product. The float forms fix how their additions are
// grouped, so the single, four-code and batch forms may differ in the last bits for the same
// pair of vectors; the integer forms are exact sums in code units.
//
// The code kernels (all but DistanceFP32L2 and DistanceFP32IP) take d = the quantizer's padded
// length d_align, a multiple of 16 (FP32), 32 (FP16), 64 (SQ8) or 128 (SQ4) components, and read
// whole blocks only; the codes are zero after their last component. Each call is routed to the
// widest instruction set of the processor, chosen once; all give the same bits.
namespace vexa {

// A distance between two float vectors of d components; smaller is closer.
using DistanceFunction = float (*)(const float* a, const float* b, int d);

// Squared Euclidean distance of any length d >= 0.
float DistanceFP32L2(const float* a, const float* b, int d);
// Negated inner product of any length d >= 0.
float DistanceFP32IP(const float* a, const float* b, int d);

// The kernel that distance stands for on this processor, for a caller that computes many
// distances with it: for DistanceFP32L2 and DistanceFP32IP the kernel they route to (the same
// bits, without the routing on every call); any other function as it is.
DistanceFunction ResolveDistance(DistanceFunction distance);

// Distances of one vector a to each of count vectors: out[i] = distance(a, rows[i], d).
using DistanceManyFunction = void (*)(const float* a, const float* const* rows, int count, float* out, int d);

// DistanceFP32L2 of a with each of count vectors, bit for bit; computed several at a time, with
// the next vectors fetched while the current ones are summed.
void DistanceFP32L2Many(const float* a, const float* const* rows, int count, float* out, int d);
// DistanceFP32IP of a with each of count vectors, bit for bit, as DistanceFP32L2Many computes.
void DistanceFP32IPMany(const float* a, const float* const* rows, int count, float* out, int d);

// The kernel of the many-vector form of distance on this processor: for DistanceFP32L2 and
// DistanceFP32IP that of DistanceFP32L2Many and DistanceFP32IPMany; null for any other function,
// which has no such form.
DistanceManyFunction ResolveDistanceMany(DistanceFunction distance);

// DistanceFP32L2 of the query against four codes, over whole blocks of 16 components.
void DistanceFP32L2x4(const float* query, const float* c0, const float* c1, const float* c2,
                      const float* c3, float out[4], int d);
// DistanceFP32IP of the query against four codes, over whole blocks of 16 components.
void DistanceFP32IPx4(const float* query, const float* c0, const float* c1, const float* c2,
                      const float* c3, float out[4], int d);

// Squared distance of half-precision vectors, each difference rounded to half precision.
float DistanceFP16L2(const Half* query, const Half* code, int d);
// Negated inner product of half-precision vectors.
float DistanceFP16IP(const Half* query, const Half* code, int d);
// The four-code half-precision L2 form that the batch of sixteen applies to each quarter.
void DistanceFP16L2x4(const Half* query, const Half* c0, const Half* c1, const Half* c2,
                      const Half* c3, float out[4], int d);
// The four-code half-precision IP form that the batch of sixteen applies to each quarter.
void DistanceFP16IPx4(const Half* query, const Half* c0, const Half* c1, const Half* c2,
                      const Half* c3, float out[4], int d);

// Sum of squared differences of unsigned 8-bit codes.
int32_t DistanceSQ8L2(const uint8_t* query, const uint8_t* code, int d);
// DistanceSQ8L2 against four codes.
void DistanceSQ8L2x4(const uint8_t* query, const uint8_t* c0, const uint8_t* c1,
                     const uint8_t* c2, const uint8_t* c3, int32_t out[4], int d);
// Negated sum of products of signed 8-bit codes.
int32_t DistanceSQ8IP(const int8_t* query, const int8_t* code, int d);

// Sum of squared differences of unsigned 4-bit codes (two per byte, low nibble first).
int32_t DistanceSQ4L2(const uint8_t* query, const uint8_t* code, int d);
// DistanceSQ4L2 against four codes.
void DistanceSQ4L2x4(const uint8_t* query, const uint8_t* c0, const uint8_t* c1,
                     const uint8_t* c2, const uint8_t* c3, int32_t out[4], int d);
// Negated inner product of a query code (low nibble read as 0..15 minus 7, high nibble as a
// signed nibble) with a data code of unsigned nibbles. The arguments are not interchangeable.
int32_t DistanceSQ4IP(const uint8_t* query, const uint8_t* code, int d);
// DistanceSQ4IP against four data codes.
void DistanceSQ4IPx4(const uint8_t* query, const uint8_t* c0, const uint8_t* c1,
                     const uint8_t* c2, const uint8_t* c3, int32_t out[4], int d);

// Batches of sixteen: out[i] is the distance of the query to the code of ids[i], which starts
// ids[i] x code_size bytes after `codes`. The FP32, SQ8 L2 and SQ4 forms apply their four-code
// form to ids 0-3, 4-7, 8-11 and 12-15; the FP16 forms their four-code form likewise; the SQ8 IP
// form gives DistanceSQ8IP per id.

// DistanceFP32L2x4 on each quarter of the batch.
void DistanceFP32L2x16(const float* query, const uint8_t* codes, uint64_t code_size,
                       const int32_t ids[16], float out[16], int d);
// DistanceFP32IPx4 on each quarter of the batch.
void DistanceFP32IPx16(const float* query, const uint8_t* codes, uint64_t code_size,
                       const int32_t ids[16], float out[16], int d);
// DistanceFP16L2x4 on each quarter of the batch.
void DistanceFP16L2x16(const Half* query, const uint8_t* codes, uint64_t code_size,
                       const int32_t ids[16], float out[16], int d);
// DistanceFP16IPx4 on each quarter of the batch.
void DistanceFP16IPx16(const Half* query, const uint8_t* codes, uint64_t code_size,
                       const int32_t ids[16], float out[16], int d);
// DistanceSQ8L2x4 on each quarter of the batch.
void DistanceSQ8L2x16(const uint8_t* query, const uint8_t* codes, uint64_t code_size,
                      const int32_t ids[16], int32_t out[16], int d);
// DistanceSQ8IP per id, in steps of 16 bytes.
void DistanceSQ8IPx16(const int8_t* query, const uint8_t* codes, uint64_t code_size,
                      const int32_t ids[16], int32_t out[16], int d);
// DistanceSQ4L2x4 on each quarter of the batch.
void DistanceSQ4L2x16(const uint8_t* query, const uint8_t* codes, uint64_t code_size,
                      const int32_t ids[16], int32_t out[16], int d);
// DistanceSQ4IPx4 on each quarter of the batch.
void DistanceSQ4IPx16(const uint8_t* query, const uint8_t* codes, uint64_t code_size,
                      const int32_t ids[16], int32_t out[16], int d);

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_QUANT_DISTANCE_H_
