// The program's macro and colour files as every face reads them: what is
// read, and what could not be used, with whether it stops a run.
#include "host/program_macro.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>

#include "support/encoding.h"
#include "support/file_io.h"

namespace qmt {
namespace {

namespace fs = std::filesystem;
using Kind = ProgramFileProblem::Kind;
using File = ProgramFileProblem::File;

struct Scratch {
  fs::path dir = fs::temp_directory_path() / ("qmt_program_macro_" + std::to_string(getpid()));
  std::string bin = (dir / "bin").string();
  Scratch() { fs::create_directories(bin); }
  ~Scratch() { fs::remove_all(dir); }
  std::string At(const std::string& name) const { return bin + "/" + name; }
};

TEST(ProgramMacro, WhatIsReadAndWhatCannotBeUsed) {
  struct Expected {
    File file;
    Kind kind;
    bool fatal;
    int code;         // errno of the reader, 0 for none
    std::string end;  // how qmt's sentence ends
  };
  struct Case {
    const char* name;
    std::function<void(const Scratch&)> make;
    std::string named;  // --macro, relative to the program's folder
    bool utf8;
    MacroUse use;
    std::vector<std::string> macro;  // the lines read; empty: none
    std::vector<Expected> problems;
  };
  const auto write = [](const char* name, std::string bytes) {
    return [=](const Scratch& s) { WriteFileAtomic(s.At(name), bytes); };
  };
  const auto folder = [](const char* name) { return [=](const Scratch& s) { fs::create_directories(s.At(name)); }; };
  const auto linkToNothing = [](const char* name) {
    return [=](const Scratch& s) { fs::create_symlink(s.At("nothing.txt"), s.At(name)); };
  };
  const std::string builtInMacro = "; the built-in macro is used instead";
  const std::string builtInColours = "; the built-in colour list is used instead";
  const std::vector<Case> cases = {
      {"nothing there", [](const Scratch&) {}, "", false, MacroUse::kRun, {}, {}},
      {"found file", write("qmtsimMacro.txt", "A:\r\nEXIT\r\n"), "", false, MacroUse::kRun, {"A:", "EXIT"}, {}},
      {"found file, --utf8 is for the named one", write("qmtsimMacro.txt", Sjis("d(\"色\")\r\n")), "", true,
       MacroUse::kRun, {Sjis("d(\"色\")")}, {}},
      {"found folder", folder("qmtsimMacro.txt"), "", false, MacroUse::kRun, {},
       {{File::kMacro, Kind::kUnreadable, false, EISDIR, "Is a directory" + builtInMacro}}},
      {"found link to nothing", linkToNothing("qmtsimMacro.txt"), "", false, MacroUse::kRun, {},
       {{File::kMacro, Kind::kUnreadable, false, ENOENT, "No such file or directory" + builtInMacro}}},
      {"named missing, run", [](const Scratch&) {}, "new.txt", false, MacroUse::kRun, {},
       {{File::kMacro, Kind::kMissing, true, ENOENT, "No such file or directory"}}},
      {"named missing, window", [](const Scratch&) {}, "new.txt", false, MacroUse::kEdit, {},
       {{File::kMacro, Kind::kMissing, false, 0, "does not exist yet; the built-in macro is used until it is saved"}}},
      {"named folder, run", folder("dir.txt"), "dir.txt", false, MacroUse::kRun, {},
       {{File::kMacro, Kind::kUnreadable, true, EISDIR, "Is a directory"}}},
      {"named folder, window", folder("dir.txt"), "dir.txt", false, MacroUse::kEdit, {},
       {{File::kMacro, Kind::kUnreadable, false, EISDIR, "Is a directory" + builtInMacro}}},
      {"named UTF-8 with a byte-order mark", write("u.txt", "\xEF\xBB\xBF" "d(\"色\")\n"), "u.txt", true,
       MacroUse::kRun, {Sjis("d(\"色\")")}, {}},
      {"named, not UTF-8", write("u.txt", "d(\"\x90\x46\")\n"), "u.txt", true, MacroUse::kRun, {},
       {{File::kMacro, Kind::kEncoding, true, 0, ""}}},
      {"colour folder", [&](const Scratch& s) {
         write("qmtsimMacro.txt", "EXIT\r\n")(s);
         folder("qmtsimColor.txt")(s);
       },
       "", false, MacroUse::kRun, {"EXIT"},
       {{File::kColour, Kind::kUnreadable, false, EISDIR, "Is a directory" + builtInColours}}},
      {"named folder and colour folder", [&](const Scratch& s) {
         folder("dir.txt")(s);
         folder("qmtsimColor.txt")(s);
       },
       "dir.txt", false, MacroUse::kRun, {},
       {{File::kMacro, Kind::kUnreadable, true, EISDIR, "Is a directory"},
        {File::kColour, Kind::kUnreadable, false, EISDIR, "Is a directory" + builtInColours}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scratch s;
    c.make(s);
    const std::string named = c.named.empty() ? "" : s.At(c.named);
    const ConfigFiles files = ChooseConfigFiles(s.At("qmtsim"), named, true, (s.dir / "config").string());
    const ProgramMacroSource source = ReadProgramMacro(files, named, c.utf8, c.use);
    EXPECT_EQ(source.macro.value_or(std::vector<std::string>{}), c.macro);
    EXPECT_EQ(source.macroFile.empty(), c.macro.empty());
    ASSERT_EQ(source.problems.size(), c.problems.size());
    bool fatal = false;
    for (std::size_t i = 0; i < c.problems.size(); ++i) {
      const ProgramFileProblem& p = source.problems[i];
      const Expected& e = c.problems[i];
      EXPECT_EQ(p.file, e.file) << i;
      EXPECT_EQ(p.kind, e.kind) << i;
      EXPECT_EQ(p.fatal, e.fatal) << i;
      EXPECT_EQ(p.code, e.code) << i;
      EXPECT_EQ(p.named, e.file == File::kMacro && !named.empty()) << i;
      EXPECT_EQ(p.path, e.file == File::kColour ? s.At("qmtsimColor.txt") : named.empty() ? s.At("qmtsimMacro.txt") : named);
      const std::string sentence = ProblemSentence(p);
      // The converter names the character and its line, not the file.
      if (e.kind != Kind::kEncoding) {
        EXPECT_NE(sentence.find(p.path), std::string::npos) << sentence;
      }
      EXPECT_TRUE(sentence.ends_with(e.end)) << sentence;
      fatal = fatal || e.fatal;
    }
    EXPECT_EQ(source.Fatal() != nullptr, fatal);
    // What does not stop the run is a note; colours were not read here.
    EXPECT_EQ(source.Notes().size(), c.problems.size() - (fatal ? 1 : 0));
    EXPECT_FALSE(source.colors.has_value());
  }
}

// The sentences qmt prints stay as they were: the reader's own for a file
// that stops the run, with what is used instead for one that does not.
TEST(ProgramMacro, QmtWordsTheProblemsAsBefore) {
  Scratch s;
  fs::create_directories(s.At("qmtsimMacro.txt"));
  const ConfigFiles found = ChooseConfigFiles(s.At("qmtsim"), "", true, (s.dir / "config").string());
  EXPECT_EQ(ReadProgramMacro(found, "", false).Notes(),
            std::vector<std::string>{"cannot read " + s.At("qmtsimMacro.txt") +
                                     ": Is a directory; the built-in macro is used instead"});
  const std::string missing = s.At("missing.txt");
  const ConfigFiles named = ChooseConfigFiles(s.At("qmtsim"), missing, true, (s.dir / "config").string());
  const ProgramMacroSource source = ReadProgramMacro(named, missing, false);
  ASSERT_NE(source.Fatal(), nullptr);
  EXPECT_EQ(ProblemSentence(*source.Fatal()), "cannot open " + missing + ": No such file or directory");
  // A run with a fatal problem compiles nothing.
  const ProgramMacro compiled = CompileProgramMacro(s.At("qmt"), missing, false);
  EXPECT_NE(compiled.source.Fatal(), nullptr);
  EXPECT_TRUE(compiled.compiled.image.empty());
  EXPECT_TRUE(compiled.errors.empty());
}

// A file the user may not read: named, it stops a run; found, the built-in
// macro runs.  (Permissions do not hold for the superuser.)
TEST(ProgramMacro, FileWithoutReadPermission) {
  if (geteuid() == 0) GTEST_SKIP() << "the superuser reads any file";
  Scratch s;
  WriteFileAtomic(s.At("qmtsimMacro.txt"), "EXIT\r\n");
  fs::permissions(s.At("qmtsimMacro.txt"), fs::perms::none);
  const std::string config = (s.dir / "config").string();
  const ProgramMacroSource found = ReadProgramMacro(ChooseConfigFiles(s.At("qmtsim"), "", true, config), "", false);
  ASSERT_EQ(found.problems.size(), 1u);
  EXPECT_FALSE(found.problems[0].fatal);
  EXPECT_EQ(found.problems[0].code, EACCES);
  const std::string named = s.At("qmtsimMacro.txt");
  const ProgramMacroSource run = ReadProgramMacro(ChooseConfigFiles(s.At("qmtsim"), named, true, config), named, false);
  ASSERT_NE(run.Fatal(), nullptr);
  EXPECT_EQ(run.Fatal()->code, EACCES);
}

}  // namespace
}  // namespace qmt
