// The simulator window's own costs: the BUSY pacing of a line when no device
// is ticked (against the "none" link), and a dropped 640 x 480 JPEG picture
// decoded and drawn in the device's colours.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "../tests/common/jpeg_maker.h"
#include "host/picture_drop.h"
#include "host/simulator.h"
#include "host/simulator_binding.h"
#include "link/device_link.h"

namespace {

void BM_Simulator_PacingWithoutDevice(benchmark::State& state) {
  std::string message;
  auto link = qmt::OpenLink("none", message);
  qmt::LinkPort port(*link);
  qmt::Simulator sim({nullptr, nullptr, nullptr, &port, nullptr});
  sim.SetCheckRun(false);
  // A typical box line: (n + 1) * 41 + 1 BUSY reads.
  const std::string line = "TA100,120,259,279,1";
  for (auto _ : state) sim.SendToDevice(line);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Simulator_PacingWithoutDevice)->Unit(benchmark::kMicrosecond);

// libjpeg's default quality, 75.
std::string GradientJpeg() {
  return qmt::test::MakeJpeg(640, 480, 75, [](int x, int y, unsigned char* rgb) {
    rgb[0] = static_cast<unsigned char>(x * 255 / 639);
    rgb[1] = static_cast<unsigned char>(y * 255 / 479);
    rgb[2] = static_cast<unsigned char>((x + y) & 255);
  });
}

void BM_Simulator_DropJpeg(benchmark::State& state) {
  const std::string jpeg = GradientJpeg();
  std::vector<std::uint8_t> page(640 * 480);
  for (auto _ : state) {
    qmt::RgbImage picture;
    std::string error;
    if (!qmt::DecodeJpeg(jpeg, picture, error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    qmt::DrawPictureOnPage(picture, page.data());
    benchmark::DoNotOptimize(page.data());
  }
}
BENCHMARK(BM_Simulator_DropJpeg)->Unit(benchmark::kMillisecond);

}  // namespace
