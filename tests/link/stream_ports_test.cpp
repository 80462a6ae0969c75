// The stream ports and the stream server against real descriptors: FIFOs
// and pseudo-terminals standing in for printer devices, TCP on 127.0.0.1.
#include "link/stream_ports.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "link/device_link.h"
#include "link/stream_server.h"

namespace qmt {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "qmt-stream-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TempDir() { fs::remove_all(path_); }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

// Everything readable on `fd` within `ms` (stops at the first quiet 50 ms).
std::string ReadAvailable(int fd, int ms = 2000) {
  std::string got;
  auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (Clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, got.empty() ? 200 : 50) <= 0) {
      if (!got.empty()) break;
      continue;
    }
    char buf[65536];
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) break;
    got.append(buf, static_cast<std::size_t>(n));
  }
  return got;
}

const std::string kGi = [] {
  std::string gi = "GI" + std::string(32, '\r');
  gi[10] = '\0';
  return gi;
}();

TEST(LpPort, LinesReachAFifoWithTheirCarriageReturns) {
  TempDir dir;
  std::string fifo = dir / "lp0";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  std::string message;
  auto link = OpenLink("lp:" + fifo, message);
  ASSERT_EQ(link->Name(), "lp:" + fifo) << message;
  EXPECT_TRUE(link->SendLine("DS0"));
  EXPECT_TRUE(link->SendLine(kGi));
  EXPECT_TRUE(link->SendLine(""));
  EXPECT_FALSE(link->DeviceBusy());
  EXPECT_EQ(ReadAvailable(reader), "DS0\r" + kGi + "\r\r");
  ::close(reader);
}

TEST(LpPort, AReaderThatStopsReadingOrIsGoneMeansNotConnected) {
  TempDir dir;
  std::string fifo = dir / "lp0";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string message;
  auto link = OpenLink("lp:" + fifo, message);
  ASSERT_EQ(message, "");
  // Nobody has the FIFO open for reading.
  EXPECT_FALSE(link->SendLine("DS0"));
  EXPECT_NE(link->Problem().find("nobody reads " + fifo), std::string::npos) << link->Problem();

  // A reader that never reads: the pipe fills, then the port gives up
  // within its timeout, not before.
  int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  std::string line(4000, 'A');
  auto start = Clock::now();
  int sent = 0;
  while (link->SendLine(line) && sent < 10000) ++sent;
  auto lastLine = Clock::now() - start;
  EXPECT_LT(sent, 10000);
  EXPECT_NE(link->Problem().find("took nothing for 101 ms"), std::string::npos) << link->Problem();
  EXPECT_GE(lastLine, std::chrono::milliseconds(StreamPort::kStallMs));
  EXPECT_LT(lastLine, std::chrono::seconds(3));

  // The reader goes away: the next line fails at once (and the process is
  // not killed by SIGPIPE).
  ::close(reader);
  reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  int writerCheck = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);  // keeps the FIFO from hanging up
  ASSERT_GE(writerCheck, 0);
  EXPECT_TRUE(link->SendLine("ER"));  // reopened: a reader is there again
  ::close(reader);
  EXPECT_FALSE(link->SendLine("ER"));
  ::close(writerCheck);
}

