#include "engine/build/input_problem.h"

#include <stdexcept>

namespace vexa {

void ThrowInputProblem(const InputProblem& problem) {
  if (!problem) return;
  if (problem.tooLarge) throw std::length_error(problem.reason);
  throw std::invalid_argument(problem.reason);
}

}  // namespace vexa
