// Listings of the last compile: labels, local variables and the program.
#include <cstdio>

#include "compiler/script.h"

namespace qmt {

void TScript::ListLabels(std::vector<std::string>& list) const {
  for (const TScrItem& t : tokens_)
    if (t.Kind == tok::kLabel) list.push_back(std::string(t.Text) + "=" + std::to_string(t.Address));
}

std::vector<std::pair<std::string, int>> TScript::LabelAddresses() const {
  std::vector<std::pair<std::string, int>> out;
  for (const TScrItem& t : tokens_)
    if (t.Kind == tok::kLabel) out.emplace_back(std::string(t.Text), t.Address);
  return out;
}

void TScript::ListVariables(std::vector<std::string>& list) const {
  for (const VariableEntry& v : variables_)
    if (!v.external) list.push_back(v.name + "=" + std::to_string(v.slot));
}

// The first instruction of a source line carries the line's number, unless a
// label definition stands between the line end and the instruction.
void TScript::ListCode(std::vector<std::string>& list) const {
  const int last = static_cast<int>(image_.size()) - 1;
  std::string prefix = "    ";
  char buffer[24];
  for (const TScrItem& t : tokens_) {
    if (t.Kind == tok::kLabel) {
      list.push_back(std::string(t.Text) + ":");
    } else if (t.Kind != tok::kLineEnd) {
      std::snprintf(buffer, sizeof buffer, "%5d:", t.Address);
      int p = t.Address;
      list.push_back(prefix + buffer + InstructionText(image_, last, p));
    }
    prefix = "    ";
    if (t.Kind == tok::kLineEnd) {
      std::snprintf(buffer, sizeof buffer, "%4d", t.Line);
      prefix = buffer;
    }
  }
}

}  // namespace qmt
