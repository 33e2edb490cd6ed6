#ifndef TARVO_TESTS_BUILD_CAPTURED_LINES_H_
#define TARVO_TESTS_BUILD_CAPTURED_LINES_H_

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace vexa {

// The lines that fn prints on standard output.
inline std::vector<std::string> CapturedLines(const std::function<void()>& fn) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  fn();
  std::fflush(stdout);
  std::istringstream text(testing::internal::GetCapturedStdout());
  std::vector<std::string> lines;
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}

}  // namespace vexa

#endif  // TARVO_TESTS_BUILD_CAPTURED_LINES_H_
