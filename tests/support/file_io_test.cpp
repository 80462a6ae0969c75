#include "support/file_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>

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


// Device nodes of the test's own (never the system's /dev/null or
// /dev/full): making them needs root.
bool MakeNode(const std::string& path, unsigned minor) {
  return mknod(path.c_str(), S_IFCHR | 0666, makedev(1, minor)) == 0;
}

bool IsCharDevice(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

// A save to a device, a FIFO, or a symbolic link to one writes into it and
// leaves it what it was; a full device fails with the reason.
TEST(FileIo, SaveToADeviceOrFifoWritesIntoItAndKeepsIt) {
  ScratchDir d("special");
  const std::string null = d / "null", full = d / "full", fifo = d / "fifo";
  if (!MakeNode(null, 3) || !MakeNode(full, 7)) GTEST_SKIP() << "cannot make device nodes (not root)";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
  fs::create_symlink(null, d / "to-null");
  fs::create_symlink("fifo", d / "to-fifo");
  fs::create_symlink(full, d / "to-full");

  for (const std::string& name : {null, d / "to-null"}) {
    WriteFileAtomic(name, "picture");
    EXPECT_TRUE(IsCharDevice(null)) << name << " replaced the device node";
  }
  for (const std::string& name : {fifo, d / "to-fifo"}) {
    // A reader waiting on the FIFO gets the bytes; opened first, so that
    // the save's open does not wait, and given up on after a minute.
    const int in = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    auto reader = std::async(std::launch::async, [in] {
      std::string got;
      char buffer[256];
      for (pollfd p{in, POLLIN, 0}; poll(&p, 1, 60000) > 0;) {
        const ssize_t n = read(in, buffer, sizeof buffer);
        if (n <= 0) break;
        got.append(buffer, static_cast<std::size_t>(n));
      }
      close(in);
      return got;
    });
    WriteFileAtomic(name, "through the pipe");
    EXPECT_EQ(reader.get(), "through the pipe") << name;
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(fifo))) << name << " replaced the FIFO";
  }
  for (const std::string& name : {full, d / "to-full"}) {
    try {
      WriteFileAtomic(name, "picture");
      ADD_FAILURE() << name << ": a save to a full device succeeded";
    } catch (const FileError& e) {
      EXPECT_EQ(e.Code(), ENOSPC) << e.what();
      EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
    }
    EXPECT_TRUE(IsCharDevice(full));
  }
  EXPECT_TRUE(fs::is_symlink(d / "to-null"));
  EXPECT_TRUE(fs::is_symlink(d / "to-fifo"));
  // Nothing was made beside them.
  EXPECT_EQ(std::distance(fs::directory_iterator(d.dir), fs::directory_iterator()), 6);
}

// A block device or a socket is no place for a picture: refused, naming it,
// and left as it is.
TEST(FileIo, SaveToABlockDeviceOrSocketIsRefused) {
  ScratchDir d("refused");
  const std::string block = d / "disk", socketPath = d / "socket";
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  socketPath.copy(addr.sun_path, sizeof addr.sun_path - 1);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  std::vector<std::pair<std::string, const char*>> cases{{socketPath, "a socket"}};
  // A loop device's numbers: nothing is written to it either way.
  if (mknod(block.c_str(), S_IFBLK | 0600, makedev(7, 200)) == 0) cases.push_back({block, "a block device"});
  for (const auto& [path, kind] : cases) {
    try {
      WriteFileAtomic(path, "picture");
      ADD_FAILURE() << path << " was written";
    } catch (const FileError& e) {
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(kind), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::is_regular_file(path)) << path << " was replaced";
  }
  close(fd);
}

// Reads stop once past their limit, so an endless input is refused rather
// than read until memory runs out; where only a file will do, a FIFO or a
// device is refused at once, never waited on.
TEST(FileIo, ReadsStopPastTheirLimitAndRefuseWhatIsNoFile) {
  ScratchDir d("limit");
  const std::string file = d / "big.txt", zero = d / "zero", fifo = d / "fifo";
  WriteFileAtomic(file, std::string(1000, 'x'));
  EXPECT_EQ(ReadFile(file, 1000).size(), 1000u);
  struct Case {
    std::function<std::string()> read;
    std::string path;
    int code;
    const char* says;
  };
  std::vector<Case> cases{
      {[&] { return ReadFile(file, 999); }, file, EFBIG, "more than 999 bytes"},
      {[&] { return ReadRegularFile(file, 999); }, file, EFBIG, "more than 999 bytes"},
      {[&] { return ReadRegularFile(fifo); }, fifo, ENOTTY, "a FIFO"},
  };
  ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
  if (MakeNode(zero, 5)) {
    cases.push_back({[&] { return ReadFile(zero, std::size_t{1} << 20); }, zero, EFBIG, "more than 1 MiB"});
    cases.push_back({[&] { return ReadRegularFile(zero); }, zero, ENOTTY, "a character device"});
  }
  for (const Case& c : cases) {
    try {
      c.read();
      ADD_FAILURE() << c.path << " was read";
    } catch (const FileError& e) {
      EXPECT_EQ(e.Code(), c.code) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.path), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace qmt
