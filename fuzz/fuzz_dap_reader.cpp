// links: qmt_protocol qmt_dap
// The debug adapter's input on arbitrary bytes: the message reader, fed in
// chunks whose sizes come from the input, and every body it hands out
// given to a session.  Launch is left out: it reads the file it names.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "protocol/message_reader.h"
#include "dap/session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qmt::dap::Session session([](const std::string&) {});
  qmt::protocol::MessageReader reader;
  std::string text;
  std::size_t at = 0;
  while (at < size) {
    const std::size_t chunk = 1 + data[at] % 64;
    const std::size_t n = std::min(chunk, size - at);
    reader.Feed(std::string_view(reinterpret_cast<const char*>(data) + at, n));
    at += n;
    for (;;) {
      const auto r = reader.Next(text);
      if (r == qmt::protocol::MessageReader::Result::kNeedMore) break;
      if (r == qmt::protocol::MessageReader::Result::kError) {
        session.FramingError(text);
        continue;
      }
      const auto json = nlohmann::json::parse(text, nullptr, false);
      if (json.is_object() && json.contains("command") && json["command"] == "launch") continue;
      session.Handle(text);
    }
  }
  return 0;
}
