// The value of an external cell as a user writes it on a command line or in
// a scenario file.
#pragma once

#include <cstdint>
#include <string_view>

namespace qmt {

// Decimal with an optional sign, or hexadecimal after "$" or "0x";
// -32768 to 65535, stored modulo 65536.  False for anything else.
bool ParseCellValue(std::string_view text, std::int16_t& value);

}  // namespace qmt
