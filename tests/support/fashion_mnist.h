#ifndef TARVO_TESTS_SUPPORT_FASHION_MNIST_H_
#define TARVO_TESTS_SUPPORT_FASHION_MNIST_H_

#include <string>
#include <vector>

namespace tarvo_test {

// Row-major float vectors.
struct Dataset {
  int n = 0;
  int dim = 0;
  std::vector<float> values;  // n x dim

  const float* row(int i) const { return values.data() + static_cast<size_t>(i) * dim; }
};

// Reads the first max_rows images (all when max_rows < 0) of Debian's Fashion-MNIST split
// "train" (60,000) or "t10k" (10,000) as 784 floats of 0 to 255. Throws std::runtime_error when
// the files are missing or malformed.
Dataset LoadFashionMnist(const std::string& split, int max_rows = -1);

// n vectors of dim floats drawn uniformly from [-1, 1) by a fixed-seed generator.
Dataset RandomDataset(int n, int dim, unsigned seed);

}  // namespace tarvo_test

#endif  // TARVO_TESTS_SUPPORT_FASHION_MNIST_H_
