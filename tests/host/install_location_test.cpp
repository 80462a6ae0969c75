// Which executables count as installed.
#include "host/install_location.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "host/config_files.h"

namespace qmt {
namespace {

TEST(InstallLocation, ProgramFoldersCountAsInstalledBuildFoldersDoNot) {
  const struct {
    const char* exe;
    bool installed;
  } cases[] = {
      {"/usr/bin/qmt", true},
      {"/usr/local/bin/qmtsim", true},
      {"/usr/sbin/qmt", true},
      {"/opt/qmt3308/bin/qmt", true},
      {"/home/u/.local/bin/qmt", true},
      {"/tmp/scratch/root/usr/bin/qmtsim", true},  // a package unpacked somewhere
      {"/usr/bin/../bin/qmt", true},
      {"/home/u/src/qmt3308/build/apps/qmt/qmt", false},
      {"/home/u/tools/qmt", false},
      {"/binaries/qmt", false},
      {"/usr/bin/tools/qmt", false},
      {"qmt", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsInstalledProgram(c.exe), c.installed) << c.exe;
}

namespace fs = std::filesystem;

// A scratch folder as the user's configuration base, for one test.
struct ScratchConfig {
  fs::path root = fs::temp_directory_path() / ("qmt-install-" + std::to_string(::getpid()));
  std::string savedXdg;
  ScratchConfig() {
    fs::remove_all(root);
    fs::create_directories(root);
    if (const char* x = std::getenv("XDG_CONFIG_HOME")) savedXdg = x;
    ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  }
  ~ScratchConfig() {
    if (savedXdg.empty()) ::unsetenv("XDG_CONFIG_HOME");
    else ::setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    fs::remove_all(root);
  }
};

TEST(InstallLocation, InstalledProgramKeepsItsFilesInTheConfigFolderAndSaysSoOnce) {
  ScratchConfig scratch;
  // A writable bin folder (as root sees /usr/bin) still counts as installed.
  const fs::path bin = scratch.root / "usr/bin";
  fs::create_directories(bin);
  const std::string config = (scratch.root / "config/qmt3308").string();

  ConfigFiles first = LocateConfigFiles((bin / "qmtsim").string());
  EXPECT_EQ(first.macroFile, config + "/qmtsimMacro.txt");
  EXPECT_EQ(first.colorFile, config + "/qmtsimColor.txt");
  EXPECT_TRUE(first.firstStart);
  EXPECT_NE(first.note.find(config), std::string::npos) << first.note;
  EXPECT_NE(first.note.find("installed"), std::string::npos) << first.note;
  EXPECT_TRUE(fs::is_directory(config));

  ConfigFiles second = LocateConfigFiles((bin / "qmtsim").string());
  EXPECT_EQ(second.macroFile, first.macroFile);
  EXPECT_FALSE(second.firstStart);
  EXPECT_EQ(second.note, "");

  // --macro names the macro file; the colour file stays in the folder.
  ConfigFiles named = LocateConfigFiles((bin / "qmtsim").string(), "/tmp/my.txt");
  EXPECT_EQ(named.macroFile, "/tmp/my.txt");
  EXPECT_EQ(named.colorFile, config + "/qmtsimColor.txt");

  // A program in its build folder keeps its files beside itself.
  const fs::path build = scratch.root / "build/apps/qmt";
  fs::create_directories(build);
  ConfigFiles beside = LocateConfigFiles((build / "qmt").string());
  EXPECT_EQ(beside.macroFile, (build / "qmtMacro.txt").string());
  EXPECT_FALSE(beside.firstStart);
  EXPECT_EQ(beside.note, "");
}

}  // namespace
}  // namespace qmt
