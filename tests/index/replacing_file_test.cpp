#include "engine/index/replacing_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "tests/support/captured_stdout.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/scratch_dir.h"

namespace vexa {
namespace {

const std::string kOld = "the good file that is there";

// A folder holding the good file "target", which every failure must leave as it is.
class ReplacingFileTest : public testing::Test {
 protected:
  void SetUp() override { WriteFileBytes(target_, kOld); }

  // Commits file, expecting rc and the line printed.
  void ExpectCommit(ReplacingFile* file, int rc, const std::string& printed) {
    int result = 0;
    EXPECT_EQ(CapturedStdout([&] { result = file->Commit(); }), printed);
    EXPECT_EQ(result, rc);
  }

  ScratchDir dir_;
  const std::string target_ = dir_.Path("target");
};

TEST_F(ReplacingFileTest, CommitReplacesTheFile) {
  // Small writes are gathered; one larger than the buffer goes out at once.
  const std::string large(3 << 20, 'x');
  {
    ReplacingFile file(target_.c_str());
    EXPECT_TRUE(file.Write("new ", 4));
    EXPECT_TRUE(file.Write(large.data(), large.size()));
    EXPECT_TRUE(file.Write(" end", 4));
    EXPECT_EQ(FileBytes(target_), kOld) << "not before the commit";
    ExpectCommit(&file, 0, "");
  }
  EXPECT_EQ(FileBytes(target_), "new " + large + " end");
  EXPECT_EQ(dir_.Names(), std::set<std::string>{"target"});
}

// The replaced file's permissions stay; a new file gets those of any file the process creates.
TEST_F(ReplacingFileTest, CommitKeepsThePermissions) {
  namespace fs = std::filesystem;
  fs::permissions(target_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const std::string fresh = dir_.Path("fresh");
  for (const std::string& path : {target_, fresh}) {
    ReplacingFile file(path.c_str());
    EXPECT_TRUE(file.Write("bytes", 5));
    ExpectCommit(&file, 0, "");
  }
  EXPECT_EQ(fs::status(target_).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  WriteFileBytes(dir_.Path("plain"), "");
  EXPECT_EQ(fs::status(fresh).permissions(), fs::status(dir_.Path("plain")).permissions());
}

TEST_F(ReplacingFileTest, CommitCreatesAMissingFile) {
  const std::string path = dir_.Path("new");
  {
    ReplacingFile file(path.c_str());
    EXPECT_TRUE(file.Write("bytes", 5));
    ExpectCommit(&file, 0, "");
  }
  EXPECT_EQ(FileBytes(path), "bytes");
  EXPECT_EQ(dir_.Names(), (std::set<std::string>{"new", "target"}));
}

// A file left without a commit (the writer gave up, or failed before the rename) never takes
// the place of the good one.
TEST_F(ReplacingFileTest, NoCommitLeavesTheFile) {
  {
    ReplacingFile file(target_.c_str());
    EXPECT_TRUE(file.Write("half", 4));
  }
  EXPECT_EQ(FileBytes(target_), kOld);
  EXPECT_EQ(dir_.Names(), std::set<std::string>{"target"});
}

// A full disk: the write fails and the good file stays byte for byte.
TEST_F(ReplacingFileTest, FailedWriteLeavesTheFile) {
  const std::string large(3 << 20, 'x');
  {
    ReplacingFile file(target_.c_str());
    {
      FileSizeLimit limit(1 << 20);
      EXPECT_FALSE(file.Write(large.data(), large.size()));
      EXPECT_FALSE(file.Write("more", 4)) << "every later write fails too";
    }
    ExpectCommit(&file, -1, "[ERROR] Failed to write " + target_ + ": File too large\n");
  }
  EXPECT_EQ(FileBytes(target_), kOld);
  EXPECT_EQ(dir_.Names(), std::set<std::string>{"target"});
}

// The bytes still in the buffer fail at the commit, which reports them the same way.
TEST_F(ReplacingFileTest, FailedWriteAtTheCommitLeavesTheFile) {
  const std::string gathered(4096, 'x');
  ReplacingFile file(target_.c_str());
  EXPECT_TRUE(file.Write(gathered.data(), gathered.size()));
  {
    FileSizeLimit limit(1024);  // room for the line printed, not for the file
    ExpectCommit(&file, -1, "[ERROR] Failed to write " + target_ + ": File too large\n");
  }
  EXPECT_EQ(FileBytes(target_), kOld);
  EXPECT_EQ(dir_.Names(), std::set<std::string>{"target"});
}

// A rename that fails (here over a folder that holds a file) leaves both the folder and the
// file in it, and removes the temporary file.
TEST_F(ReplacingFileTest, FailedRenameLeavesEverything) {
  const std::string folder = dir_.Path("folder");
  std::filesystem::create_directory(folder);
  WriteFileBytes(folder + "/inside", kOld);
  {
    ReplacingFile file(folder.c_str());
    EXPECT_TRUE(file.Write("bytes", 5));
    ExpectCommit(&file, -1, "[ERROR] Failed to replace " + folder + ": Is a directory\n");
  }
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(FileBytes(folder + "/inside"), kOld);
  EXPECT_EQ(dir_.Names(), (std::set<std::string>{"folder", "target"}));
}

TEST_F(ReplacingFileTest, MissingFolderFailsCleanly) {
  const std::string path = dir_.Path("missing/file");
  ReplacingFile file(path.c_str());
  EXPECT_FALSE(file.Write("bytes", 5));
  ExpectCommit(&file, -1,
               "[ERROR] Failed to create a temporary file beside " + path + ": No such file or directory\n");
  EXPECT_EQ(dir_.Names(), std::set<std::string>{"target"});
}

}  // namespace
}  // namespace vexa