TEST(LpPort, ADeviceThatTakesBytesSlowlyIsNotStalled) {
  // The device takes 512 bytes every 20 ms; its FIFO frees room for another
  // write only a page at a time, far less often than every 101 ms.
  TempDir dir;
  std::string fifo = dir / "lp0";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  ASSERT_GT(::fcntl(reader, F_SETPIPE_SZ, 4096), 0);
  const std::string line(2000, 'A');
  const std::size_t total = 6 * (line.size() + 1);
  std::atomic<std::size_t> got = 0;  // read by the test while the device thread counts
  std::thread device([&] {
    auto end = Clock::now() + std::chrono::seconds(30);
    while (got < total && Clock::now() < end) {
      char buf[512];
      ssize_t n = ::read(reader, buf, sizeof buf);
      if (n > 0) got += static_cast<std::size_t>(n);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  std::string message;
  auto link = OpenLink("lp:" + fifo, message);
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(link->SendLine(line)) << "line " << i << ": " << link->Problem();
  device.join();
  EXPECT_EQ(got.load(), total);
  ::close(reader);
}

TEST(LpPort, APseudoTerminalStandsInForTheDevice) {
  std::string error;
  auto server = StreamServer::Listen("pty", error);
  ASSERT_NE(server, nullptr) << error;
  std::vector<std::string> lines;
  server->SetLineHandler([&](std::string_view l) { lines.emplace_back(l); });
  std::string message;
  auto link = OpenLink("lp:" + server->Address(), message);
  ASSERT_EQ(message, "");
  ASSERT_TRUE(link->SendLine(kGi + ",R"));
  ASSERT_TRUE(link->SendLine("PR-48,16,0"));
  for (int i = 0; i < 50 && lines.size() < 2; ++i) server->Serve(20);
  EXPECT_EQ(lines, (std::vector<std::string>{kGi + ",R", "PR-48,16,0"}));
}

// A listening socket on a free port of 127.0.0.1.
int ListenLocal(int& port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(fd, 4) != 0) return -1;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  port = ntohs(a.sin_port);
  return fd;
}

TEST(TcpPort, SendsLinesReportsRefusedAndLostAndReconnects) {
  int port = 0;
  int listener = ListenLocal(port);
  ASSERT_GE(listener, 0);
  std::string message;
  auto link = OpenLink("tcp:127.0.0.1:" + std::to_string(port), message);
  ASSERT_EQ(message, "");
  ASSERT_TRUE(link->SendLine("DS0"));
  ASSERT_TRUE(link->SendLine(kGi));
  int peer = ::accept(listener, nullptr, nullptr);
  ASSERT_GE(peer, 0);
  EXPECT_EQ(ReadAvailable(peer), "DS0\r" + kGi + "\r");

  // The peer closes: the next line is "not connected", the one after that
  // connects again.
  ::close(peer);
  ::usleep(20000);
  EXPECT_FALSE(link->SendLine("ER"));
  EXPECT_NE(link->Problem().find("was closed"), std::string::npos) << link->Problem();
  EXPECT_TRUE(link->SendLine("PS1"));
  peer = ::accept(listener, nullptr, nullptr);
  EXPECT_EQ(ReadAvailable(peer), "PS1\r");
  ::close(peer);

  // Nobody listens any more.
  ::close(listener);
  ::usleep(20000);
  EXPECT_FALSE(link->SendLine("ER"));
  EXPECT_FALSE(link->SendLine("ER"));
  EXPECT_NE(link->Problem().find("Connection refused"), std::string::npos) << link->Problem();
}

TEST(FilePort, AFifoWhoseReaderStopsFailsTheLineInTime) {
  TempDir dir;
  std::string fifo = dir / "out";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  std::string message;
  auto link = OpenLink("file:" + fifo, message);
  ASSERT_EQ(message, "");
  // Should the write block, the reader leaves after 20 s and frees it.
  std::atomic<bool> done{false};
  std::thread watchdog([&] {
    for (int i = 0; i < 200 && !done; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ::close(reader);
  });
  const std::string line(4000, 'A');
  auto start = Clock::now();
  int sent = 0;
  while (sent < 1000 && link->SendLine(line)) ++sent;
  auto spent = Clock::now() - start;
  done = true;
  watchdog.join();
  EXPECT_LT(sent, 1000);
  EXPECT_NE(link->Problem().find(fifo + ": the device took nothing for 101 ms"), std::string::npos)
      << link->Problem();
  EXPECT_LT(spent, std::chrono::seconds(10));
}

TEST(FilePort, WritesTheBytesOfEveryLine) {
  TempDir dir;
  std::string file = dir / "out.bin";
  {
    std::string message;
    auto link = OpenLink("file:" + file, message);
    ASSERT_EQ(message, "");
    EXPECT_TRUE(link->SendLine(kGi));
    EXPECT_TRUE(link->SendLine("ER"));
  }
  int fd = ::open(file.c_str(), O_RDONLY);
  EXPECT_EQ(ReadAvailable(fd, 200), kGi + "\rER\r");
  ::close(fd);
}

}  // namespace
}  // namespace qmt
