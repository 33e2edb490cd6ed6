#include "engine/search/quant/distance.h"

#include "engine/search/quant/kernels/kernel_table.h"

namespace vexa {

float DistanceFP32L2(const float* a, const float* b, int d) { return ActiveKernels().fp32_l2(a, b, d); }

float DistanceFP32IP(const float* a, const float* b, int d) { return ActiveKernels().fp32_ip(a, b, d); }

DistanceFunction ResolveDistance(DistanceFunction distance) {
  if (distance == DistanceFP32L2) return ActiveKernels().fp32_l2;
  if (distance == DistanceFP32IP) return ActiveKernels().fp32_ip;
  return distance;
}

void DistanceFP32L2Many(const float* a, const float* const* rows, int count, float* out, int d) {
  ActiveKernels().fp32_l2_many(a, rows, count, out, d);
}

void DistanceFP32IPMany(const float* a, const float* const* rows, int count, float* out, int d) {
  ActiveKernels().fp32_ip_many(a, rows, count, out, d);
}

DistanceManyFunction ResolveDistanceMany(DistanceFunction distance) {
  if (distance == DistanceFP32L2) return ActiveKernels().fp32_l2_many;
  if (distance == DistanceFP32IP) return ActiveKernels().fp32_ip_many;
  return nullptr;
}

void DistanceFP32L2x4(const float* query, const float* c0, const float* c1, const float* c2,
                      const float* c3, float out[4], int d) {
  ActiveKernels().fp32_l2_x4(query, c0, c1, c2, c3, out, d);
}

void DistanceFP32IPx4(const float* query, const float* c0, const float* c1, const float* c2,
                      const float* c3, float out[4], int d) {
  ActiveKernels().fp32_ip_x4(query, c0, c1, c2, c3, out, d);
}

float DistanceFP16L2(const Half* query, const Half* code, int d) {
  return ActiveKernels().fp16_l2(query, code, d);
}

float DistanceFP16IP(const Half* query, const Half* code, int d) {
  return ActiveKernels().fp16_ip(query, code, d);
}

void DistanceFP16L2x4(const Half* query, const Half* c0, const Half* c1, const Half* c2,
                      const Half* c3, float out[4], int d) {
  ActiveKernels().fp16_l2_x4(query, c0, c1, c2, c3, out, d);
}

void DistanceFP16IPx4(const Half* query, const Half* c0, const Half* c1, const Half* c2,
                      const Half* c3, float out[4], int d) {
  ActiveKernels().fp16_ip_x4(query, c0, c1, c2, c3, out, d);
}

int32_t DistanceSQ8L2(const uint8_t* query, const uint8_t* code, int d) {
  return ActiveKernels().sq8_l2(query, code, d);
}

void DistanceSQ8L2x4(const uint8_t* query, const uint8_t* c0, const uint8_t* c1,
                     const uint8_t* c2, const uint8_t* c3, int32_t out[4], int d) {
  ActiveKernels().sq8_l2_x4(query, c0, c1, c2, c3, out, d);
}

int32_t DistanceSQ8IP(const int8_t* query, const int8_t* code, int d) {
  return ActiveKernels().sq8_ip(query, code, d);
}

int32_t DistanceSQ4L2(const uint8_t* query, const uint8_t* code, int d) {
  return ActiveKernels().sq4_l2(query, code, d);
}

void DistanceSQ4L2x4(const uint8_t* query, const uint8_t* c0, const uint8_t* c1,
                     const uint8_t* c2, const uint8_t* c3, int32_t out[4], int d) {
  ActiveKernels().sq4_l2_x4(query, c0, c1, c2, c3, out, d);
}

int32_t DistanceSQ4IP(const uint8_t* query, const uint8_t* code, int d) {
  return ActiveKernels().sq4_ip(query, code, d);
}

void DistanceSQ4IPx4(const uint8_t* query, const uint8_t* c0, const uint8_t* c1,
                     const uint8_t* c2, const uint8_t* c3, int32_t out[4], int d) {
  ActiveKernels().sq4_ip_x4(query, c0, c1, c2, c3, out, d);
}

void DistanceFP32L2x16(const float* query, const uint8_t* codes, uint64_t code_size,
                       const int32_t ids[16], float out[16], int d) {
  ActiveKernels().fp32_l2_x16(query, codes, code_size, ids, out, d);
}

void DistanceFP32IPx16(const float* query, const uint8_t* codes, uint64_t code_size,
                       const int32_t ids[16], float out[16], int d) {
  ActiveKernels().fp32_ip_x16(query, codes, code_size, ids, out, d);
}

void DistanceFP16L2x16(const Half* query, const uint8_t* codes, uint64_t code_size,
                       const int32_t ids[16], float out[16], int d) {
  ActiveKernels().fp16_l2_x16(query, codes, code_size, ids, out, d);
}

void DistanceFP16IPx16(const Half* query, const uint8_t* codes, uint64_t code_size,
                       const int32_t ids[16], float out[16], int d) {
  ActiveKernels().fp16_ip_x16(query, codes, code_size, ids, out, d);
}

void DistanceSQ8L2x16(const uint8_t* query, const uint8_t* codes, uint64_t code_size,
                      const int32_t ids[16], int32_t out[16], int d) {
  ActiveKernels().sq8_l2_x16(query, codes, code_size, ids, out, d);
}

void DistanceSQ8IPx16(const int8_t* query, const uint8_t* codes, uint64_t code_size,
                      const int32_t ids[16], int32_t out[16], int d) {
  ActiveKernels().sq8_ip_x16(query, codes, code_size, ids, out, d);
}

void DistanceSQ4L2x16(const uint8_t* query, const uint8_t* codes, uint64_t code_size,
                      const int32_t ids[16], int32_t out[16], int d) {
  ActiveKernels().sq4_l2_x16(query, codes, code_size, ids, out, d);
}

void DistanceSQ4IPx16(const uint8_t* query, const uint8_t* codes, uint64_t code_size,
                      const int32_t ids[16], int32_t out[16], int d) {
  ActiveKernels().sq4_ip_x16(query, codes, code_size, ids, out, d);
}

}  // namespace vexa
