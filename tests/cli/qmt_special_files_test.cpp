// qmt with inputs that never end and outputs that are no regular files:
// device nodes and FIFOs of the test's own (never the system's /dev/null or
// /dev/full, which a save must not replace), endless reads refused past
// their limit, a full device failing the command.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "child_output.h"
#include "support/file_io.h"

namespace qmt {
namespace {

namespace fs = std::filesystem;

using cli_test::Drain;
using cli_test::Result;

// Runs qmt with `args`; standard input from `in` (a path, /dev/null when
// empty), standard output to `out` (a path) or a pipe read back.  Bounded:
// a minute and 2 GiB of memory, so that a read without end fails the test
// rather than the machine.
Result RunQmt(const std::vector<std::string>& args, const std::string& in = {}, const std::string& out = {},
              const std::string& input = {}) {
  int outPipe[2], errPipe[2], inPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0 || pipe(inPipe) != 0) return {};
  // A program that ends before it has read its input must not end this test.
  signal(SIGPIPE, SIG_IGN);
  pid_t pid = fork();
  if (pid == 0) {
    int stdinFd = in.empty() ? inPipe[0] : open(in.c_str(), O_RDONLY);
    int stdoutFd = out.empty() ? outPipe[1] : open(out.c_str(), O_WRONLY);
    dup2(stdinFd, 0);
    dup2(stdoutFd, 1);
    dup2(errPipe[1], 2);
    for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1], inPipe[0], inPipe[1]}) close(fd);
    unsetenv("QMT_PORT");
    signal(SIGPIPE, SIG_DFL);
#ifdef __SANITIZE_ADDRESS__
    // The sanitizer reserves terabytes of address space for its shadow, so
    // the bound is on what is resident instead.
    const char* options = getenv("ASAN_OPTIONS");
    const std::string bounded = std::string(options ? options : "") + ":hard_rss_limit_mb=2048";
    setenv("ASAN_OPTIONS", bounded.c_str(), 1);
#else
    const rlimit memory{std::size_t{2} << 30, std::size_t{2} << 30};
    setrlimit(RLIMIT_AS, &memory);
#endif
    alarm(60);
    std::vector<char*> argv{const_cast<char*>(QMT_BINARY)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(QMT_BINARY, argv.data());
    _exit(126);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  close(inPipe[0]);
  auto writer = std::async(std::launch::async, [fd = inPipe[1], &input] {
    for (std::size_t at = 0; at < input.size();) {
      ssize_t n = write(fd, input.data() + at, input.size() - at);
      if (n <= 0) break;
      at += static_cast<std::size_t>(n);
    }
    close(fd);
  });
  auto err = std::async(std::launch::async, [fd = errPipe[0]] { return Drain(fd); });
  Result r;
  r.out = Drain(outPipe[0]);
  r.err = err.get();
  writer.get();
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// What a writer puts into the FIFO at `path`, read as a reader that waits
// on it would; empty when no writer came within a minute.
std::future<std::string> ReadFifo(const std::string& path) {
  // Open before the writer comes, so its open does not wait; a writer that
  // never comes ends the wait at the deadline.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
  return std::async(std::launch::async, [fd] {
    std::string bytes;
    char buffer[65536];
    for (;;) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 60000) <= 0) break;
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n == 0 || (n < 0 && errno != EAGAIN)) break;
      if (n > 0) bytes.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    return bytes;
  });
}

