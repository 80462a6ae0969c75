#include "device/messages.h"

#include "device/device_error.h"
#include "support/encoding.h"

namespace qmt::msg {

#define QMT_MESSAGE(name, utf8)                \
  const std::string& name() {                  \
    static const std::string text = Sjis(utf8); \
    return text;                               \
  }

QMT_MESSAGE(Abort, "Abort による中断")
QMT_MESSAGE(BadCommand, "不正なコマンド")
QMT_MESSAGE(TooShort, "文字列不足")
QMT_MESSAGE(ExtraChars, "余分な文字がある")
QMT_MESSAGE(BadSeparator, "区切が正常でない")
QMT_MESSAGE(Greater, "より大きい")
QMT_MESSAGE(Less, "より小さい")
QMT_MESSAGE(NotHexDigit, "16進数じゃない文字が")
QMT_MESSAGE(HexIncomplete, "16進が途中")
QMT_MESSAGE(NoComma, ",がない")
QMT_MESSAGE(ExtraCharsPage, "余分な文字")
QMT_MESSAGE(NotPage, "0..3以外")
QMT_MESSAGE(NoQuote, "文字列が'で始まっていない")
QMT_MESSAGE(Unterminated, "文字列の途中で終ってる")
QMT_MESSAGE(TextTooLong, "文字列が長すぎる")
QMT_MESSAGE(SevenColour, "7色指定不適合")
QMT_MESSAGE(SixteenColour, "16色指定不適合")
QMT_MESSAGE(JisCode, "JISコードの誤り")
QMT_MESSAGE(ScanLine, "スキャンライン のインデックスが範囲を越えました")

#undef QMT_MESSAGE

std::string NotInteger(std::string_view text) {
  static const std::string tail = Sjis("' は整数ではありません");
  std::string out = "'";
  out.append(text);
  out += tail;
  return out;
}

void Fail(const std::string& message) { throw DeviceError(message); }

void FailGreater(std::int32_t limit) { throw DeviceError(std::to_string(limit) + Greater()); }

void FailLess(std::int32_t bound) { throw DeviceError(std::to_string(bound) + Less()); }

}  // namespace qmt::msg
