// The device's 47 commands in one table: mnemonic, handler, arguments.  The
// dispatcher, the help text and the tests walk the same list.
#pragma once

#include <array>
#include <cstddef>
#include <span>

namespace qmt {

class TQMT3308;
class LineReader;

// A handler reads its arguments from the reader (positioned after the
// mnemonic) and acts on the device; it raises DeviceError on failure.
using CommandHandler = void (*)(TQMT3308& device, LineReader& reader);

struct CommandInfo {
  char mnemonic[3];
  CommandHandler handler;
  const char* arguments;  // as the help text shows them
  const char* summary;
};

std::span<const CommandInfo> Commands();

// Every mnemonic's command, null where there is none: the entry of (a, b)
// is (a - 'A') * 26 + (b - 'A').
extern const std::array<const CommandInfo*, 26 * 26> kCommandLookup;

// The command with mnemonic (a, b), or null.
inline const CommandInfo* FindCommand(char a, char b) {
  if (a < 'A' || a > 'Z' || b < 'A' || b > 'Z') return nullptr;
  return kCommandLookup[static_cast<std::size_t>((a - 'A') * 26 + (b - 'A'))];
}

// Handlers, grouped by the file that holds them.
namespace cmd {
// page_commands.cpp: pages and the image store
void DS(TQMT3308&, LineReader&);
void PS(TQMT3308&, LineReader&);
void ER(TQMT3308&, LineReader&);
void HH(TQMT3308&, LineReader&);
void FE(TQMT3308&, LineReader&);
void FS(TQMT3308&, LineReader&);
void TI(TQMT3308&, LineReader&);
void TF(TQMT3308&, LineReader&);
void BV(TQMT3308&, LineReader&);
// state_commands.cpp: colour, modes, text cursors
void CS(TQMT3308&, LineReader&);
void CH(TQMT3308&, LineReader&);
void CL(TQMT3308&, LineReader&);
void MS(TQMT3308&, LineReader&);
void MC(TQMT3308&, LineReader&);
void RV(TQMT3308&, LineReader&);
void RC(TQMT3308&, LineReader&);
void RR(TQMT3308&, LineReader&);
void SP(TQMT3308&, LineReader&);
void CP(TQMT3308&, LineReader&);
void HP(TQMT3308&, LineReader&);
void KP(TQMT3308&, LineReader&);
void OP(TQMT3308&, LineReader&);
void CF(TQMT3308&, LineReader&);
void HF(TQMT3308&, LineReader&);
void KF(TQMT3308&, LineReader&);
void OF(TQMT3308&, LineReader&);
void CR(TQMT3308&, LineReader&);
void HR(TQMT3308&, LineReader&);
void KR(TQMT3308&, LineReader&);
void OR(TQMT3308&, LineReader&);
// text_commands.cpp: text and patterns
void CW(TQMT3308&, LineReader&);
void HW(TQMT3308&, LineReader&);
void KW(TQMT3308&, LineReader&);
void OW(TQMT3308&, LineReader&);
void GC(TQMT3308&, LineReader&);
void GH(TQMT3308&, LineReader&);
void GK(TQMT3308&, LineReader&);
void DK(TQMT3308&, LineReader&);
void GI(TQMT3308&, LineReader&);
void DI(TQMT3308&, LineReader&);
// draw_commands.cpp: lines, rectangles, points, circles
void LA(TQMT3308&, LineReader&);
void LR(TQMT3308&, LineReader&);
void TA(TQMT3308&, LineReader&);
void TR(TQMT3308&, LineReader&);
void PA(TQMT3308&, LineReader&);
void PR(TQMT3308&, LineReader&);
void RA(TQMT3308&, LineReader&);
}  // namespace cmd

}  // namespace qmt
