#ifndef TARVO_ENGINE_BUILD_INPUT_PROBLEM_H_
#define TARVO_ENGINE_BUILD_INPUT_PROBLEM_H_

#include <string>

namespace vexa {

// Why a builder cannot build from the input it was given. The index asks for it before a build,
// so that input a builder would refuse is turned down without an exception; the builders throw
// it themselves when they are called directly.
struct InputProblem {
  std::string reason;     // empty when the input can be built from
  bool tooLarge = false;  // a size limit rather than a bad argument

  explicit operator bool() const { return !reason.empty(); }
};

// Throws problem, when it has a reason, as std::length_error (a size limit) or
// std::invalid_argument.
void ThrowInputProblem(const InputProblem& problem);

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_INPUT_PROBLEM_H_
