// links: qmt_compiler
// dict: macro.dict
// TScript::Compile on arbitrary text, with the host's name tables bound, so
// constants, externals and built-ins are all reachable.  Every outcome other
// than a crash is acceptable: a clean compile, reported errors, ScriptAbort.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "compiler/script.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qmt::TScript script;
  script.OnExtFunc = [](std::string_view name) { return name == "d" ? 0 : name == "GI" ? 10 : -1; };
  script.OnExtLabel = [](std::string_view name) { return name == "DTIME1" ? 0 : name == "anPRES" ? 5 : -1; };
  script.OnConstLab = [](std::string_view name, std::int16_t& dt) {
    if (name != "RED") return false;
    dt = 0xE0;
    return true;
  };
  int reported = 0;
  script.OnErrorMsg = [&](int, const std::string&) { ++reported; };
  try {
    script.Compile(std::string_view(reinterpret_cast<const char*>(data), size));
    std::vector<std::string> list;
    script.ListCode(list);
    script.ListLabels(list);
    script.ListVariables(list);
  } catch (const qmt::ScriptAbort&) {
  }
  return 0;
}
