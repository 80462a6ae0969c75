// qmt run and qmt compile with the files a user gives them: directories,
// UTF-8 macro files, the program's own files beside it or in the
// configuration folder, and sensor clicks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "child_output.h"
#include "support/file_io.h"

namespace qmt {
namespace {

namespace fs = std::filesystem;

using cli_test::Drain;
using cli_test::Result;

// Runs `program` with `args` and the environment variables `env` (NAME=VALUE)
// added.  When this test runs as root, `unprivileged` runs it as nobody, so
// that a read-only folder is read-only for it.
Result RunQmt(const std::string& program, const std::vector<std::string>& args,
           const std::vector<std::string>& env = {}, bool unprivileged = false) {
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) return {};
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(out[0]);
    close(err[0]);
    int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, 0);
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    unsetenv("QMT_PORT");
    if (unprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(125);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(126);
  }
  close(out[1]);
  close(err[1]);
  Result r;
  // Standard error is small; read it after standard output.
  r.out = Drain(out[0]);
  r.err = Drain(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// A scratch folder open to every user, with a copy of qmt in `prog/` (a
// program folder of its own; a `bin` folder would make it an installed one).
struct Scratch {
  fs::path dir = fs::temp_directory_path() / ("qmt_cli_" + std::to_string(getpid()));
  std::string qmt;
  Scratch() {
    fs::remove_all(dir);
    fs::create_directories(dir / "prog");
    fs::create_directories(dir / "config");
    for (const fs::path& p : {dir, dir / "prog", dir / "config"}) fs::permissions(p, fs::perms::all);
    qmt = (dir / "prog" / "qmt").string();
    fs::copy_file(QMT_BINARY, qmt);
  }
  ~Scratch() {
    std::error_code ec;
    fs::permissions(dir / "prog", fs::perms::all, ec);
    fs::remove_all(dir, ec);
  }
  std::string operator/(const std::string& name) const { return (dir / name).string(); }
  void Write(const std::string& name, const std::string& bytes) const {
    fs::create_directories((dir / name).parent_path());
    WriteFileAtomic(*this / name, bytes);
    fs::permissions(*this / name, fs::perms::all);
  }
  std::string Env() const { return "XDG_CONFIG_HOME=" + *this / "config"; }
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(QmtFiles, ADirectoryWhereAFileBelongsIsAnError) {
  Scratch s;
  const std::string folder = s / "config";
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"compile", folder}, {"run", folder}, {"exec", folder}, {"run", "--macro", folder},
           {"test", "--macro", folder, folder}}) {
    Result r = RunQmt(s.qmt, args, {s.Env()});
    EXPECT_NE(r.status, 0) << args[0];
    EXPECT_TRUE(Has(r.err, folder)) << args[0] << ": " << r.err;
  }
}

// Command lines end at CR LF, LF or CR, as every text the program reads;
// failing lines are numbered so, blank ones skipped.
TEST(QmtFiles, ExecNumbersLinesEndingInCrLfLfOrCr) {
  Scratch s;
  s.Write("c.txt", "DS0\r\nER\rXX\n\nYY\r\nLA0,0,639,479,1");
  Result r = RunQmt(s.qmt, {"exec", s / "c.txt"}, {s.Env()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "3: 不正なコマンド\n5: 不正なコマンド\n");
}

TEST(QmtFiles, MacroOptionHonoursUtf8) {
  Scratch s;
  s.Write("u.txt", "\xEF\xBB\xBF" "EXIT\n色:\n  d(\"DS1\")\n  EXIT\n");
  Result r = RunQmt(s.qmt, {"run", "--macro", s / "u.txt", "--utf8", "--event", "色", "--lines"}, {s.Env()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "DS1\n");
  EXPECT_EQ(r.err, "");  // a file named by --macro needs no note
}

// A repeatable option takes one value each time, so the macro file may come
// after it.
TEST(QmtFiles, RepeatableOptionsTakeOneValueEach) {
  Scratch s;
  s.Write("m.txt", "EXIT\nA:\n  d(\"DS1\")\n  EXIT\n");
  for (const std::string& option : {"--tick", "--event", "--set", "--slider", "--switch"}) {
    const std::string value = option == "--tick"     ? "1"
                              : option == "--event"  ? "A"
                              : option == "--set"    ? "PTO=1"
                              : option == "--slider" ? "pres=5"
                                                     : "PTO=1";
    Result r = RunQmt(s.qmt, {"run", option, value, s / "m.txt", "--lines"}, {s.Env()});
    EXPECT_EQ(r.status, 0) << option << ": " << r.err;
    EXPECT_EQ(r.out, option == "--event" ? "DS1\n" : "") << option;
  }
}

// --switch is the scenario step: the click's event comes after the next
// tick, two clicks before a tick leave one event, and a click on a box in
// the state asked still delivers the event.
TEST(QmtFiles, SwitchIsAClickAndSetIsSilent) {
  Scratch s;
  s.Write("m.txt", "EXIT\nchgPTO:\n  IF PTO == 1 THEN d(\"DS1\")\n  IF PTO == 0 THEN d(\"DS2\")\n  EXIT\n");
  struct Case {
    std::vector<std::string> options;
    std::string lines;
  } cases[] = {
      {{"--switch", "PTO=1"}, ""},
      {{"--switch", "PTO=1", "--tick", "1"}, "DS1\n"},
      {{"--switch", "PTO=1", "--switch", "PTO=0", "--tick", "1"}, "DS2\n"},
      {{"--switch", "PTO=1", "--tick", "1", "--switch", "PTO=0", "--tick", "1"}, "DS1\nDS2\n"},
      {{"--set", "PTO=1", "--tick", "1"}, ""},
      {{"--switch", "PTO=0", "--tick", "1"}, "DS2\n"},
      {{"--switch", "SCW1=1", "--tick", "1"}, ""},  // no chgSCW1 label
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"run", s / "m.txt", "--lines"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    Result r = RunQmt(s.qmt, args, {s.Env()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, c.lines) << c.options[0] << " " << c.options[1];
  }
}

// Out-of-range and unknown option values are errors with the status of a
// bad option, 2, in every command.
TEST(QmtFiles, BadOptionValuesExitWithTwo) {
  Scratch s;
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"run", "--set", "PTO=99999"}, {"run", "--tick", "-1"}, {"run", "--tick", "1000001"},
           {"run", "--tick", "600000", "--tick", "600000"}, {"run", "--switch", "PTO=2"}, {"run", "--slider", "wind=3"},
           {"run", "--no-such-option"},
           {"compile", "--no-such-option"}, {"test", "--jobs", "0"}}) {
    Result r = RunQmt(s.qmt, args, {s.Env()});
    EXPECT_EQ(r.status, 2) << args[0] << " " << args[1] << ": " << r.err;
  }
}

