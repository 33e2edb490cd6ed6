#ifndef TARVO_ENGINE_INDEX_REPLACING_FILE_H_
#define TARVO_ENGINE_INDEX_REPLACING_FILE_H_

#include <cstddef>
#include <string>

namespace vexa {

// A file written beside path that takes path's place only when every byte of it is on disk: the
// bytes go to a temporary file in path's folder, which Commit flushes and renames over path. Until
// then, and whenever a step fails, the file at path stays as it was; the temporary file is removed
// unless it was committed.
class ReplacingFile {
 public:
  // Opens the temporary file; a failure is reported by Write and Commit.
  explicit ReplacingFile(const char* path);
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;
  // Removes the temporary file unless Commit succeeded.
  ~ReplacingFile();

  // Appends size bytes; false (and every later Write and Commit fail) when they were not written.
  bool Write(const void* data, size_t size);
  // Flushes the temporary file to disk and renames it over path; 0, or -1 with a line printed.
  int Commit();
};

}  // namespace vexa

#endif  // TARVO_ENGINE_INDEX_REPLACING_FILE_H_
