#ifndef TARVO_TESTS_SEARCH_QUANT_QUANTIZER_TESTING_H_
#define TARVO_TESTS_SEARCH_QUANT_QUANTIZER_TESTING_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vexa {

// What `run` prints on standard output (the engine prints with printf).
template <typename Run>
std::string StdoutOf(Run&& run) {
  testing::internal::CaptureStdout();
  run();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

// The row code of `row` under q, in a zero-filled buffer of code_size bytes.
template <typename Q>
std::vector<uint8_t> RowCode(const Q& q, const std::vector<float>& row) {
  std::vector<uint8_t> code(q.code_size, 0);
  q.EncodeRow(row.data(), code.data());
  return code;
}

// The query code of `query` under q, in a zero-filled buffer of code_size bytes.
template <typename Q>
std::vector<uint8_t> QueryCode(const Q& q, const std::vector<float>& query) {
  std::vector<uint8_t> code(q.code_size, 0);
  q.EncodeQuery(query.data(), code.data());
  return code;
}

// A quantizer for rows.size() / d rows of dimension d, calibrated over them (its lines captured).
template <typename Q>
Q CalibratedQuantizer(int d, const std::vector<float>& rows) {
  Q q;
  StdoutOf([&] {
    q = Q(d);
    q.Calibrate(rows.data(), static_cast<int>(rows.size() / d));
  });
  return q;
}

}  // namespace vexa

#endif  // TARVO_TESTS_SEARCH_QUANT_QUANTIZER_TESTING_H_
