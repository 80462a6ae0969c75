// links: qmt_protocol qmt_lsp
// The language server's input on arbitrary bytes.  With an even first byte:
// the message reader fed in chunks, each body handled by an initialized
// server with a macro open.  With an odd one: incremental edits on a
// document, read from the bytes (positions, UTF-16 or UTF-8 units, text
// with kanji and surrogate pairs), each followed by what a request reads.
#include <algorithm>
#include <cstddef>
#include <iterator>
#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/message_reader.h"
#include "lsp/document.h"
#include "lsp/server.h"

namespace {

void Messages(const std::uint8_t* data, std::size_t size) {
  qmt::lsp::Server server([](const std::string&) {}, std::chrono::milliseconds(0));
  server.Handle(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"capabilities":{}}})");
  server.Handle(
      R"({"jsonrpc":"2.0","method":"textDocument/didOpen","params":{"textDocument":{"uri":"file:///m","version":1,"text":"a:\n  x = box(1, 2)\n  GOSUB a\n"}}})");
  qmt::protocol::MessageReader reader;
  std::string text;
  std::size_t at = 0;
  while (at < size && !server.Finished()) {
    const std::size_t n = std::min<std::size_t>(1 + data[at] % 64, size - at);
    reader.Feed(std::string_view(reinterpret_cast<const char*>(data) + at, n));
    at += n;
    for (;;) {
      const auto r = reader.Next(text);
      if (r == qmt::protocol::MessageReader::Result::kNeedMore) break;
      if (r == qmt::protocol::MessageReader::Result::kError) server.FramingError(text);
      else server.Handle(text);
    }
    server.DoWork();
  }
}

void Edits(const std::uint8_t* data, std::size_t size) {
  static const char* const kPieces[] = {"", "a", "\n", "\r\n", "\r", "漢", "字\n", "😀", "ｱ", "\"", "x = 1\n", "\xff"};
  qmt::lsp::Document doc((data[0] & 2) ? qmt::lsp::Units::kUtf8 : qmt::lsp::Units::kUtf16);
  doc.SetText("start:\n  漢 = 1\n");
  for (std::size_t i = 1; i + 5 <= size; i += 5) {
    const qmt::lsp::Position a{data[i] % 8 - 1, data[i + 1] % 16 - 1};
    const qmt::lsp::Position b{data[i + 2] % 8 - 1, data[i + 3] % 16 - 1};
    doc.Replace(a, b, kPieces[data[i + 4] % std::size(kPieces)]);
    const std::string cp932 = doc.Cp932();
    doc.UnmappableCharacters();
    const int line = data[i] % (doc.LineCount() + 1);
    doc.ToCp932(line, data[i + 1] % 16);
    doc.ToUnits(line, data[i + 3] % 16);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  if (data[0] & 1) Edits(data, size);
  else Messages(data + 1, size - 1);
  return 0;
}
