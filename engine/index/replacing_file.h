#ifndef TARVO_ENGINE_INDEX_REPLACING_FILE_H_
#define TARVO_ENGINE_INDEX_REPLACING_FILE_H_

#include <cstddef>
#include <string>
#include <vector>

namespace vexa {

// A file written beside path that takes path's place only when every byte of it is on disk: the
// bytes go to a temporary file in path's folder, which Commit flushes and renames over path. Until
// then, and whenever a step fails, the file at path stays as it was; the temporary file is removed
// unless it was committed. An existing file's permissions pass to the file that replaces it.
class ReplacingFile {
 public:
  // Opens the temporary file; a failure is reported by Write and Commit.
  explicit ReplacingFile(const char* path);
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;
  // Removes the temporary file unless Commit succeeded.
  ~ReplacingFile();

  // Appends size bytes, gathered and written out in large pieces; false once a write has failed,
  // and every later Write and Commit fail too (a failure of gathered bytes shows at Commit).
  bool Write(const void* data, size_t size);
  // Flushes the temporary file to disk and renames it over path; 0, or -1 with a line printed.
  // Called once; the object writes nothing afterwards.
  int Commit();

 private:
  // Remembers the first step that failed and the C library's reason for it.
  void Fail(const char* step);
  // Writes size bytes to the temporary file, unbuffered; false on failure.
  bool WriteOut(const char* data, size_t size);
  // Writes out what the buffer holds; false on failure.
  bool Drain();
  // Closes the temporary file if it is open and removes it.
  void Discard();

  std::string path_;                  // the file to replace
  std::string temp_path_;             // the temporary file beside it
  int fd_ = -1;                       // the temporary file, open for writing
  std::vector<char> buffer_;          // bytes not yet written out
  const char* failed_step_ = nullptr; // the first step that failed; null while none has
  int error_ = 0;                     // errno of that step
  bool committed_ = false;            // the temporary file took path's place
};

}  // namespace vexa

#endif  // TARVO_ENGINE_INDEX_REPLACING_FILE_H_
