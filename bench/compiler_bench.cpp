// Compiling a generated macro of typical statements with the host's tables:
// assignments, IF lines, calls with five arguments, labels.
#include <benchmark/benchmark.h>

#include <string>

#include "compiler/script.h"
#include "host/name_tables.h"
#include "support/encoding.h"

namespace {

// `lines` lines, about 20 bytes each, every line ended by CR LF.
std::string TypicalMacro(int lines) {
  static const std::string background = qmt::Sjis("色全背景");
  static const std::string red = qmt::Sjis("赤");
  std::string text;
  for (int n = 0; n < lines; ++n) {
    int a = n % 23, b = (n * 7) % 23, label = n / 8;
    switch (n % 8) {
      case 0: text += std::string("L").append(std::to_string(label)) + ":"; break;
      case 1: text += std::string("x").append(std::to_string(a)) + "=x" + std::to_string(b) + "*3+anPRES/4"; break;
      case 2: text += std::string("IF x").append(std::to_string(a)) + ">100 THEN x" + std::to_string(b) + "=0"; break;
      case 3: text += std::string("box(x").append(std::to_string(a)) + ",10,x" + std::to_string(a) + "+32,48,$200+" + background + ")"; break;
      case 4: text += "d(\"PS0\"):c(" + red + ")"; break;
      case 5: text += std::string("IF PTO THEN GOSUB L").append(std::to_string(label)); break;
      case 6: text += std::string("y").append(std::to_string(b)) + "=MulDiv(x" + std::to_string(a) + ",5,7)"; break;
      default: text += std::string("GOTO L").append(std::to_string(label)); break;
    }
    text += "\r\n";
  }
  return text;
}

void BM_Compiler_TypicalMacro(benchmark::State& state) {
  const std::string text = TypicalMacro(static_cast<int>(state.range(0)));
  qmt::NameTables tables;
  qmt::TScript script;
  std::size_t errors = 0;
  tables.Bind(script, [&](const std::string&) { ++errors; });
  for (auto _ : state) {
    script.Compile(text);
    benchmark::DoNotOptimize(script.Code().data());
  }
  // Ten thousand lines make an image over 65536 bytes, which is reported;
  // the compile still runs to its end.
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["bytes"] = static_cast<double>(text.size());
  state.counters["image"] = static_cast<double>(script.Code().size());
  state.counters["errors"] = static_cast<double>(errors / state.iterations());
}
BENCHMARK(BM_Compiler_TypicalMacro)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace
