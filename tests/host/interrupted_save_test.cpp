// Saves cut short: a child process saves the macro, colour and page files in
// a loop, alternating between two versions of each, and is killed with
// SIGKILL at a random moment.  Every file must then be one version or the
// other, whole; the temporary file a kill leaves behind is removed by the
// next save.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "device/qmt3308.h"
#include "host/config_files.h"
#include "support/encoding.h"
#include "support/file_io.h"

namespace qmt {
namespace {

namespace fs = std::filesystem;

// Two versions of a file, of different sizes, so that a mix of them or a
// truncated one is told apart from both.
struct Versions {
  std::vector<std::string> macro[2];
  std::vector<std::string> colours[2];
  std::uint8_t fill[2] = {0x11, 0xE2};
};

Versions MakeVersions() {
  Versions v;
  for (int i = 0; i < 6000; ++i) v.macro[0].push_back("x = " + std::to_string(i) + " : box(0,0,639,479,$200)");
  for (int i = 0; i < 9000; ++i) v.macro[1].push_back("IF @0 > " + std::to_string(i) + " THEN GOSUB L" + std::to_string(i));
  for (int i = 0; i < 3000; ++i) v.colours[0].push_back("c" + std::to_string(i) + "=$" + std::to_string(i % 256));
  for (int i = 0; i < 5000; ++i) v.colours[1].push_back("colour" + std::to_string(i) + "=RED");
  return v;
}

struct Files {
  std::string macro, colours, page;
};

void SaveVersion(const Versions& v, const Files& f, int which, TQMT3308& device) {
  WriteListFile(f.macro, v.macro[which]);
  WriteListFile(f.colours, v.colours[which]);
  device.ExecuteLine("PS0");
  device.ExecuteLine("CS" + std::string(which ? "E2" : "11"));
  device.ExecuteLine("TA0,0,639,479,1");
  device.SavePage(0, f.page);
}

int CountTemporaries(const fs::path& dir) {
  int n = 0;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().filename().string().find(".tmp") != std::string::npos) ++n;
  return n;
}

TEST(InterruptedSave, KilledWriterLeavesOldOrNewFileAndNextSaveRemovesLeftovers) {
  const Versions v = MakeVersions();
  const fs::path dir = fs::temp_directory_path() / ("qmt_interrupted_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const Files f{(dir / "qmtsimMacro.txt").string(), (dir / "qmtsimColor.txt").string(), (dir / "VRAM0.bmp").string()};

  // The expected bytes of each version of each file.
  std::string macroBytes[2], colourBytes[2], pageBytes[2];
  {
    TQMT3308 device;
    for (int which : {0, 1}) {
      SaveVersion(v, f, which, device);
      macroBytes[which] = ReadFile(f.macro);
      colourBytes[which] = ReadFile(f.colours);
      pageBytes[which] = ReadFile(f.page);
    }
  }
  ASSERT_NE(macroBytes[0], macroBytes[1]);
  ASSERT_NE(pageBytes[0], pageBytes[1]);

  const char* seedText = std::getenv("QMT_INTERRUPT_SEED");
  const unsigned seed = seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10)) : std::random_device{}();
  SCOPED_TRACE("QMT_INTERRUPT_SEED=" + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> delayUs(0, 40000);

  int leftoversSeen = 0;
  constexpr int kRounds = 60;
  for (int round = 0; round < kRounds; ++round) {
    // The kill lands a random time after the child has begun saving (on a
    // loaded machine the child may take longer to start than any delay).
    int started[2];
    ASSERT_EQ(pipe(started), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      TQMT3308 device;
      close(started[0]);
      if (write(started[1], "s", 1) != 1) _exit(1);
      for (int which = round & 1;; which ^= 1) SaveVersion(v, f, which, device);
    }
    close(started[1]);
    char byte = 0;
    ASSERT_EQ(read(started[0], &byte, 1), 1) << "round " << round;
    close(started[0]);
    std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "round " << round;

    const std::string macro = ReadFile(f.macro), colours = ReadFile(f.colours), page = ReadFile(f.page);
    EXPECT_TRUE(macro == macroBytes[0] || macro == macroBytes[1]) << "round " << round << ": macro file of "
                                                                  << macro.size() << " bytes";
    EXPECT_TRUE(colours == colourBytes[0] || colours == colourBytes[1])
        << "round " << round << ": colour file of " << colours.size() << " bytes";
    EXPECT_TRUE(page == pageBytes[0] || page == pageBytes[1]) << "round " << round << ": page file of "
                                                              << page.size() << " bytes";
    leftoversSeen += CountTemporaries(dir) > 0;
  }
  // Most kills land inside a write, whose temporary file stays behind.
  EXPECT_GT(leftoversSeen, 0);

  // One more save of each file clears what the kills left.
  TQMT3308 device;
  SaveVersion(v, f, 0, device);
  EXPECT_EQ(CountTemporaries(dir), 0);
  EXPECT_EQ(ReadFile(f.macro), macroBytes[0]);
  EXPECT_EQ(ReadFile(f.page), pageBytes[0]);
  fs::remove_all(dir);
}

// A save going on in another process holds its temporary file: a save of
// the same file here must not remove it.
TEST(InterruptedSave, TemporaryOfASaveInProgressIsKept) {
  const fs::path dir = fs::temp_directory_path() / ("qmt_inprogress_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string path = (dir / "a.txt").string();
  const std::string busy = path + ".tmpAAAAAA", dead = path + ".tmpBBBBBB", other = path + ".tmpCCCCCCC";
  for (const std::string& p : {busy, dead, other}) WriteFileAtomic(p, "partial");
  int ready[2], go[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(go), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Holds `busy` as a writer does until told to go.
    const int fd = open(busy.c_str(), O_WRONLY);
    flock(fd, LOCK_EX);
    char c;
    (void)!write(ready[1], "x", 1);
    (void)!read(go[0], &c, 1);
    _exit(0);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  WriteFileAtomic(path, "new");
  EXPECT_TRUE(fs::exists(busy));
  EXPECT_FALSE(fs::exists(dead));
  EXPECT_TRUE(fs::exists(other)) << "only names of the temporary pattern are touched";
  (void)!write(go[1], "x", 1);
  waitpid(child, nullptr, 0);
  for (int fd : {ready[0], ready[1], go[0], go[1]}) close(fd);
  EXPECT_EQ(ReadFile(path), "new");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qmt