// Without --macro, qmt reads the files that the simulator saves beside it.
// A colour file that cannot be read is a note, the same in run and test.
TEST(QmtFiles, UnreadableColourFileKeepsTheBuiltInList) {
  Scratch s;
  fs::create_directories(s / "prog/qmtsimColor.txt");
  s.Write("m.txt", "d(\"DS0\")\nEXIT\n");
  s.Write("s.scn", "expect line DS0\n");
  Result run = RunQmt(s.qmt, {"run", "--macro", s / "m.txt", "--lines"}, {s.Env()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "DS0\n");
  Result test = RunQmt(s.qmt, {"test", "--macro", s / "m.txt", s / "s.scn"}, {s.Env()});
  EXPECT_EQ(test.status, 0) << test.out << test.err;
  for (const Result* r : {&run, &test}) {
    EXPECT_TRUE(Has(r->err, s / "prog/qmtsimColor.txt")) << r->err;
    EXPECT_TRUE(Has(r->err, "built-in colour list")) << r->err;
  }
}

TEST(QmtFiles, ReadOnlyProgramFolderReadsShippedFilesThenSavedCopies) {
  Scratch s;
  s.Write("prog/qmtsimMacro.txt", "d(\"DS1\")\nEXIT\n");
  fs::permissions(s / "prog", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                  fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  // Nothing saved yet: the shipped macro runs, without a note.
  Result shipped = RunQmt(s.qmt, {"run", "--lines"}, {s.Env()}, true);
  EXPECT_EQ(shipped.status, 0) << shipped.err;
  EXPECT_EQ(shipped.out, "DS1\n");
  EXPECT_EQ(shipped.err, "");
  // The saved copy wins, and qmt says where it came from.
  s.Write("config/qmt3308/qmtsimMacro.txt", "d(\"DS2\")\nEXIT\n");
  Result saved = RunQmt(s.qmt, {"run", "--lines"}, {s.Env()}, true);
  EXPECT_EQ(saved.out, "DS2\n");
  EXPECT_TRUE(Has(saved.err, "note: ")) << saved.err;
  EXPECT_TRUE(Has(saved.err, s / "config/qmt3308/qmtsimMacro.txt")) << saved.err;
  // A macro named by --macro gets no note.
  s.Write("m.txt", "d(\"DS3\")\nEXIT\n");
  Result named = RunQmt(s.qmt, {"run", "--macro", s / "m.txt", "--lines"}, {s.Env()}, true);
  EXPECT_EQ(named.out, "DS3\n");
  EXPECT_EQ(named.err, "");
}

// An installed qmt keeps its files in the configuration folder even where it
// could write beside itself, says so at its first start, and is quiet after.
TEST(QmtFiles, InstalledProgramNotesItsConfigFolderOnce) {
  Scratch s;
  const std::string installed = s / "usr/bin/qmt";
  fs::create_directories(s / "usr/bin");
  fs::copy_file(QMT_BINARY, installed);
  Result first = RunQmt(installed, {"run", "--lines"}, {s.Env()});
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_TRUE(Has(first.err, "note: ")) << first.err;
  EXPECT_TRUE(Has(first.err, s / "config/qmt3308")) << first.err;
  EXPECT_TRUE(Has(first.err, "installed")) << first.err;
  EXPECT_TRUE(fs::is_directory(s / "config/qmt3308"));
  // Later starts say nothing, also when a saved copy is read from there.
  s.Write("config/qmt3308/qmtsimMacro.txt", "d(\"DS2\")\nEXIT\n");
  Result later = RunQmt(installed, {"run", "--lines"}, {s.Env()});
  EXPECT_EQ(later.out, "DS2\n");
  EXPECT_EQ(later.err, "");
  EXPECT_FALSE(fs::exists(s / "usr/bin/qmtsimMacro.txt"));
}

}  // namespace
}  // namespace qmt
