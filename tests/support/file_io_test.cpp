#include "support/file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

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

}  // namespace
}  // namespace qmt
