// The simulator window's own costs: the BUSY pacing of a line when no device
// is ticked (against the "none" link), and a dropped 640 x 480 JPEG picture
// decoded and drawn in the device's colours.
#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <cstdlib>
#include <string>
#include <vector>

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

std::string GradientJpeg() {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buf, &size);
  c.image_width = 640;
  c.image_height = 480;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_start_compress(&c, TRUE);
  std::vector<unsigned char> row(640 * 3);
  while (c.next_scanline < c.image_height) {
    for (int x = 0; x < 640; ++x) {
      row[x * 3] = static_cast<unsigned char>(x * 255 / 639);
      row[x * 3 + 1] = static_cast<unsigned char>(c.next_scanline * 255 / 479);
      row[x * 3 + 2] = static_cast<unsigned char>((x + c.next_scanline) & 255);
    }
    unsigned char* rows[1] = {row.data()};
    jpeg_write_scanlines(&c, rows, 1);
  }
  jpeg_finish_compress(&c);
  std::string out(reinterpret_cast<char*>(buf), size);
  jpeg_destroy_compress(&c);
  std::free(buf);
  return out;
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
