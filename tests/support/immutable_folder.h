#ifndef TARVO_TESTS_SUPPORT_IMMUTABLE_FOLDER_H_
#define TARVO_TESTS_SUPPORT_IMMUTABLE_FOLDER_H_

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>

namespace vexa {

// While it lives, nothing can be created, removed or renamed in a folder, not even by root (the
// tests run as root, to whom permission bits mean nothing): the folder carries the file
// system's immutable flag. Held() is false where the file system or the process cannot set it.
class ImmutableFolder {
 public:
  explicit ImmutableFolder(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_DIRECTORY)) {
    if (fd_ < 0 || ioctl(fd_, FS_IOC_GETFLAGS, &saved_) != 0) return;
    int flags = saved_ | FS_IMMUTABLE_FL;
    held_ = ioctl(fd_, FS_IOC_SETFLAGS, &flags) == 0;
  }
  ImmutableFolder(const ImmutableFolder&) = delete;
  ImmutableFolder& operator=(const ImmutableFolder&) = delete;
  ~ImmutableFolder() {
    if (held_) ioctl(fd_, FS_IOC_SETFLAGS, &saved_);
    if (fd_ >= 0) close(fd_);
  }

  // Whether the flag is set.
  bool Held() const { return held_; }

 private:
  int fd_;
  int saved_ = 0;
  bool held_ = false;
};

}  // namespace vexa

#endif  // TARVO_TESTS_SUPPORT_IMMUTABLE_FOLDER_H_
