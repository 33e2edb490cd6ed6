#ifndef TARVO_ENGINE_BUILD_MINSTD_UNIFORM_H_
#define TARVO_ENGINE_BUILD_MINSTD_UNIFORM_H_

#include <cstdint>
#include <mutex>

namespace vexa {

// Uniform doubles in [0, 1) from the minimal standard generator (x <- x * 16807 mod 2^31 - 1),
// two steps per value. Safe to share between threads: each value is drawn under a lock, so its two
// steps are consecutive.
class MinstdUniform {
 public:
  explicit MinstdUniform(uint64_t seed) : state_(seed) {}
  MinstdUniform(const MinstdUniform&) = delete;
  MinstdUniform& operator=(const MinstdUniform&) = delete;

  // The next value: (x1 - 1) + (x2 - 1) * 2147483646 scaled by 1 / 2147483646^2, or the largest
  // double below 1 when the sum rounds to 2147483646^2.
  double Next();

 private:
  std::mutex lock_;  // guards state_
  uint64_t state_;
};

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_MINSTD_UNIFORM_H_
