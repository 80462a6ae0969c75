#include "host/data_module.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>

#include <filesystem>

#include "host/config_files.h"
#include "support/encoding.h"
#include "support/file_io.h"

namespace qmt {
namespace {

namespace fs = std::filesystem;

struct DataModule : ::testing::Test {
  HeadlessToolWindow tool;
  TDM dm{tool};

  // Compiles `source` (UTF-8, one statement per line) as the macro.
  void Compile(const std::vector<std::string>& source) {
    std::vector<std::string> lines;
    for (const auto& l : source) lines.push_back(Sjis(l));
    dm.Macro.Items().Assign(lines);
    dm.CompileMacro();
  }
  std::int16_t Constant(const std::string& utf8) {
    std::int16_t v = -999;
    EXPECT_TRUE(dm.Script1ConstLab(Sjis(utf8), v)) << utf8;
    return v;
  }
};

TEST_F(DataModule, NamesResolveByPositionIgnoringCase) {
  EXPECT_EQ(dm.Script1ExtLabel("dtime1"), 0);
  EXPECT_EQ(dm.Script1ExtLabel("anPRES"), 5);
  EXPECT_EQ(dm.Script1ExtLabel("SFT3"), 27);
  EXPECT_EQ(dm.Script1ExtLabel("nothing"), -1);
  EXPECT_EQ(dm.Script1ExtFunc("BOX"), 3);
  EXPECT_EQ(dm.Script1ExtFunc("SelPanel"), 12);
  EXPECT_EQ(dm.Script1ExtFunc("bo"), -1);
}

TEST_F(DataModule, ConstantsComeFromTheTableThenTheColourList) {
  EXPECT_EQ(Constant("紫"), 227);
  EXPECT_EQ(Constant("灰"), 109);
  EXPECT_EQ(Constant("色全背景"), 0);
  // Listed twice: the first line counts.
  EXPECT_EQ(Constant("色計器選択"), 223);

  tool.SetColorList({Sjis("赤=$01"), Sjis("色空="), Sjis("色空=$05"), Sjis("色新=$12+1")});
  EXPECT_EQ(Constant("赤"), 224);  // the table wins
  EXPECT_EQ(Constant("色新"), 0x13);
  std::int16_t v = 77;
  EXPECT_FALSE(dm.Script1ConstLab(Sjis("色空"), v));  // empty value: not found
  EXPECT_FALSE(dm.Script1ConstLab(Sjis("色全背景"), v));
  EXPECT_EQ(v, 77);
}

TEST_F(DataModule, ColourChangesTakeEffectAtTheNextCompile) {
  Compile({"x=色全背景", "EXIT"});
  ASSERT_TRUE(dm.MacroReady());
  auto before = dm.Script1.Code();
  tool.SetColorList({Sjis("色全背景=$1C")});
  EXPECT_EQ(dm.Script1.Code(), before);
  Compile({"x=色全背景", "EXIT"});
  EXPECT_NE(dm.Script1.Code(), before);
}

TEST_F(DataModule, SuccessfulCompileFillsListsAndLabelTable) {
  Compile({"GOTO INIT", "INIT: x=1", "onRUN: y=dtime1", "EXIT"});
  EXPECT_TRUE(dm.MacroReady());
  EXPECT_TRUE(tool.ErrLog().empty());
  EXPECT_FALSE(tool.ErrPageVisible());
  EXPECT_EQ(tool.ErrPageShown(), 0);
  EXPECT_EQ(dm.LabelTable(), tool.MLabel());
  ASSERT_EQ(dm.LabelTable().size(), 2u);
  EXPECT_EQ(dm.LabelTable()[0].substr(0, 5), "INIT=");
  EXPECT_TRUE(dm.HasLabel("onrun"));
  EXPECT_FALSE(dm.HasLabel("onSTOP"));
  EXPECT_EQ(tool.MVariable().size(), 2u);  // x and y; DTIME1 is external
}

TEST_F(DataModule, FailedCompileLogsEveryErrorAndShowsTheErrPage) {
  Compile({"x=1", "EXIT"});
  ASSERT_TRUE(dm.MacroReady());
  // Reported errors: one line each, and the compile goes on.
  Compile({"x=nothing", "GOTO nowhere", "EXIT"});
  EXPECT_FALSE(dm.MacroReady());
  ASSERT_EQ(tool.ErrLog().size(), 2u);
  EXPECT_NE(tool.ErrLog()[0].find(Sjis("変数 nothing が未定義")), std::string::npos);
  EXPECT_TRUE(tool.ErrPageVisible());
  EXPECT_EQ(tool.ErrPageShown(), 1);
  // A fatal error arrives as the compiler's exception and is logged too.
  Compile({"x=1", "#", "EXIT"});
  ASSERT_EQ(tool.ErrLog().size(), 1u);
  EXPECT_NE(tool.ErrLog()[0].find(Sjis("#は未定義文字")), std::string::npos);
  // So is a constant whose value does not evaluate.
  tool.SetColorList({Sjis("色壊=$12+")});
  Compile({"x=色壊", "EXIT"});
  EXPECT_EQ(tool.ErrLog().size(), 1u);
  EXPECT_FALSE(dm.MacroReady());
  // The next good compile clears the log and hides the page.
  tool.SetColorList({});
  Compile({"x=1", "EXIT"});
  EXPECT_TRUE(tool.ErrLog().empty());
  EXPECT_FALSE(tool.ErrPageVisible());
  EXPECT_TRUE(dm.MacroReady());
}

TEST_F(DataModule, BuiltInMacroAndColourListAreTheDefaults) {
  ASSERT_FALSE(dm.Macro.Items().Empty());
  EXPECT_EQ(dm.Macro.Items()[0], "GOTO INIT");
  EXPECT_EQ(tool.ColorList().size(), 34u);
  EXPECT_EQ(tool.ColorList().back(), "");
  EXPECT_EQ(dm.FuncLabel.Items().Count(), 13u);
  EXPECT_EQ(dm.ExtValue.Items()[28], " ");
}

struct TempDir {
  fs::path path = fs::temp_directory_path() / ("qmt_data_" + std::to_string(getpid()));
  TempDir() { fs::create_directories(path); }
  ~TempDir() { fs::remove_all(path); }
  std::string operator/(const std::string& name) const { return (path / name).string(); }
};

TEST_F(DataModule, MacroFileLinesEndAtCrLfCrOrLf) {
  TempDir dir;
  WriteFileAtomic(dir / "m.txt", Sjis("a=1\r\nb=2\rc=3\n\r\n"));
  dm.LoadMacroFile(dir / "m.txt");
  EXPECT_EQ(dm.Macro.Items().Strings(), (std::vector<std::string>{"a=1", "b=2", "c=3", ""}));
}

TEST(ConfigFiles, PathRule) {
  struct Case {
    const char* exe;
    const char* macro;
  } cases[] = {
      {"/opt/tools/sim.exe", "/opt/tools/simMacro.txt"},
      {"/usr/bin/qmt", "/usr/bin/qmtMacro.txt"},
      {"/opt/a.b/qmtsim", "/opt/a.b/qmtsimMacro.txt"},
      {"/opt/x/qmt.v2.bin", "/opt/x/qmt.v2Macro.txt"},
      {"/opt/x/.hidden", "/opt/x/.hiddenMacro.txt"},
  };
  for (const auto& c : cases) EXPECT_EQ(ConfigFileBeside(c.exe, "Macro.txt"), c.macro) << c.exe;
  EXPECT_EQ(ConfigFileBeside("/usr/bin/qmt", "Color.txt"), "/usr/bin/qmtColor.txt");
}

TEST(ConfigFiles, UnwritableFolderMovesTheFilesAndSaysWhere) {
  auto beside = ChooseConfigFiles("/usr/bin/qmt", "", true, "/home/u/.config/qmt3308");
  EXPECT_EQ(beside.macroFile, "/usr/bin/qmtMacro.txt");
  EXPECT_EQ(beside.colorFile, "/usr/bin/qmtColor.txt");
  EXPECT_EQ(beside.note, "");

  auto moved = ChooseConfigFiles("/usr/bin/qmt", "", false, "/home/u/.config/qmt3308");
  EXPECT_EQ(moved.macroFile, "/home/u/.config/qmt3308/qmtMacro.txt");
  EXPECT_EQ(moved.colorFile, "/home/u/.config/qmt3308/qmtColor.txt");
  EXPECT_NE(moved.note.find("/home/u/.config/qmt3308"), std::string::npos);
  EXPECT_NE(moved.note.find("/usr/bin"), std::string::npos);

  auto named = ChooseConfigFiles("/usr/bin/qmt", "my.txt", false, "/home/u/.config/qmt3308");
  EXPECT_EQ(named.macroFile, "my.txt");
  EXPECT_EQ(named.colorFile, "/home/u/.config/qmt3308/qmtColor.txt");
}

TEST(ConfigFiles, ShippedFilesAreReadUntilTheUserSavesACopy) {
  TempDir dir;
  const std::string exe = dir / "bin/qmtsim", config = dir / "config/qmt3308";
  WriteListFile(dir / "bin/qmtsimMacro.txt", {"shipped"});
  WriteListFile(dir / "bin/qmtsimColor.txt", {Sjis("色全背景=$00")});
  ConfigFiles files = ChooseConfigFiles(exe, "", false, config);
  EXPECT_EQ(files.MacroFileToRead(), dir / "bin/qmtsimMacro.txt");
  EXPECT_EQ(files.ColorFileToRead(), dir / "bin/qmtsimColor.txt");
  // Saving creates the configuration folder on the first try; the saved
  // copy is what the next start reads.
  WriteListFile(files.macroFile, {"saved"});
  EXPECT_EQ(files.MacroFileToRead(), config + "/qmtsimMacro.txt");
  EXPECT_EQ(ReadListFile(files.MacroFileToRead()), std::vector<std::string>{"saved"});
  EXPECT_EQ(files.ColorFileToRead(), dir / "bin/qmtsimColor.txt");
  // A broken saved copy is still the one read, so that it is reported.
  fs::create_directories(files.colorFile);
  EXPECT_EQ(files.ColorFileToRead(), files.colorFile);
  // Beside a writable program, or with --macro, nothing else is read.
  ConfigFiles beside = ChooseConfigFiles(exe, "", true, config);
  EXPECT_EQ(beside.MacroFileToRead(), dir / "bin/qmtsimMacro.txt");
  ConfigFiles named = ChooseConfigFiles(exe, dir / "my.txt", false, config);
  EXPECT_EQ(named.MacroFileToRead(), dir / "my.txt");
}

TEST(ConfigFiles, ListFilesRoundTripInCrLfAndCreateTheirFolder) {
  TempDir dir;
  std::string path = dir / "sub/dir/qmtColor.txt";
  std::vector<std::string> lines = {Sjis("色全背景=$00"), "", Sjis("色UD文字=$00"), ""};
  WriteListFile(path, lines);
  EXPECT_EQ(ReadFile(path), Sjis("色全背景=$00\r\n\r\n色UD文字=$00\r\n\r\n"));
  EXPECT_EQ(ReadListFile(path), lines);
  EXPECT_THROW(ReadListFile(dir / "none.txt"), FileError);
  // A folder that cannot be made (a file is in the way): the error names the
  // file, the write and the reason, for the windows to word.
  WriteFileAtomic(dir / "plain", "x");
  const std::string blocked = dir / "plain/sub/qmtColor.txt";
  try {
    WriteListFile(blocked, lines);
    ADD_FAILURE() << "no error";
  } catch (const FileError& e) {
    EXPECT_EQ(e.Path(), blocked);
    EXPECT_EQ(e.Operation(), FileError::Op::Write);
    EXPECT_EQ(e.Code(), ENOTDIR);
    EXPECT_EQ(std::string(e.what()).rfind("cannot write " + blocked + ": cannot create ", 0), 0u) << e.what();
  }
}

}  // namespace
}  // namespace qmt
