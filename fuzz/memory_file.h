#ifndef TARVO_FUZZ_MEMORY_FILE_H_
#define TARVO_FUZZ_MEMORY_FILE_H_

// Files for the fuzz targets of the file readers and writers, kept in memory so that a run does
// not wear a disk: one anonymous file that holds the input, and a folder for written files.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz/fuzz_search.h"

namespace tarvo_fuzz {

// An anonymous in-memory file, reachable by a path, that holds the bytes last given to it.
class MemoryFile {
 public:
  MemoryFile() : fd_(memfd_create("tarvo-fuzz-input", 0)), path_("/proc/self/fd/" + std::to_string(fd_)) {
    Require(fd_ >= 0, "cannot make an in-memory file");
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  ~MemoryFile() { close(fd_); }

  // Makes the file hold exactly size bytes of data.
  void Hold(const uint8_t* data, size_t size) {
    Require(ftruncate(fd_, 0) == 0, "cannot empty the in-memory file");
    size_t done = 0;
    while (done < size) {
      const ssize_t put = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
      Require(put > 0, "cannot fill the in-memory file");
      done += static_cast<size_t>(put);
    }
  }
  const std::string& Path() const { return path_; }

 private:
  int fd_;
  std::string path_;
};

// A folder in shared memory (in the temporary folder where there is none) for the files that a
// target writes, removed with them when the process exits.
inline const std::filesystem::path& ScratchFolder() {
  static const std::filesystem::path folder = [] {
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "tarvo-fuzz-XXXXXX").string();
    Require(mkdtemp(pattern.data()) != nullptr, "cannot make a scratch folder");
    std::atexit([] {
      std::error_code error;
      std::filesystem::remove_all(ScratchFolder(), error);
    });
    return std::filesystem::path(pattern);
  }();
  return folder;
}

// The bytes of the file at path.
inline std::string FileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace tarvo_fuzz

#endif  // TARVO_FUZZ_MEMORY_FILE_H_
