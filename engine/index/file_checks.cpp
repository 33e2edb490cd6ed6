#include "engine/index/file_checks.h"

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

namespace {

// Prints the failure of a check in the checks' form, ending the line.
void PrintCheckFailure(const char* what, const std::ios_base::failure& failure) {
  std::cout << "[Error] An error occurred while checking if the file is " << what << ": " << failure.what()
            << std::endl;
}

}  // namespace

bool IsFileReadable(const char* path) {
  try {
    std::ifstream file;
    file.exceptions(std::ios::failbit | std::ios::badbit);
    file.open(path);
    std::string line;
    std::getline(file, line);
    file.close();
  } catch (const std::ios_base::failure& failure) {
    PrintCheckFailure("readable", failure);
    return false;
  }
  return true;
}

bool IsFileWritable(const char* path) {
  // Opened for appending, an existing file keeps every byte; a file the check had to create is
  // removed again. A link counts as existing, so that a link is never removed.
  struct stat status;
  const bool existed = lstat(path, &status) == 0;
  try {
    std::ofstream file;
    file.exceptions(std::ios::failbit | std::ios::badbit);
    file.open(path, std::ios::binary | std::ios::app);
    file.close();
  } catch (const std::ios_base::failure& failure) {
    PrintCheckFailure("writable", failure);
    return false;
  }
  if (!existed) std::remove(path);
  return true;
}
