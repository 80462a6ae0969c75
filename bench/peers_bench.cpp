// The device's rasterizer against Cairo, and the macro interpreter's loop
// against Lua 5.4, measured side by side in one run.
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <lua.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <random>
#include <string>
#include <vector>

#include "device/qmt3308.h"

namespace {

struct Shape {
  int x1, y1, x2, y2;
  unsigned char colour;
};

// The same 10,000 shapes for every contender.
const std::vector<Shape>& Shapes() {
  static const std::vector<Shape> shapes = [] {
    std::mt19937 rng(3308);
    std::uniform_int_distribution<int> x(0, 639), y(0, 479), c(0, 255);
    std::vector<Shape> v(10000);
    for (auto& s : v) s = {x(rng), y(rng), x(rng), y(rng), static_cast<unsigned char>(c(rng))};
    return v;
  }();
  return shapes;
}

// Command lines for the device: a colour then the shape, as a host sends them.
std::vector<std::string> DeviceLines(const char* mnemonic, const char* flag) {
  std::vector<std::string> lines;
  for (const auto& s : Shapes()) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "CS%02X", s.colour);
    lines.emplace_back(buf);
    std::snprintf(buf, sizeof buf, "%s%d,%d,%d,%d,%s", mnemonic, s.x1, s.y1, s.x2, s.y2, flag);
    lines.emplace_back(buf);
  }
  return lines;
}

void RunDevice(benchmark::State& state, const std::vector<std::string>& lines) {
  qmt::TQMT3308 device;
  for (auto _ : state) {
    for (const auto& line : lines) device.ExecuteLine(line);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * Shapes().size());
}

void BM_Peer_Device_Lines(benchmark::State& state) {
  static const auto lines = DeviceLines("LA", "1");
  RunDevice(state, lines);
}
BENCHMARK(BM_Peer_Device_Lines)->Unit(benchmark::kMillisecond);

void BM_Peer_Device_FilledRects(benchmark::State& state) {
  static const auto lines = DeviceLines("TA", "1");
  RunDevice(state, lines);
}
BENCHMARK(BM_Peer_Device_FilledRects)->Unit(benchmark::kMillisecond);

void SetCairoColour(cairo_t* cr, unsigned char c) {
  cairo_set_source_rgb(cr, (c >> 5) * 36 / 255.0, ((c >> 2) & 7) * 36 / 255.0, (c & 3) * 85 / 255.0);
}

void RunCairo(benchmark::State& state, bool fill) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 640, 480);
  cairo_t* cr = cairo_create(surface);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_set_line_width(cr, 1.0);
  for (auto _ : state) {
    for (const auto& s : Shapes()) {
      SetCairoColour(cr, s.colour);
      if (fill) {
        int x = std::min(s.x1, s.x2), y = std::min(s.y1, s.y2);
        cairo_rectangle(cr, x, y, std::abs(s.x2 - s.x1) + 1, std::abs(s.y2 - s.y1) + 1);
        cairo_fill(cr);
      } else {
        cairo_move_to(cr, s.x1 + 0.5, s.y1 + 0.5);
        cairo_line_to(cr, s.x2 + 0.5, s.y2 + 0.5);
        cairo_stroke(cr);
      }
    }
    cairo_surface_flush(surface);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * Shapes().size());
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

void BM_Peer_Cairo_Lines(benchmark::State& state) { RunCairo(state, false); }
BENCHMARK(BM_Peer_Cairo_Lines)->Unit(benchmark::kMillisecond);

void BM_Peer_Cairo_FilledRects(benchmark::State& state) { RunCairo(state, true); }
BENCHMARK(BM_Peer_Cairo_FilledRects)->Unit(benchmark::kMillisecond);

// Lua 5.4 running the loop that bench/runtime measures in the macro language:
// x = x + i*3 wrapped to 16 bits; if x > 30000 then x = x - 1.
void BM_Peer_Lua_Loop(benchmark::State& state) {
  const int n = 1000000;
  lua_State* L = luaL_newstate();
  luaL_openlibs(L);
  const char* chunk =
      "return function(n)\n"
      "  local x = 0\n"
      "  for i = 1, n do\n"
      "    x = ((x + i * 3 + 32768) & 0xFFFF) - 32768\n"
      "    if x > 30000 then x = x - 1 end\n"
      "  end\n"
      "  return x\n"
      "end\n";
  if (luaL_dostring(L, chunk) != LUA_OK) {
    state.SkipWithError(lua_tostring(L, -1));
    lua_close(L);
    return;
  }
  int fn = luaL_ref(L, LUA_REGISTRYINDEX);
  // One untimed call with a count hook firing on every instruction gives the
  // instructions Lua dispatches per iteration, for the interpreter's rate.
  static long dispatched;
  dispatched = 0;
  lua_sethook(L, [](lua_State*, lua_Debug*) { ++dispatched; }, LUA_MASKCOUNT, 1);
  lua_rawgeti(L, LUA_REGISTRYINDEX, fn);
  lua_pushinteger(L, n);
  lua_call(L, 1, 1);
  lua_pop(L, 1);
  lua_sethook(L, nullptr, 0, 0);
  const double perIteration = static_cast<double>(dispatched) / n;
  for (auto _ : state) {
    lua_rawgeti(L, LUA_REGISTRYINDEX, fn);
    lua_pushinteger(L, n);
    lua_call(L, 1, 1);
    benchmark::DoNotOptimize(lua_tointeger(L, -1));
    lua_pop(L, 1);
  }
  state.SetItemsProcessed(state.iterations() * n);
  state.counters["instr/iter"] = perIteration;
  state.counters["instr/s"] =
      benchmark::Counter(perIteration * static_cast<double>(state.iterations()) * n, benchmark::Counter::kIsRate);
  lua_close(L);
}
BENCHMARK(BM_Peer_Lua_Loop)->Unit(benchmark::kMillisecond);

// Lua 5.4's own compiler on the 1,000-line macro of the compiler benchmark
// written statement for statement in Lua (bench/typical_macro.lua), loaded
// from memory into a state and dropped again, as luac would compile it.
void BM_Peer_Luac_TypicalMacro(benchmark::State& state) {
  std::ifstream file(QMT_SOURCE_DIR "/bench/typical_macro.lua", std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  const std::string source = text.str();
  if (source.empty()) {
    state.SkipWithError("bench/typical_macro.lua is missing");
    return;
  }
  lua_State* L = luaL_newstate();
  for (auto _ : state) {
    if (luaL_loadbuffer(L, source.data(), source.size(), "typical_macro") != LUA_OK) {
      state.SkipWithError(lua_tostring(L, -1));
      break;
    }
    lua_pop(L, 1);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source.size()));
  lua_close(L);
}
BENCHMARK(BM_Peer_Luac_TypicalMacro)->Unit(benchmark::kMicrosecond);

}  // namespace
