// text and num: characters at the text position, one device text command
// per line (DK, GK, HW or CW by size), with the JIS conversion for the
// kanji sizes.
#include <algorithm>

#include "runtime/builtins.h"
#include "runtime/line_builder.h"

namespace qmt {
namespace {

// Opens a text line at the current text position: sends the positioning
// line and puts the command and its opening apostrophe into `line`.  False
// (error 4 set, nothing sent) when the size selects no text command.
bool StartTextLine(TRuntimeContext& context, TLineBuffer& line) {
  TRuntimeState& state = StateOf(context);
  const std::int16_t size = state.textSize;
  std::uint8_t w = static_cast<std::uint8_t>(size);
  if (w < 8) w = 8;
  state.charWidth = w;
  const char* command;
  if (w >= 24) {
    MoveTo(context, state.textX, state.textY);
    command = "DK'";
  } else if (w >= 9) {
    MoveTo(context, state.textX, state.textY);
    command = "GK'";
  } else if (size == 8) {
    CellPosition(context, "HP", state.textX / 8, state.textY / 16);
    command = "HW'";
  } else if (size >= 4) {
    CellPosition(context, "CP", state.textX / 8, state.textY / 8);
    command = "CW'";
  } else {
    context.errorCode = kErrTextCommand;
    return false;
  }
  line.Clear();
  line.Put(command);
  return true;
}

void CloseTextLine(TRuntimeContext& context, TLineBuffer& line) {
  line.Put('\'');
  line.Send(context);
}

// A single-byte character as the four hex digits of its full-width form.
void PutWideChar(TLineBuffer& line, std::uint8_t b) {
  static constexpr std::uint16_t kRowOne[] = {
      // $       %       &       '       (       )       *       +       ,       -       .       /
      0x2170, 0x2173, 0x2175, 0x216C, 0x214A, 0x214B, 0x2176, 0x215C, 0x2124, 0x213E, 0x2125, 0x213F};
  if (b >= '$' && b <= '/') {
    line.Hex4(kRowOne[b - '$']);
  } else {
    line.Put("23");
    line.Hex2(b);
  }
}

// Shift_JIS -> JIS X 0208, in 8-bit arithmetic as the device expects.
std::uint16_t ShiftJisToJis(std::uint8_t s1, std::uint8_t s2) {
  std::uint8_t j1 = static_cast<std::uint8_t>((s1 <= 0x9F ? s1 - 0x70 : s1 - 0xB0) * 2);
  if (s2 < 0x9F) j1 = static_cast<std::uint8_t>(j1 - 1);
  std::uint8_t j2;
  if (s2 < 0x7F) {
    j2 = static_cast<std::uint8_t>(s2 - 0x1F);
  } else if (s2 < 0x9F) {
    j2 = static_cast<std::uint8_t>(s2 - 0x20);
  } else {
    j2 = static_cast<std::uint8_t>(s2 - 0x7E);
  }
  return static_cast<std::uint16_t>((j1 << 8) | j2);
}

bool StartsDoubleByte(std::uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF); }

// Arguments 2-4 of text and num replace x, y and size.
void TakePosition(TRuntimeState& state, int argc, const std::int16_t* args) {
  if (argc >= 2) state.textX = args[1];
  if (argc >= 3) state.textY = args[2];
  if (argc >= 4) state.textSize = args[3];
}

void Advance(TRuntimeState& state, int by) {
  state.textX = static_cast<std::int16_t>(static_cast<std::uint16_t>(state.textX + by));
}

}  // namespace

// text(string, x, y, size).  A line that would outgrow the command-line
// buffer is closed and sent, and the text goes on in a new line at the
// position reached, so long texts are split rather than cut.
std::int16_t BuiltinText(TRuntimeContext& context, int argc, const std::int16_t* args) {
  if (argc == 0) {
    context.errorCode = kErrMissingParameter;
    return -1;
  }
  TRuntimeState& state = StateOf(context);
  TakePosition(state, argc, args);
  const std::int16_t text = args[0];
  const std::int16_t size = state.textSize;
  int i = 0;
  auto at = [&](int k) { return StringByte(context, text, k); };
  TLineBuffer line;
  // A string runs to its first control byte; the area bound only matters
  // for a malformed image.
  while (at(i) >= 0x20 && i < static_cast<int>(kCodeAreaSize)) {
    if (!StartTextLine(context, line)) return -1;
    const int w = state.charWidth;
    bool lineHasText = false;
    while (at(i) >= 0x20 && i < static_cast<int>(kCodeAreaSize)) {
      const std::uint8_t b = at(i);
      bool endLine = false;
      if (StartsDoubleByte(b)) {
        const std::uint8_t b2 = at(i + 1);
        // A lead byte needs a trail byte; the string's end is not one.
        if (size < 16 || b2 < 0x20) {
          context.errorCode = kErrTextCommand;
          return -1;
        }
        if (lineHasText && line.Room() < 5) break;
        line.Hex4(ShiftJisToJis(b, b2));
        i += 2;
        endLine = size == 32;
      } else if (size >= 16) {
        if (lineHasText && line.Room() < 5) break;
        PutWideChar(line, b);
        ++i;
        endLine = true;
      } else {
        if (lineHasText && line.Room() < 2) break;
        line.Put(static_cast<char>(b));
        ++i;
      }
      lineHasText = true;
      Advance(state, w);
      if (endLine) break;
    }
    CloseTextLine(context, line);
  }
  return 0;
}

// num(value, x, y, size, width, point): the value in a field of `width`
// digits with a decimal point before digit `point` from the right.
std::int16_t BuiltinNum(TRuntimeContext& context, int argc, const std::int16_t* args) {
  TRuntimeState& state = StateOf(context);
  if (argc > 0) TakePosition(state, argc < 4 ? argc : 4, args);
  if (argc < 6) {
    // Width and point have no remembered value to fall back on.
    context.errorCode = kErrMissingParameter;
    return -1;
  }
  const std::int32_t value = args[0];
  const int width = std::clamp<int>(args[4], 0, 10);
  const int point = args[5];

  // Digits from the right, with the point, then the rightmost `width`.
  char reversed[12];
  int n = 0;
  std::uint32_t magnitude = static_cast<std::uint32_t>(value < 0 ? -value : value);
  for (int digit = 1; digit <= width; ++digit) {
    if (digit == point) reversed[n++] = '.';
    reversed[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  }
  char field[12];
  int length = 0;
  if (value < 0) field[length++] = '-';
  for (int k = std::min(n, width) - 1; k >= 0; --k) field[length++] = reversed[k];

  TLineBuffer line;
  if (state.textSize >= 16) {
    for (int k = 0; k < length; ++k) {
      if (!StartTextLine(context, line)) return -1;
      PutWideChar(line, static_cast<std::uint8_t>(field[k]));
      Advance(state, field[k] == '.' ? state.charWidth >> 1 : state.charWidth);
      CloseTextLine(context, line);
    }
  } else {
    if (!StartTextLine(context, line)) return -1;
    for (int k = 0; k < length; ++k) {
      line.Put(field[k]);
      Advance(state, state.charWidth);
    }
    CloseTextLine(context, line);
  }
  return 0;
}

}  // namespace qmt
