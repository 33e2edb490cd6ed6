#ifndef TARVO_TESTS_SUPPORT_RAW_VALUES_H_
#define TARVO_TESTS_SUPPORT_RAW_VALUES_H_

// Arrays that a program shares with a Python script as raw native-endian files (NumPy's tofile
// and fromfile). A short or failed transfer ends the program with status 2.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace tarvo_test {

// The first count values of the file at path.
template <typename T>
std::vector<T> ReadRawValues(const char* path, size_t count) {
  std::vector<T> values(count);
  std::ifstream in(path, std::ios::binary);
  in.read(reinterpret_cast<char*>(values.data()), static_cast<std::streamsize>(count * sizeof(T)));
  if (!in) {
    std::fprintf(stderr, "cannot read %zu values from %s\n", count, path);
    std::exit(2);
  }
  return values;
}

// Writes values as the whole file at path.
template <typename T>
void WriteRawValues(const char* path, const std::vector<T>& values) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(values.data()),
            static_cast<std::streamsize>(values.size() * sizeof(T)));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path);
    std::exit(2);
  }
}

}  // namespace tarvo_test

#endif  // TARVO_TESTS_SUPPORT_RAW_VALUES_H_
