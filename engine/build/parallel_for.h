#ifndef TARVO_ENGINE_BUILD_PARALLEL_FOR_H_
#define TARVO_ENGINE_BUILD_PARALLEL_FOR_H_

#include <omp.h>

#include <atomic>
#include <cstdint>

#include "engine/build/parallel_failure.h"

namespace vexa {
namespace parallel_for_internal {

// Runs body(i) through failure unless an iteration has failed already. After a failure the
// remaining iterations are skipped: the per-thread buffers of the failed thread (visited sets,
// marks) may be left dirty, and the region's result is discarded anyway.
template <typename Body>
void RunIteration(ParallelFailure& failure, std::atomic<bool>& failed, Body& body, int64_t i) {
  if (failed.load(std::memory_order_relaxed)) return;
  failure.Run([&] {
    try {
      body(i);
    } catch (...) {
      failed.store(true, std::memory_order_relaxed);
      throw;
    }
  });
}

}  // namespace parallel_for_internal

// Runs body(i) for i = 0 .. n-1 in the calling thread's default OpenMP team, split statically:
// each thread takes one contiguous block in ascending order, the first n mod T threads one more.
// The first exception of a body is rethrown after the region.
template <typename Body>
void ParallelForStatic(int64_t n, Body&& body) {
  ParallelFailure failure;
  std::atomic<bool> failed{false};
#pragma omp parallel for schedule(static)
  for (int64_t i = 0; i < n; ++i) parallel_for_internal::RunIteration(failure, failed, body, i);
  failure.Rethrow();
}

// Like ParallelForStatic, with a dynamic schedule handing out chunks of `chunk` iterations.
template <typename Body>
void ParallelForDynamic(int64_t n, int chunk, Body&& body) {
  ParallelFailure failure;
  std::atomic<bool> failed{false};
#pragma omp parallel for schedule(dynamic, chunk)
  for (int64_t i = 0; i < n; ++i) parallel_for_internal::RunIteration(failure, failed, body, i);
  failure.Rethrow();
}

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_PARALLEL_FOR_H_
