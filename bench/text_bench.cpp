// Text and pattern commands with their glyphs already cached.
// Goals: GK with 8 kanji < 5 us, HW with 40 characters < 10 us, GI < 300 ns.
#include <benchmark/benchmark.h>

#include <string>

#include "device/glyphs.h"
#include "device/qmt3308.h"
#include "support/encoding.h"

namespace {

// Runs `line` on a device whose glyphs have been drawn once already, putting
// the position back each time so that every run draws on the page.
template <typename Reset>
void RunLine(benchmark::State& state, const std::string& line, Reset reset) {
  qmt::TQMT3308 device;
  reset(device);
  if (!device.ExecuteLine(line)) {
    state.SkipWithError(qmt::Cp932ToUtf8(device.LastError()).c_str());
    return;
  }
  for (auto _ : state) {
    reset(device);
    benchmark::DoNotOptimize(device.ExecuteLine(line));
  }
  benchmark::ClobberMemory();
}

void BM_GK_8Kanji(benchmark::State& state) {
  // 漢字表示装置試験中 in JIS X 0208.
  const std::string line = "GK'34413B7A493D3C28417543563B6E3833'";
  RunLine(state, line, [](qmt::TQMT3308& d) { d.MutableState().graphicPoint = {100, 100}; });
}
BENCHMARK(BM_GK_8Kanji);

void BM_HW_40Characters(benchmark::State& state) {
  const std::string line = "HW'PRESSURE 0.75MPa FLOW 1234L/min RUN OK'";
  RunLine(state, line, [](qmt::TQMT3308& d) { d.MutableState().Cursor(qmt::TextCursor::k8x16) = {0, 5}; });
}
BENCHMARK(BM_HW_40Characters);

void BM_CW_40Characters(benchmark::State& state) {
  const std::string line = "CW'PRESSURE 0.75MPa FLOW 1234L/min RUN OK'";
  RunLine(state, line, [](qmt::TQMT3308& d) { d.MutableState().Cursor(qmt::TextCursor::k8x8) = {0, 5}; });
}
BENCHMARK(BM_CW_40Characters);

void BM_GI(benchmark::State& state) {
  std::string line = "GI";
  for (int i = 0; i < 32; ++i) line.push_back(static_cast<char>(i % 2 ? 0xA5 : 0x3C));
  RunLine(state, line, [](qmt::TQMT3308& d) { d.MutableState().graphicPoint = {200, 200}; });
}
BENCHMARK(BM_GI);

void BM_DI(benchmark::State& state) {
  std::string line = "DI";
  for (int i = 0; i < 128; ++i) line.push_back(static_cast<char>(i % 3 ? 0xF0 : 0x0F));
  RunLine(state, line, [](qmt::TQMT3308& d) { d.MutableState().graphicPoint = {200, 200}; });
}
BENCHMARK(BM_DI);

// The glyph engine alone: a cached run of 40 half-width characters.
void BM_RenderRun40(benchmark::State& state) {
  qmt::GlyphEngine& engine = qmt::SharedGlyphEngine();
  const std::string text = "PRESSURE 0.75MPa FLOW 1234L/min RUN OK12";
  qmt::TextMask mask;
  engine.Render(text, 320, 16, mask);
  for (auto _ : state) {
    engine.Render(text, 320, 16, mask);
    benchmark::DoNotOptimize(mask.ink.data());
  }
}
BENCHMARK(BM_RenderRun40);

}  // namespace
