// The bitmap converter over the largest picture the display holds.
#include <benchmark/benchmark.h>

#include "device/pattern.h"
#include "host/bitmap_converter.h"

namespace {

struct CountingEmitter : qmt::ConverterEmitter {
  void EmitGlyph(const std::string& data) override { bytes += qmt::GlyphText(qmt::ConverterTarget::Clipboard, data).size(); }
  void EmitCommand(const std::string& command) override {
    bytes += qmt::CommandText(qmt::ConverterTarget::Clipboard, command).size();
  }
  std::size_t bytes = 0;
};

void BM_ConvertFullScreenBitmap(benchmark::State& state) {
  qmt::MonoBitmap bitmap = qmt::MonoBitmap::Blank(640, 480);
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) bitmap.Set(x, y, (x * 7 + y * 13) % 5 == 0);
  for (auto _ : state) {
    CountingEmitter e;
    qmt::ConvertBitmap(bitmap, e);
    benchmark::DoNotOptimize(e.bytes);
  }
  state.SetItemsProcessed(state.iterations() * 40 * 30);  // blocks
}
BENCHMARK(BM_ConvertFullScreenBitmap)->Unit(benchmark::kMicrosecond);

}  // namespace
