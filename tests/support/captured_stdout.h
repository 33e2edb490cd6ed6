#ifndef TARVO_TESTS_SUPPORT_CAPTURED_STDOUT_H_
#define TARVO_TESTS_SUPPORT_CAPTURED_STDOUT_H_

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>

namespace vexa {

// Runs body and returns what it wrote to standard output. The engine prints with the C library,
// so its buffer is flushed on both sides of the capture.
template <typename Body>
std::string CapturedStdout(Body&& body) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  std::forward<Body>(body)();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

}  // namespace vexa

#endif  // TARVO_TESTS_SUPPORT_CAPTURED_STDOUT_H_
