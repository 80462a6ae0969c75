#include "host/editor_recovery.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

namespace qmt {
namespace {

namespace fs = std::filesystem;

TEST(EditorRecovery, FileIsPerMacroFileInTheConfigFolder) {
  const std::string a = RecoveryFilePath("/srv/a/qmtsimMacro.txt", "/home/u/.config/qmt3308");
  const std::string b = RecoveryFilePath("/srv/b/qmtsimMacro.txt", "/home/u/.config/qmt3308");
  EXPECT_EQ(fs::path(a).parent_path(), "/home/u/.config/qmt3308/recovery");
  EXPECT_EQ(fs::path(a).filename().string().rfind("qmtsimMacro.txt-", 0), 0u) << a;
  EXPECT_NE(a, b);
  EXPECT_EQ(a, RecoveryFilePath("/srv/a/./qmtsimMacro.txt", "/home/u/.config/qmt3308"));
  EXPECT_EQ(RecoveryFilePath("/srv/a/m.txt", ""), "/srv/a/m.txt.recover");
}

TEST(EditorRecovery, KeepsLeavesAndDiscardsText) {
  const fs::path dir = fs::temp_directory_path() / ("qmt_recovery_" + std::to_string(getpid()));
  fs::remove_all(dir);
  EditorRecovery recovery((dir / "recovery" / "m.txt").string());
  EXPECT_FALSE(recovery.Left());
  recovery.Keep("x = 1\r\n// 編集");
  EXPECT_EQ(recovery.Left().value_or(""), "x = 1\r\n// 編集");
  recovery.Discard();
  EXPECT_FALSE(recovery.Left());
  // After a discard the same text is written again.
  recovery.Keep("x = 1\r\n// 編集");
  EXPECT_TRUE(recovery.Left());
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qmt
