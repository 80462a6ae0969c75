// The device's hot paths: page clear and full-page fill against memset of a
// page in the same run, a short command line, and a page-wide line.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "device/qmt3308.h"

namespace {

void BM_Device_Memset(benchmark::State& state) {
  std::unique_ptr<std::uint8_t[]> page(new std::uint8_t[qmt::kPageBytes]);
  int value = 0;
  for (auto _ : state) {
    std::memset(page.get(), value++ & 0xFF, qmt::kPageBytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * qmt::kPageBytes);
}
BENCHMARK(BM_Device_Memset);

void BM_Device_Erase(benchmark::State& state) {
  qmt::TQMT3308 device;
  for (auto _ : state) {
    benchmark::DoNotOptimize(device.ExecuteLine("ER"));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * qmt::kPageBytes);
}
BENCHMARK(BM_Device_Erase);

void BM_Device_FillPage(benchmark::State& state) {
  qmt::TQMT3308 device;
  for (auto _ : state) {
    benchmark::DoNotOptimize(device.ExecuteLine("TA0,0,640,480,1,R"));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * qmt::kPageBytes);
}
BENCHMARK(BM_Device_FillPage);

void BM_Device_ExecuteLine_PA(benchmark::State& state) {
  qmt::TQMT3308 device;
  for (auto _ : state) benchmark::DoNotOptimize(device.ExecuteLine("PA100,200"));
}
BENCHMARK(BM_Device_ExecuteLine_PA);

// A slanted line across the whole width: 640 pixels, one per column.
void BM_Device_Line640(benchmark::State& state) {
  qmt::TQMT3308 device;
  for (auto _ : state) {
    benchmark::DoNotOptimize(device.ExecuteLine("LA0,0,639,479,1"));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Device_Line640);

void BM_Device_Circle(benchmark::State& state) {
  qmt::TQMT3308 device;
  for (auto _ : state) {
    benchmark::DoNotOptimize(device.ExecuteLine("RA320,240,200"));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Device_Circle);

// TI of a whole store page: 614,402 bytes parsed in one pass.
void BM_Device_TI(benchmark::State& state) {
  qmt::TQMT3308 device;
  std::string line = "TI";
  for (int i = 0; i < qmt::kPageBytes; ++i) line += "a5";
  for (auto _ : state) benchmark::DoNotOptimize(device.ExecuteLine(line));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(line.size()));
}
BENCHMARK(BM_Device_TI)->Unit(benchmark::kMicrosecond);

}  // namespace
