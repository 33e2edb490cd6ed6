#include "engine/index/file_checks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <set>
#include <string>

#include "tests/support/captured_stdout.h"
#include "tests/support/scratch_dir.h"

namespace vexa {
namespace {

const char kNotReadable[] = "[Error] An error occurred while checking if the file is readable: ";
const char kNotWritable[] = "[Error] An error occurred while checking if the file is writable: ";

// A path in a fresh folder, prepared by make; the tests run as root, for whom permission bits
// do not stop a read or a write, so refused paths are folders and missing folders.
struct PathCase {
  std::string name;
  std::function<std::string(const ScratchDir&)> make;
  bool readable;
  bool writable;
};

void PrintTo(const PathCase& c, std::ostream* os) { *os << c.name; }

std::string FileWith(const ScratchDir& dir, const std::string& bytes) {
  WriteFileBytes(dir.Path("file"), bytes);
  return dir.Path("file");
}

class FileChecksTest : public testing::TestWithParam<PathCase> {};

// The check's answer, and its line: none for true, the check's failure text for false.
void ExpectCheck(bool (*check)(const char*), const std::string& path, bool expected, const char* failure) {
  bool answer = !expected;
  const std::string printed = CapturedStdout([&] { answer = check(path.c_str()); });
  EXPECT_EQ(answer, expected);
  if (expected) {
    EXPECT_EQ(printed, "");
  } else {
    EXPECT_EQ(printed.rfind(failure, 0), 0u) << printed;
    EXPECT_GT(printed.size(), std::string(failure).size() + 1) << "the stream's message";
    EXPECT_EQ(printed.back(), '\n');
    EXPECT_EQ(printed.find('\n'), printed.size() - 1) << "one line";
  }
}

TEST_P(FileChecksTest, Readable) {
  ScratchDir dir;
  ExpectCheck(IsFileReadable, GetParam().make(dir), GetParam().readable, kNotReadable);
}

// The writable check leaves the folder as it found it: an existing file keeps every byte, and a
// file it had to create is gone again.
TEST_P(FileChecksTest, WritableChangesNothing) {
  ScratchDir dir;
  const std::string path = GetParam().make(dir);
  const std::set<std::string> names = dir.Names();
  const std::string bytes = FileBytes(path);
  ExpectCheck(IsFileWritable, path, GetParam().writable, kNotWritable);
  EXPECT_EQ(dir.Names(), names);
  EXPECT_EQ(FileBytes(path), bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FileChecksTest,
    testing::Values(
        PathCase{"FileWithLines", [](const ScratchDir& d) { return FileWith(d, "index\nbytes\n"); }, true, true},
        PathCase{"FileWithoutNewline", [](const ScratchDir& d) { return FileWith(d, std::string("\0\1\2", 3)); },
                 true, true},
        PathCase{"EmptyFile", [](const ScratchDir& d) { return FileWith(d, ""); }, false, true},
        PathCase{"MissingFile", [](const ScratchDir& d) { return d.Path("missing"); }, false, true},
        PathCase{"Folder", [](const ScratchDir& d) { return d.Path(""); }, false, false},
        PathCase{"MissingFolder", [](const ScratchDir& d) { return d.Path("missing/file"); }, false, false}),
    [](const testing::TestParamInfo<PathCase>& info) { return info.param.name; });

// A file that the check finds is not touched at all: not even its time of change moves.
TEST(FileChecks, WritableLeavesAnExistingFileUntouched) {
  ScratchDir dir;
  const std::string path = FileWith(dir, "a good index");
  const auto before = std::filesystem::last_write_time(path);
  ASSERT_TRUE(IsFileWritable(path.c_str()));
  EXPECT_EQ(std::filesystem::last_write_time(path), before);
  EXPECT_EQ(FileBytes(path), "a good index");
}

}  // namespace
}  // namespace vexa
