#include "support/name_case.h"

namespace qmt {

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  std::size_t i = 0;
  while (i < a.size()) {
    std::size_t la = 0, lb = 0;
    if (FoldedCharacter(a, i, la) != FoldedCharacter(b, i, lb) || la != lb) return false;
    i += la;
  }
  return true;
}

std::string FoldName(std::string_view name) {
  std::string key;
  key.reserve(name.size());
  for (std::size_t i = 0; i < name.size();) {
    std::size_t length = 0;
    const std::uint16_t c = FoldedCharacter(name, i, length);
    if (length == 2) key += static_cast<char>(c >> 8);
    key += static_cast<char>(c & 0xFF);
    i += length;
  }
  return key;
}

}  // namespace qmt
