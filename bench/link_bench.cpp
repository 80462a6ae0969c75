// The transmit path without hardware: the per-byte handshake through the
// virtual device, and how fast a line fails when no device is attached
// (the host calls SendLine and DeviceBusy from its event handlers).
#include <benchmark/benchmark.h>

#include <string>

#include "link/device_link.h"
#include "link/ports.h"
#include "link/transmit.h"
#include "link/virtual_device.h"

namespace {

void BM_Link_SendLineVirtual(benchmark::State& state) {
  qmt::VirtualDevice device;
  std::size_t lines = 0;
  device.SetLineHandler([&lines](std::string_view) { ++lines; });
  qmt::PortTransmitter tx(device);
  const std::string line = "TA10,10,200,120,1";
  for (auto _ : state) benchmark::DoNotOptimize(tx.SendLine(line));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * (line.size() + 1)));
  benchmark::DoNotOptimize(lines);
}
BENCHMARK(BM_Link_SendLineVirtual);

void BM_Link_SendLineNoDevice(benchmark::State& state) {
  qmt::NoDevicePort port;
  qmt::PortTransmitter tx(port);
  for (auto _ : state) benchmark::DoNotOptimize(tx.SendLine("DS0"));
}
BENCHMARK(BM_Link_SendLineNoDevice);

void BM_Link_DeviceBusyNoDevice(benchmark::State& state) {
  qmt::NoDevicePort port;
  qmt::PortTransmitter tx(port);
  for (auto _ : state) benchmark::DoNotOptimize(tx.DeviceBusy());
}
BENCHMARK(BM_Link_DeviceBusyNoDevice);

}  // namespace
