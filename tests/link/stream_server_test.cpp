// The stream server with real clients on 127.0.0.1 and on a pseudo-terminal.
#include "link/stream_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace qmt {
namespace {

namespace fs = std::filesystem;
using Event = StreamServer::Event;

struct Log {
  std::vector<std::string> lines;
  std::vector<std::pair<Event, std::string>> events;
  bool Has(Event e) const {
    for (auto& [ev, d] : events)
      if (ev == e) return true;
    return false;
  }
};

std::unique_ptr<StreamServer> Start(const std::string& address, Log& log) {
  std::string error;
  auto server = StreamServer::Listen(address, error);
  EXPECT_NE(server, nullptr) << error;
  if (!server) return nullptr;
  server->SetLineHandler([&log](std::string_view l) { log.lines.emplace_back(l); });
  server->SetEventHandler([&log](Event e, const std::string& d) { log.events.emplace_back(e, d); });
  return server;
}

int Connect(const std::string& address) {
  // address is tcp:127.0.0.1:PORT
  int port = std::stoi(address.substr(address.rfind(':') + 1));
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return -1;
  return fd;
}

void Write(int fd, const std::string& bytes) { ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }

// Serves until `done` holds, at most 20 s (a loaded machine may be slow).
template <typename F>
void ServeUntil(StreamServer& server, F done) {
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done() && std::chrono::steady_clock::now() < end) server.Serve(10);
}

TEST(StreamServer, TcpServesOneClientAtATimeAndACutLineIsTheOnlyLoss) {
  Log log;
  auto server = Start("tcp:0", log);
  ASSERT_NE(server, nullptr);
  EXPECT_EQ(server->Address().rfind("tcp:127.0.0.1:", 0), 0u) << server->Address();
  EXPECT_NE(server->Address(), "tcp:127.0.0.1:0");

  int first = Connect(server->Address());
  ASSERT_GE(first, 0);
  std::string gi = "GI" + std::string(32, '\r');
  Write(first, "DS0\r\n" + gi + "\rPS");
  ServeUntil(*server, [&] { return log.lines.size() >= 2; });
  EXPECT_TRUE(server->HasClient());

  // A second client is told why and closed.
  int second = Connect(server->Address());
  ASSERT_GE(second, 0);
  ServeUntil(*server, [&] { return log.Has(Event::kClientRefused); });
  char told[100];
  ssize_t n = ::recv(second, told, sizeof told, MSG_WAITALL);
  EXPECT_EQ(std::string(told, n > 0 ? static_cast<std::size_t>(n) : 0), StreamServer::kRefusal);
  ::close(second);

  // The first leaves mid-line: "PS" is lost, nothing else.
  ::close(first);
  ServeUntil(*server, [&] { return server->ClientsServed() == 1; });
  EXPECT_FALSE(server->HasClient());

  int third = Connect(server->Address());
  Write(third, "ER\r");
  ServeUntil(*server, [&] { return log.lines.size() >= 3; });
  ::close(third);
  ServeUntil(*server, [&] { return server->ClientsServed() == 2; });

  EXPECT_EQ(log.lines, (std::vector<std::string>{"DS0", gi, "ER"}));
  std::vector<Event> kinds;
  for (auto& [e, d] : log.events) kinds.push_back(e);
  EXPECT_EQ(kinds, (std::vector<Event>{Event::kClientConnected, Event::kClientRefused, Event::kLineCut,
                                       Event::kClientLeft, Event::kClientConnected, Event::kClientLeft}));
  EXPECT_EQ(log.events[2].second, "2");
}

TEST(StreamServer, AClientThatLeftFreesThePlaceForTheNextOneAtOnce) {
  // Quick reconnects: each client has written its line and closed before
  // the server looks; none is refused and no line is lost.
  Log log;
  auto server = Start("tcp:0", log);
  ASSERT_NE(server, nullptr);
  for (const char* line : {"DS0\r", "DS1\r", "DS2\r"}) {
    int client = Connect(server->Address());
    ASSERT_GE(client, 0);
    Write(client, line);
    ::close(client);
  }
  ServeUntil(*server, [&] { return server->ClientsServed() == 3; });
  EXPECT_EQ(log.lines, (std::vector<std::string>{"DS0", "DS1", "DS2"}));
  EXPECT_FALSE(log.Has(Event::kClientRefused));
}

