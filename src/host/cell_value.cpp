#include "host/cell_value.h"

#include <charconv>

namespace qmt {

bool ParseCellValue(std::string_view text, std::int16_t& value) {
  bool negative = false;
  int base = 10;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.starts_with("$")) {
    base = 16;
    text.remove_prefix(1);
  } else if (text.starts_with("0x") || text.starts_with("0X")) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  long v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  if (negative) v = -v;
  if (v < -32768 || v > 65535) return false;
  value = static_cast<std::int16_t>(static_cast<std::uint16_t>(v));
  return true;
}

}  // namespace qmt
