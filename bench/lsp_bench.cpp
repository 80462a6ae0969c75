// The language server on a 10,000-line macro: each iteration edits one
// character (so the next request analyses the whole text again) and then
// answers one request, through the JSON layer.  Goal: under 50 ms each.
#include <benchmark/benchmark.h>

#include <string>

#include <nlohmann/json.hpp>

#include "lsp/server.h"

namespace {

using nlohmann::json;

std::string TenThousandLines() {
  std::string text = "start:\n";
  for (int i = 0; text.size() < 400000 && i < 9990; ++i) {
    if (i % 50 == 0) text += "l" + std::to_string(i) + ":\n";
    switch (i % 5) {
      case 0: text += "  漢字" + std::to_string(i % 7) + " = box(10, 20, 30, 40, 赤)\n"; break;
      case 1: text += "  d(\"LA#,#,#,#,1,R\", 1, 2, 3, 4)\n"; break;
      case 2: text += "  IF 漢字1 > 3 THEN GOSUB l0\n"; break;
      case 3: text += "  y = y + anLEVEL * 2\n"; break;
      default: text += "  // 注釈\n"; break;
    }
  }
  return text + "  EXIT\n";
}

void Request(benchmark::State& state, const char* method, int line, int character) {
  std::size_t answered = 0;
  qmt::lsp::Server server([&](const std::string& body) { answered += body.size(); }, std::chrono::milliseconds(0));
  server.Handle(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"capabilities":{}}})");
  json open = {{"jsonrpc", "2.0"},
               {"method", "textDocument/didOpen"},
               {"params", {{"textDocument", {{"uri", "file:///big.mac"}, {"version", 1}, {"text", TenThousandLines()}}}}}};
  server.Handle(open.dump());
  json request = {{"jsonrpc", "2.0"},
                  {"id", 2},
                  {"method", method},
                  {"params",
                   {{"textDocument", {{"uri", "file:///big.mac"}}},
                    {"position", {{"line", line}, {"character", character}}},
                    {"context", {{"includeDeclaration", true}}}}}};
  const std::string body = request.dump();
  int version = 1;
  for (auto _ : state) {
    json change = {{"jsonrpc", "2.0"},
                   {"method", "textDocument/didChange"},
                   {"params",
                    {{"textDocument", {{"uri", "file:///big.mac"}, {"version", ++version}}},
                     {"contentChanges",
                      {{{"range", {{"start", {{"line", 5000}, {"character", 2}}}, {"end", {{"line", 5000}, {"character", 2}}}}},
                        {"text", version % 2 ? "" : " "}}}}}}};
    server.Handle(change.dump());
    server.Handle(body);
  }
  benchmark::DoNotOptimize(answered);
}

void BM_Lsp_Hover(benchmark::State& s) { Request(s, "textDocument/hover", 2, 10); }
void BM_Lsp_Completion(benchmark::State& s) { Request(s, "textDocument/completion", 4, 2); }
void BM_Lsp_Definition(benchmark::State& s) { Request(s, "textDocument/definition", 4, 26); }
void BM_Lsp_References(benchmark::State& s) { Request(s, "textDocument/references", 4, 26); }
void BM_Lsp_SemanticTokens(benchmark::State& s) { Request(s, "textDocument/semanticTokens/full", 0, 0); }
void BM_Lsp_Symbols(benchmark::State& s) { Request(s, "textDocument/documentSymbol", 0, 0); }
BENCHMARK(BM_Lsp_Hover)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lsp_Completion)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lsp_Definition)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lsp_References)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lsp_SemanticTokens)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lsp_Symbols)->Unit(benchmark::kMillisecond);

}  // namespace