TEST(StreamServer, RepliesWaitForAClientThatDoesNotRead) {
  Log log;
  auto server = Start("tcp:0", log);
  ASSERT_NE(server, nullptr);
  std::size_t lines = 0;
  const std::string reply(40, 'r');  // as long as a device message
  server->SetLineHandler([&](std::string_view) {
    ++lines;
    server->Reply(reply);
  });
  int client = Connect(server->Address());
  ::fcntl(client, F_SETFL, O_NONBLOCK);
  // 8 MB of short lines would queue over 100 MB of replies; the server
  // stops reading instead of holding them, and the client's writes stall.
  const std::size_t total = 2'000'000;
  std::string stream;
  for (std::size_t i = 0; i < total; ++i) stream += "ER\r";
  std::size_t written = 0;
  int stalled = 0;
  while (stalled < 20 && written < stream.size()) {
    ssize_t n = ::send(client, stream.data() + written, stream.size() - written, MSG_NOSIGNAL);
    if (n > 0) {
      written += static_cast<std::size_t>(n);
      stalled = 0;
    } else {
      ++stalled;
    }
    server->Serve(1);
    ASSERT_LE(server->RepliesWaiting(), 2 * StreamServer::kReplyBacklog);
  }
  EXPECT_LT(written, stream.size());
  EXPECT_LT(lines, total);
  // Reading the replies lets the rest in.  Bounded by time, not by a count
  // of rounds: on a loaded machine a round may move little.
  std::size_t read = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (lines < total && std::chrono::steady_clock::now() < end) {
    char sink[65536];
    ssize_t n = ::recv(client, sink, sizeof sink, MSG_DONTWAIT);
    if (n > 0) read += static_cast<std::size_t>(n);
    if (written < stream.size()) {
      n = ::send(client, stream.data() + written, stream.size() - written, MSG_NOSIGNAL);
      if (n > 0) written += static_cast<std::size_t>(n);
    }
    server->Serve(1);
  }
  EXPECT_EQ(lines, total);
  ::close(client);
}

TEST(StreamServer, AddressesThatCannotBeUsedAreExplained) {
  const std::pair<const char*, const char*> cases[] = {
      {"udp:3308", "is no address to listen on"},
      {"tcp:99999", "is no address"},
      {"tcp:", "is no address"},
      {"pty:", "names no path"},
      {"tcp:192.0.2.1:0", "cannot listen on 192.0.2.1:0"},
  };
  for (auto [address, part] : cases) {
    std::string error;
    EXPECT_EQ(StreamServer::Listen(address, error), nullptr) << address;
    EXPECT_NE(error.find(part), std::string::npos) << address << ": " << error;
  }
}

TEST(StreamServer, PtyClientLeavesWhenTheTerminalHangsUpAfterData) {
  std::string dir = (fs::temp_directory_path() / ("qmt-pty-" + std::to_string(::getpid()))).string();
  fs::create_directories(dir);
  std::string link = dir + "/qmt";
  ::symlink("/nonexistent", link.c_str());  // an old link is replaced
  Log log;
  {
    auto server = Start("pty:" + link, log);
    ASSERT_NE(server, nullptr);
    server->SetLineHandler([&](std::string_view l) {
      log.lines.emplace_back(l);
      server->Reply("ok:" + std::string(l.substr(0, 3)) + "\r\n");
    });
    EXPECT_EQ(fs::read_symlink(link).string(), server->Address());
    // Nobody has opened the terminal yet: no client, no spinning.
    EXPECT_TRUE(server->Serve(30));
    EXPECT_FALSE(server->HasClient());

    int client = ::open(link.c_str(), O_WRONLY | O_NOCTTY);
    ASSERT_GE(client, 0);
    std::string gi = "GI" + std::string(32, '\r');
    gi[5] = '\n';
    Write(client, gi + "\rDS1\rHH");
    ServeUntil(*server, [&] { return log.lines.size() >= 2; });
    EXPECT_TRUE(server->HasClient());
    ::close(client);
    ServeUntil(*server, [&] { return server->ClientsServed() == 1; });
    EXPECT_EQ(log.lines, (std::vector<std::string>{gi, "DS1"}));
    EXPECT_TRUE(log.Has(Event::kLineCut));

    // Another client may come, and reads only its own replies, not those
    // the first one left unread.
    client = ::open(link.c_str(), O_RDWR | O_NOCTTY);
    Write(client, "ER\r");
    ServeUntil(*server, [&] { return log.lines.size() >= 3; });
    EXPECT_EQ(log.lines.back(), "ER");
    char reply[64] = {};
    ssize_t n = ::read(client, reply, sizeof reply);
    EXPECT_EQ(std::string(reply, n > 0 ? static_cast<std::size_t>(n) : 0), "ok:ER\r\n");
    ::close(client);
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));  // removed at the end

  // Any other file at the link's place is left alone.
  { std::ofstream(link) << "keep"; }
  std::string error;
  EXPECT_EQ(StreamServer::Listen("pty:" + link, error), nullptr);
  EXPECT_NE(error.find("is not a symbolic link"), std::string::npos) << error;
  EXPECT_TRUE(fs::is_regular_file(link));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qmt
