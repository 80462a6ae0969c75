#include "device/commands.h"

#include <array>

namespace qmt {
namespace {

constexpr CommandInfo kCommands[] = {
    // Pages and the image store
    {"DS", cmd::DS, "n", "show video page n (0-3)"},
    {"PS", cmd::PS, "n", "draw on video page n (0-3)"},
    {"ER", cmd::ER, "", "clear the drawing page to black and home all positions"},
    {"HH", cmd::HH, "", "home the graphic point and the four text cursors"},
    {"FE", cmd::FE, "", "clear all four image store pages"},
    {"FS", cmd::FS, "n", "select image store page n (0-3) for TI"},
    {"TI", cmd::TI, "hh...", "load the selected store page from 307,200 hexadecimal bytes"},
    {"TF", cmd::TF, "s,v", "copy image store page s to video page v"},
    {"BV", cmd::BV, "v,s", "copy video page v to image store page s"},
    // Colour and modes
    {"CS", cmd::CS, "hh", "current colour := hexadecimal colour byte"},
    {"CH", cmd::CH, "d", "current colour := sixteen-colour digit 0-9, A-F"},
    {"CL", cmd::CL, "c", "current colour := colour letter B C G M R W Y"},
    {"MS", cmd::MS, "", "text leaves the background untouched"},
    {"MC", cmd::MC, "", "text paints its background black"},
    {"RV", cmd::RV, "", "toggle reverse text"},
    {"RC", cmd::RC, "", "reverse text off"},
    {"RR", cmd::RR, "", "accepted, does nothing"},
    {"SP", cmd::SP, "n", "advance per character or pattern at the graphic point (0-640)"},
    // Text cursors
    {"CP", cmd::CP, "col,row", "8x8 cursor (0-79, 0-59)"},
    {"HP", cmd::HP, "col,row", "8x16 cursor (0-79, 0-29)"},
    {"KP", cmd::KP, "col,row", "16x16 cursor (0-39, 0-29)"},
    {"OP", cmd::OP, "col,row", "32x32 cursor (0-19, 0-14)"},
    {"CF", cmd::CF, "", "8x8 cursor to the next row"},
    {"HF", cmd::HF, "", "8x16 cursor to the next row"},
    {"KF", cmd::KF, "", "16x16 cursor to the next row"},
    {"OF", cmd::OF, "", "32x32 cursor to the next row"},
    {"CR", cmd::CR, "", "8x8 cursor to column 0"},
    {"HR", cmd::HR, "", "8x16 cursor to column 0"},
    {"KR", cmd::KR, "", "16x16 cursor to column 0"},
    {"OR", cmd::OR, "", "32x32 cursor to column 0"},
    // Text and patterns
    {"CW", cmd::CW, "'text'[,c]", "8x8 text at the 8x8 cursor"},
    {"HW", cmd::HW, "'text'[,c]", "8x16 text at the 8x16 cursor"},
    {"KW", cmd::KW, "'jis...'[,c]", "16x16 JIS text at the 16x16 cursor"},
    {"OW", cmd::OW, "'jis...'[,c]", "32x32 JIS text at the 32x32 cursor"},
    {"GC", cmd::GC, "'text'[,c]", "8x8 text at the graphic point"},
    {"GH", cmd::GH, "'text'[,c]", "8x16 text at the graphic point"},
    {"GK", cmd::GK, "'jis...'[,c]", "16x16 JIS text at the graphic point"},
    {"DK", cmd::DK, "'jis...'[,c]", "32x32 JIS text at the graphic point"},
    {"GI", cmd::GI, "<32 bytes>[,c]", "16x16 one-bit pattern at the graphic point"},
    {"DI", cmd::DI, "<128 bytes>[,c]", "32x32 one-bit pattern at the graphic point"},
    // Lines, rectangles, points and circles
    {"LA", cmd::LA, "x1,y1,x2,y2,f[,c]", "line; black when f is 0"},
    {"LR", cmd::LR, "dx,dy,f[,c]", "line from the graphic point; black when f is 0"},
    {"TA", cmd::TA, "x1,y1,x2,y2,t[,c]", "rectangle: t 0 outline, 1 filled, 2 erased"},
    {"TR", cmd::TR, "dx,dy,t[,c]", "rectangle from the graphic point"},
    {"PA", cmd::PA, "x,y[,f[,c]]", "move the graphic point; set the pixel when f is not 0"},
    {"PR", cmd::PR, "dx,dy[,f[,c]]", "move the graphic point by (dx, dy); set the pixel when f is not 0"},
    {"RA", cmd::RA, "x,y,r[,c]", "circle of radius r"},
};
static_assert(std::size(kCommands) == 47);

constexpr int Slot(char a, char b) { return (a - 'A') * 26 + (b - 'A'); }

constexpr std::array<const CommandInfo*, 26 * 26> BuildLookup() {
  std::array<const CommandInfo*, 26 * 26> table{};
  for (const CommandInfo& c : kCommands) table[Slot(c.mnemonic[0], c.mnemonic[1])] = &c;
  return table;
}

}  // namespace

constexpr std::array<const CommandInfo*, 26 * 26> kCommandLookup = BuildLookup();

std::span<const CommandInfo> Commands() { return kCommands; }

}  // namespace qmt