bool IsCharDevice(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

struct Scratch {
  fs::path dir = fs::temp_directory_path() / ("qmt_special_" + std::to_string(getpid()));
  bool nodes = false;  // device nodes could be made (root)
  Scratch() {
    fs::remove_all(dir);
    fs::create_directories(dir);
    nodes = mknod((*this / "zero").c_str(), S_IFCHR | 0666, makedev(1, 5)) == 0 &&
            mknod((*this / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0 &&
            mknod((*this / "full").c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0;
    mkfifo((*this / "fifo").c_str(), 0666);
    WriteFileAtomic(*this / "m.txt", "EXIT\n");
    WriteFileAtomic(*this / "l.txt", "d(\"DS1\")\nEXIT\n");
    WriteFileAtomic(*this / "c.txt", "DS0\nER\n");
    WriteFileAtomic(*this / "s.scn", "tick 1\n");
  }
  ~Scratch() { fs::remove_all(dir); }
  std::string operator/(const std::string& name) const { return (dir / name).string(); }
};

// Every input read to its end stops once past its limit: a macro past what
// the compiler can address, any other file past a large bound.  A macro file
// the program keeps (--macro) must be a file.
TEST(QmtSpecialFiles, EndlessInputIsRefusedPastItsLimit) {
  Scratch s;
  if (!s.nodes) GTEST_SKIP() << "cannot make device nodes (not root)";
  const std::string zero = s / "zero";
  struct Case {
    std::vector<std::string> args;
    std::string in, says;
  };
  for (const Case& c : std::vector<Case>{
           {{"compile", zero}, "", zero + ": File too large (more than 16 MiB)"},
           {{"compile"}, zero, "standard input: File too large (more than 16 MiB)"},
           {{"run", zero}, "", zero + ": File too large (more than 16 MiB)"},
           {{"exec", zero}, "", zero + ": File too large (more than 256 MiB)"},
           {{"run", "--scenario", zero, s / "m.txt"}, "", zero + ": File too large (more than 256 MiB)"},
           {{"run", "--macro", zero}, "", zero + ": a character device, not a file"},
       }) {
    Result r = RunQmt(c.args, c.in);
    const std::string shown = c.args[0] + " " + c.args.back() + (c.in.empty() ? "" : " < " + c.in);
    EXPECT_GT(r.status, 0) << shown << ": " << r.err;
    EXPECT_TRUE(Has(r.err, c.says)) << shown << ": " << r.err;
  }
}

// Every output saved through the atomic save, to a device node, a FIFO or a
// link to one: written into it, never replaced by a regular file; a full
// device fails the command with the reason.
TEST(QmtSpecialFiles, OutputsToDevicesAndFifosAreWrittenIntoThem) {
  Scratch s;
  if (!s.nodes) GTEST_SKIP() << "cannot make device nodes (not root)";
  fs::create_symlink(s / "null", s / "to-null");
  fs::create_symlink(s / "full", s / "to-full");
  const std::vector<std::vector<std::string>> commands{
      {"run", s / "m.txt", "--png"},
      {"exec", s / "c.txt", "--png"},
      {"compile", s / "m.txt", "--image"},
      {"test", s / "s.scn", "--junit"},
  };
  for (std::vector<std::string> args : commands) {
    args.push_back(s / "full");
    for (const std::string& target : {s / "full", s / "to-full"}) {
      args.back() = target;
      Result r = RunQmt(args);
      EXPECT_GT(r.status, 0) << args[0] << " to " << target << ": " << r.err;
      EXPECT_TRUE(Has(r.err, target) && Has(r.err, "No space left on device")) << args[0] << ": " << r.err;
    }
    for (const std::string& target : {s / "null", s / "to-null"}) {
      args.back() = target;
      Result r = RunQmt(args);
      EXPECT_EQ(r.status, 0) << args[0] << " to " << target << ": " << r.err;
    }
    // A reader waiting on the FIFO gets the output.
    args.back() = s / "fifo";
    auto reader = ReadFifo(s / "fifo");
    Result r = RunQmt(args);
    EXPECT_EQ(r.status, 0) << args[0] << " to the FIFO: " << r.err;
    EXPECT_FALSE(reader.get().empty()) << args[0];
    for (const char* node : {"null", "full"}) EXPECT_TRUE(IsCharDevice(s / node)) << args[0] << " replaced " << node;
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(s / "fifo"))) << args[0] << " replaced the FIFO";
    EXPECT_TRUE(fs::is_symlink(s / "to-null") && fs::is_symlink(s / "to-full")) << args[0];
  }
  // Nothing left beside them.
  EXPECT_EQ(std::distance(fs::directory_iterator(s.dir), fs::directory_iterator()), 10);
}

// What a command prints is its result too: standard output on a full device
// fails it.
TEST(QmtSpecialFiles, StandardOutputOnAFullDeviceFailsTheCommand) {
  Scratch s;
  if (!s.nodes) GTEST_SKIP() << "cannot make device nodes (not root)";
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"compile", s / "m.txt", "--list"}, {"run", s / "l.txt", "--lines"}}) {
    Result r = RunQmt(args, "", s / "full");
    EXPECT_EQ(r.status, 1) << args[0] << ": " << r.err;
    EXPECT_TRUE(Has(r.err, "cannot write standard output: No space left on device")) << args[0] << ": " << r.err;
  }
}

// The debug adapter answers a launch whose program is a FIFO or a device
// with an error naming it, at once, and ends when its input does.
TEST(QmtSpecialFiles, DebugAdapterRefusesAProgramThatIsNoFile) {
  Scratch s;
  std::vector<std::pair<std::string, std::string>> programs{{s / "fifo", "a FIFO"}};
  if (s.nodes) programs.push_back({s / "zero", "a character device"});
  for (const auto& [program, kind] : programs) {
    auto frame = [](const std::string& body) {
      return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    };
    const std::string input =
        frame(R"({"seq":1,"type":"request","command":"initialize","arguments":{"adapterID":"qmt"}})") +
        frame(R"({"seq":2,"type":"request","command":"launch","arguments":{"program":")" + program + R"("}})");
    Result r = RunQmt({"dap"}, "", "", input);
    EXPECT_EQ(r.status, 0) << program << ": " << r.err;
    EXPECT_TRUE(Has(r.out, R"("request_seq":2)") && Has(r.out, R"("success":false)")) << r.out;
    EXPECT_TRUE(Has(r.out, program + ": " + kind + ", not a file")) << r.out;
  }
}

// A line the virtual device refuses is named shortly, however long.
TEST(QmtSpecialFiles, RefusedLongLineIsCutInTheMessage) {
  Result r = RunQmt({"send", "--port", "virtual"}, "", "", "TI" + std::string(614438, 'F') + "\n");
  EXPECT_NE(r.err, "");
  EXPECT_LT(r.err.size(), 400u) << r.err.substr(0, 400);
  EXPECT_TRUE(Has(r.err, "(614440 bytes)")) << r.err.substr(0, 400);
}

}  // namespace
}  // namespace qmt
