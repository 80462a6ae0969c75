#include "host/macro_compile.h"

#include "compiler/script.h"
#include "host/name_tables.h"
#include "support/spliter.h"

namespace qmt {

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
  return lines;
}

std::string JoinLinesCrLf(const std::vector<std::string>& lines) {
  std::size_t size = 0;
  for (const std::string& l : lines) size += l.size() + 2;
  std::string text;
  text.reserve(size);
  for (const std::string& l : lines) {
    text += l;
    text += "\r\n";
  }
  return text;
}

std::vector<std::string> CompileMacroLines(TScript& script, const NameTables& tables,
                                           const std::vector<std::string>& lines) {
  std::vector<std::string> log;
  tables.Bind(script, [&log](const std::string& message) { log.push_back(message); });
  try {
    script.Compile(JoinLinesCrLf(lines));
  } catch (const ScriptAbort& e) {
    log.push_back(e.what());
  } catch (const SilentAbort& e) {
    // A constant whose value text does not evaluate.
    log.push_back(e.message());
  }
  // The log sink refers to `log`, which dies here.
  script.OnErrorMsg = nullptr;
  return log;
}

}  // namespace qmt
