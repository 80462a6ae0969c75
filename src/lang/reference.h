// The manual's reference entries, for hover, completion and signature help:
// the built-ins, the keywords and the device commands, each the Markdown text
// from its "### " heading to the next heading (UTF-8).
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qmt::lang {

struct ReferenceEntry {
  std::string key;        // as spelled in the heading: "d", "GOSUB", "DS"
  std::string title;      // the heading without "### "
  std::string text;       // the entry, Markdown, example markers removed
  std::string signature;  // built-ins: "box(x, y, 幅, 高さ, モード)"; commands: "TFs,v"
};

class Reference {
 public:
  // The pages built into the program.
  static const Reference& Builtin();
  // Pages given as text (for tests): built-ins, commands, language.
  Reference(std::string_view builtins, std::string_view commands, std::string_view language);

  // Built-ins and keywords ignore letter case; commands do not.
  const ReferenceEntry* Word(std::string_view name) const;
  const ReferenceEntry* Command(std::string_view mnemonic) const;
  const std::map<std::string, ReferenceEntry>& Commands() const { return commands_; }
  // What a table row of the language page says about a name (the external
  // values: meaning and range), or an empty string.
  std::string Note(std::string_view name) const;

 private:
  void AddPage(std::string_view markdown, bool commands);

  std::map<std::string, ReferenceEntry> commands_;
  std::map<std::string, ReferenceEntry> words_;  // keys in lower case
  std::map<std::string, std::string> notes_;
};

// The parameter names of a signature "name(a, b, c)".
std::vector<std::string> SignatureParameters(std::string_view signature);

}  // namespace qmt::lang
