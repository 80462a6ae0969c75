// Which executables count as installed.
#include "host/install_location.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace qmt
