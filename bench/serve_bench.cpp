// The device on the wire: short command lines sent over TCP on 127.0.0.1 by
// a client thread, received, assembled and executed by the serving engine
// that `qmt serve` runs.  Also the line assembler alone.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "device/qmt3308.h"
#include "host/wire_device.h"
#include "link/line_assembler.h"
#include "link/stream_server.h"

namespace {

constexpr int kBatch = 200000;

std::string ShortLines(int n) {
  std::string lines;
  for (int i = 0; i < n; ++i) lines += i % 2 ? "PA100,200\r" : "PR-48,16,0\r";
  return lines;
}

int ConnectTo(const std::string& address) {
  int port = std::stoi(address.substr(address.rfind(':') + 1));
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return -1;
  return fd;
}

void BM_Serve_TcpShortLines(benchmark::State& state) {
  std::string error;
  auto server = qmt::StreamServer::Listen("tcp:0", error);
  if (!server) {
    state.SkipWithError(error.c_str());
    return;
  }
  qmt::TQMT3308 device;
  qmt::WireDevice wire(*server, device);
  int client = ConnectTo(server->Address());
  const std::string batch = ShortLines(kBatch);
  for (auto _ : state) {
    std::size_t target = wire.Lines() + kBatch;
    std::thread writer([&] {
      const char* p = batch.data();
      std::size_t left = batch.size();
      while (left > 0) {
        ssize_t n = ::send(client, p, left, MSG_NOSIGNAL);
        if (n <= 0) return;
        p += n;
        left -= static_cast<std::size_t>(n);
      }
    });
    while (wire.Lines() < target) server->Serve(100);
    writer.join();
  }
  ::close(client);
  if (wire.Errors() != 0) state.SkipWithError("lines failed");
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_Serve_TcpShortLines)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_Serve_AssembleShortLines(benchmark::State& state) {
  qmt::LineAssembler assembler;
  std::size_t lines = 0;
  assembler.SetLineHandler([&](std::string_view) { ++lines; });
  const std::string batch = ShortLines(kBatch);
  for (auto _ : state) {
    for (std::size_t i = 0; i < batch.size(); i += 65536)
      assembler.Feed(std::string_view(batch).substr(i, 65536));
  }
  benchmark::DoNotOptimize(lines);
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_Serve_AssembleShortLines)->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

// The longest lines the wire can bring and the most work one short line can
// ask for: what bounds the time any one line takes.
void BM_Serve_WorstLine(benchmark::State& state) {
  static const std::string lines[] = {
      "TI" + std::string(2 * 640 * 480, 'F'),  // the line limit
      "RA320,240,2147483647",
      "RA320,240,-2147483647",
      "TA0,0,640,480,1",
  };
  const std::string& line = lines[state.range(0)];
  qmt::TQMT3308 device;
  for (auto _ : state) benchmark::DoNotOptimize(device.ExecuteLine(line));
}
BENCHMARK(BM_Serve_WorstLine)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

}  // namespace
