// links: qmt_support
// dict: macro.dict
// The splitter's expression evaluator on arbitrary text, with a resolver that
// knows one name, as the constant lookup uses it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "support/spliter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qmt::TStringSpliter spliter(std::string(reinterpret_cast<const char*>(data), size));
  auto resolver = [](qmt::TSpliter&, const std::string& name, std::int64_t& value) {
    if (name != "A") return false;
    value = 7;
    return true;
  };
  try {
    while (!spliter.AtEnd()) {
      spliter.Evaluate(resolver);
      if (!spliter.AtEnd()) spliter.NextChar();
    }
  } catch (const qmt::SilentAbort&) {
  }
  return 0;
}
