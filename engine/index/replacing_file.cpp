#include "engine/index/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace vexa {
namespace {

// Bytes gathered before they go to the file: small fields then cost no system call each.
constexpr size_t kBufferBytes = size_t{1} << 20;

// Tells apart the temporary files that one process opens beside the same path.
std::atomic<unsigned> temp_serial{0};

}  // namespace

ReplacingFile::ReplacingFile(const char* path) : path_(path) {
  // A name taken by someone else is skipped: the temporary file is always a new one.
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    temp_path_ = path_ + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(temp_serial++);
    fd_ = open(temp_path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) {
    temp_path_.clear();
    Fail("create a temporary file beside");
    return;
  }
  // The file that is replaced passes its permissions on, as it would keep them if it were
  // rewritten in place.
  struct stat target;
  if (stat(path, &target) == 0 && S_ISREG(target.st_mode) && fchmod(fd_, target.st_mode & 07777) != 0) {
    Fail("create a temporary file beside");
    return;
  }
  buffer_.reserve(kBufferBytes);
}

ReplacingFile::~ReplacingFile() {
  if (!committed_) Discard();
}

bool ReplacingFile::Write(const void* data, size_t size) {
  if (failed_step_ != nullptr) return false;
  const char* bytes = static_cast<const char*>(data);
  if (buffer_.size() + size <= kBufferBytes) {
    buffer_.insert(buffer_.end(), bytes, bytes + size);
    return true;
  }
  if (!Drain()) return false;
  if (size < kBufferBytes) {
    buffer_.insert(buffer_.end(), bytes, bytes + size);
    return true;
  }
  return WriteOut(bytes, size);
}

int ReplacingFile::Commit() {
  if (failed_step_ == nullptr && Drain()) {
    if (fsync(fd_) != 0) {
      Fail("flush");
    } else {
      // close reports write errors that some file systems give only then.
      const int closed = close(fd_);
      fd_ = -1;
      if (closed != 0) {
        Fail("flush");
      } else if (std::rename(temp_path_.c_str(), path_.c_str()) != 0) {
        Fail("replace");
      } else {
        committed_ = true;
        temp_path_.clear();
        return 0;
      }
    }
  }
  Discard();
  std::cout << "[ERROR] Failed to " << failed_step_ << " " << path_ << ": " << std::strerror(error_)
            << std::endl;
  return -1;
}

void ReplacingFile::Fail(const char* step) {
  if (failed_step_ != nullptr) return;
  failed_step_ = step;
  error_ = errno;
}

bool ReplacingFile::WriteOut(const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd_, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = ENOSPC;  // no progress and no reason: the device is full
      Fail("write");
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool ReplacingFile::Drain() {
  const bool written = WriteOut(buffer_.data(), buffer_.size());
  buffer_.clear();
  return written;
}

void ReplacingFile::Discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temp_path_.empty()) unlink(temp_path_.c_str());
  temp_path_.clear();
}

}  // namespace vexa
