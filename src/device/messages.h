// The device's messages, built once as code page 932 bytes so that raising
// one costs no conversion.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qmt::msg {

const std::string& Abort();              // line shorter than two bytes
const std::string& BadCommand();         // unknown mnemonic
const std::string& TooShort();           // a character is needed but the line ended
const std::string& ExtraChars();         // bytes where the line must end
const std::string& BadSeparator();       // an end-sep number followed by a byte
const std::string& Greater();            // suffix after a limit
const std::string& Less();               // suffix after a lower bound
const std::string& NotHexDigit();        // CS
const std::string& HexIncomplete();      // TI
const std::string& NoComma();            // TF, BV
const std::string& ExtraCharsPage();     // TF, BV
const std::string& NotPage();            // TF, BV
const std::string& NoQuote();            // quoted text does not start with '
const std::string& Unterminated();       // quoted text without closing '
const std::string& TextTooLong();        // quoted text over 120 bytes
const std::string& SevenColour();
const std::string& SixteenColour();
const std::string& JisCode();
const std::string& ScanLine();           // pixel row outside the page

// "'%s' は整数ではありません" with `text` in place of %s.
std::string NotInteger(std::string_view text);

// Raise the device's error kind.
[[noreturn]] void Fail(const std::string& message);
// "<limit>より大きい" / "<bound>より小さい".
[[noreturn]] void FailGreater(std::int32_t limit);
[[noreturn]] void FailLess(std::int32_t bound);

}  // namespace qmt::msg
