#ifndef TARVO_TESTS_SUPPORT_FILE_SIZE_LIMIT_H_
#define TARVO_TESTS_SUPPORT_FILE_SIZE_LIMIT_H_

#include <sys/resource.h>

#include <csignal>

namespace vexa {

// While it lives, no file of the process may grow beyond `bytes` bytes: a write past the limit
// fails with EFBIG as on a full disk (SIGXFSZ is ignored instead of ending the process).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit saved_{};
  void (*old_handler_)(int) = SIG_DFL;
};

}  // namespace vexa

#endif  // TARVO_TESTS_SUPPORT_FILE_SIZE_LIMIT_H_
