#include "tests/support/fashion_mnist.h"

#include <zlib.h>

#include <cstdint>
#include <random>
#include <stdexcept>

namespace tarvo_test {
namespace {

uint32_t ReadBigEndian32(const unsigned char* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

}  // namespace

Dataset LoadFashionMnist(const std::string& split, int max_rows) {
  const std::string path = std::string(TARVO_FASHION_MNIST_DIR) + "/" + split + "-images-idx3-ubyte.gz";
  gzFile file = gzopen(path.c_str(), "rb");
  if (file == nullptr) throw std::runtime_error("cannot open " + path);
  unsigned char header[16];
  if (gzread(file, header, sizeof(header)) != static_cast<int>(sizeof(header)) ||
      ReadBigEndian32(header) != 0x00000803u) {
    gzclose(file);
    throw std::runtime_error("not an idx3 image file: " + path);
  }
  const int count = static_cast<int>(ReadBigEndian32(header + 4));
  const int dim = static_cast<int>(ReadBigEndian32(header + 8) * ReadBigEndian32(header + 12));
  Dataset data;
  data.n = (max_rows < 0 || max_rows > count) ? count : max_rows;
  data.dim = dim;
  std::vector<unsigned char> pixels(static_cast<size_t>(data.n) * dim);
  const int bytes = static_cast<int>(pixels.size());
  const int got = gzread(file, pixels.data(), bytes);
  gzclose(file);
  if (got != bytes) throw std::runtime_error("short read from " + path);
  data.values.assign(pixels.begin(), pixels.end());
  return data;
}

Dataset RandomDataset(int n, int dim, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
  Dataset data;
  data.n = n;
  data.dim = dim;
  data.values.resize(static_cast<size_t>(n) * dim);
  for (float& v : data.values) v = uniform(rng);
  return data;
}

}  // namespace tarvo_test
