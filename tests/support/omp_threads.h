#ifndef TARVO_TESTS_SUPPORT_OMP_THREADS_H_
#define TARVO_TESTS_SUPPORT_OMP_THREADS_H_

#include <omp.h>

namespace tarvo_test {

// Sets the OpenMP team size of the calling thread for the life of the object.
class OmpThreads {
 public:
  explicit OmpThreads(int threads) : saved_(omp_get_max_threads()) { omp_set_num_threads(threads); }
  OmpThreads(const OmpThreads&) = delete;
  OmpThreads& operator=(const OmpThreads&) = delete;
  ~OmpThreads() { omp_set_num_threads(saved_); }

 private:
  int saved_;  // the team size to restore
};

}  // namespace tarvo_test

#endif  // TARVO_TESTS_SUPPORT_OMP_THREADS_H_
