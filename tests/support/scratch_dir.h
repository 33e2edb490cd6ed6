#ifndef TARVO_TESTS_SUPPORT_SCRATCH_DIR_H_
#define TARVO_TESTS_SUPPORT_SCRATCH_DIR_H_

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace vexa {

// A new, empty folder for the files of one test, removed with everything in it afterwards.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarvo-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "cannot make a scratch folder";
    path_ = pattern;
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  ~ScratchDir() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }

  // The path of name inside the folder.
  std::string Path(const std::string& name) const { return (path_ / name).string(); }
  // The names the folder holds.
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

 private:
  std::filesystem::path path_;
};

// The bytes of the file at path; empty when there is no file there.
inline std::string FileBytes(const std::string& path) {
  if (!std::filesystem::is_regular_file(path)) return "";
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Makes the file at path hold exactly bytes.
inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace vexa

#endif  // TARVO_TESTS_SUPPORT_SCRATCH_DIR_H_
