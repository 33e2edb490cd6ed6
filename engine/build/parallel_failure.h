#ifndef TARVO_ENGINE_BUILD_PARALLEL_FAILURE_H_
#define TARVO_ENGINE_BUILD_PARALLEL_FAILURE_H_

#include <exception>
#include <mutex>
#include <utility>

namespace vexa {

// Carries a failure out of an OpenMP region, which an exception must not leave: every iteration
// runs its body through Run, the first exception is kept, and Rethrow raises it after the region.
class ParallelFailure {
 public:
  ParallelFailure() = default;
  ParallelFailure(const ParallelFailure&) = delete;
  ParallelFailure& operator=(const ParallelFailure&) = delete;

  // Runs body, keeping its exception if it is the first one; later bodies still run.
  template <typename Body>
  void Run(Body&& body) noexcept {
    try {
      std::forward<Body>(body)();
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!first_) first_ = std::current_exception();
    }
  }

  // Whether a body has failed so far.
  bool failed() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<bool>(first_);
  }

  // Rethrows the first exception kept, if any. Call after the region has ended.
  void Rethrow() {
    if (first_) std::rethrow_exception(first_);
  }

 private:
  std::mutex mutex_;          // guards first_
  std::exception_ptr first_;  // the first failure, or null
};

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_PARALLEL_FAILURE_H_
