// The thirteen built-in functions that macros call by number, and the state
// they keep for the life of the process.
#pragma once

#include <array>
#include <cstdint>

#include "runtime/machine.h"

namespace qmt {

// Everything the built-ins remember between calls.  The process has one
// (RuntimeState()); macro runs, recompiles and device resets leave it alone.
// A test makes a fresh one and points its context at it.
class TRuntimeState {
 public:
  std::uint8_t colourCache = 0xFF;                    // last colour sent with CS
  std::array<std::int16_t, 5> box = {0, 0, 16, 16, 0};  // x, y, width, height, mode
  std::array<std::int16_t, 4> line = {0, 0, 16, 16};    // x, y, dx, dy
  std::int16_t textX = 0;
  std::int16_t textY = 0;
  std::int16_t textSize = 16;
  std::uint8_t charWidth = 16;                        // from textSize, per text line
  std::uint8_t panelLeft = 0;                         // SelPanel's two entries
  std::uint8_t panelRight = 3;
  // Last angle drawn per needle slot; every 16-bit slot number has its own.
  std::array<std::int16_t, 65536> needle{};
};

// The process's built-in state.
TRuntimeState& RuntimeState();

// A built-in: (context, argument count, arguments in source order) -> result.
using TBuiltin = std::int16_t (*)(TRuntimeContext& context, int argc, const std::int16_t* args);

// The table in function-number order: d s c box text line arc needle MulDiv
// num GI CirFill SelPanel.
extern const std::array<TBuiltin, kBuiltinCount> kBuiltins;

// The command-line buffer: a line of up to 255 bytes and its terminator.
inline constexpr int kLineBufferSize = 256;

std::int16_t BuiltinD(TRuntimeContext& context, int argc, const std::int16_t* args);
std::int16_t BuiltinS(TRuntimeContext& context, int argc, const std::int16_t* args);
std::int16_t BuiltinC(TRuntimeContext& context, int argc, const std::int16_t* args);
std::int16_t BuiltinBox(TRuntimeContext& context, int argc, const std::int16_t* args);
std::int16_t BuiltinText(TRuntimeContext& context, int argc, const std::int16_t* args);
std::int16_t BuiltinLine(TRuntimeContext& context, int argc, const std::int16_t* args);
std::int16_t BuiltinArc(TRuntimeContext& context, int argc, const std::int16_t* args);
std::int16_t BuiltinNeedle(TRuntimeContext& context, int argc, const std::int16_t* args);
std::int16_t BuiltinMulDiv(TRuntimeContext& context, int argc, const std::int16_t* args);
std::int16_t BuiltinNum(TRuntimeContext& context, int argc, const std::int16_t* args);
std::int16_t BuiltinGI(TRuntimeContext& context, int argc, const std::int16_t* args);
std::int16_t BuiltinCirFill(TRuntimeContext& context, int argc, const std::int16_t* args);
std::int16_t BuiltinSelPanel(TRuntimeContext& context, int argc, const std::int16_t* args);

}  // namespace qmt
