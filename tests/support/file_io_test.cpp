#include "support/file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

namespace qmt {
namespace {

namespace fs = std::filesystem;

TEST(FileIo, AtomicWriteReplacesAndLeavesNoTemporary) {
  fs::path dir = fs::temp_directory_path() / ("qmt_fileio_" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::string path = (dir / "a.bin").string();
  WriteFileAtomic(path, std::string("one\0two", 7));
  WriteFileAtomic(path, "second");
  EXPECT_EQ(ReadFile(path), "second");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  fs::remove_all(dir);
}

TEST(FileIo, FailedWriteKeepsOldFileAndNamesIt) {
  EXPECT_THROW(WriteFileAtomic("/nonexistent-dir/x.bin", "x"), FileError);
  try {
    ReadFile("/nonexistent-dir/x.bin");
    FAIL();
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent-dir/x.bin"), std::string::npos);
  }
}


// A folder of its own under /tmp, open to every user (a test may drop to
// another user to meet permission checks that root would pass).
struct ScratchDir {
  fs::path dir;
  explicit ScratchDir(const char* tag) {
    dir = fs::temp_directory_path() / (std::string("qmt_fileio_") + tag + "_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::permissions(dir, fs::perms::all);
  }
  ~ScratchDir() {
    std::error_code ec;
    fs::permissions(dir, fs::perms::all, ec);
    fs::remove_all(dir, ec);
  }
  std::string operator/(const char* name) const { return (dir / name).string(); }
};

TEST(FileIo, ADirectoryIsRefusedByName) {
  ScratchDir d("dir");
  try {
    ReadFile(d.dir.string());
    FAIL() << "a directory read as a file";
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find(d.dir.string()), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("Is a directory"), std::string::npos);
    EXPECT_EQ(e.Code(), EISDIR);
  }
  EXPECT_THROW(WriteFileAtomic(d.dir.string(), "x"), FileError);
  EXPECT_TRUE(fs::is_directory(d.dir));
}

TEST(FileIo, SaveThroughASymbolicLinkWritesItsTarget) {
  ScratchDir d("link");
  const std::string target = d / "real.txt", link = d / "link.txt", chain = d / "chain.txt";
  WriteFileAtomic(target, "old");
  fs::create_symlink("real.txt", link);  // relative, as users make them
  fs::create_symlink(link, chain);
  WriteFileAtomic(chain, "new");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_TRUE(fs::is_symlink(chain));
  EXPECT_EQ(ReadFile(target), "new");
  // A dangling link creates the file it names.
  fs::create_symlink("later.txt", d / "dangling.txt");
  WriteFileAtomic(d / "dangling.txt", "made");
  EXPECT_EQ(ReadFile(d / "later.txt"), "made");
  EXPECT_TRUE(fs::is_symlink(d / "dangling.txt"));
}

TEST(FileIo, SaveKeepsThePermissionBits) {
  ScratchDir d("mode");
  const std::string path = d / "private.txt";
  for (auto mode : {fs::perms::owner_read | fs::perms::owner_write,
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read}) {
    WriteFileAtomic(path, "one");
    fs::permissions(path, mode);
    WriteFileAtomic(path, "two");
    EXPECT_EQ(fs::status(path).permissions(), mode);
    EXPECT_EQ(ReadFile(path), "two");
  }
}

// Runs `body` as an unprivileged user when this test runs as root, so that a
// read-only folder really refuses; returns whether it passed.
bool AsUnprivilegedUser(const std::function<bool()>& body) {
  if (geteuid() != 0) return body();
  pid_t pid = fork();
  if (pid == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    _exit(body() ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(FileIo, ReadOnlyFolderWithWritableFileIsWrittenInPlace) {
  ScratchDir d("inplace");
  const std::string path = d / "macro.txt", locked = d / "locked.txt";
  WriteFileAtomic(path, "a much longer old text");
  WriteFileAtomic(locked, "keep");
  fs::permissions(path, fs::perms::all);
  fs::permissions(locked, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(d.dir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                             fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  EXPECT_TRUE(AsUnprivilegedUser([&] {
    WriteFileAtomic(path, "short");
    bool refused = false;
    try {
      WriteFileAtomic(locked, "lost");
    } catch (const FileError& e) {
      refused = std::string(e.what()).find(locked) != std::string::npos;
    }
    return ReadFile(path) == "short" && ReadFile(locked) == "keep" && refused;
  }));
  EXPECT_EQ(ReadFile(path), "short");
  EXPECT_EQ(std::distance(fs::directory_iterator(d.dir), fs::directory_iterator()), 2);
}

}  // namespace
}  // namespace qmt
