#include "device/colour.h"

#include "device/messages.h"

namespace qmt {

std::uint8_t SevenColour(char letter) {
  switch (letter) {
    case 'B': return 0x03;
    case 'C': return 0x1F;
    case 'G': return 0x1C;
    case 'M': return 0xE3;
    case 'R': return 0xE0;
    case 'W': return 0xFF;
    case 'Y': return 0xFC;
    default: msg::Fail(msg::SevenColour());
  }
}

std::uint8_t SixteenColour(char digit) {
  static constexpr std::uint8_t kTable[16] = {0x00, 0x03, 0xE0, 0xE3, 0x1C, 0xFC, 0x1F, 0xFF,
                                              0x43, 0x02, 0x80, 0x82, 0x04, 0x84, 0x06, 0x86};
  if (digit >= '0' && digit <= '9') return kTable[digit - '0'];
  if (digit >= 'A' && digit <= 'F') return kTable[digit - 'A' + 10];
  msg::Fail(msg::SixteenColour());
}

namespace {

// The channels of the colour byte are independent, so the nearest palette
// entry is the nearest level of each channel on its own.
int NearestLevel(int value, int step, int levels) {
  int best = 0;
  int bestDistance = 1 << 30;
  for (int level = 0; level < levels; ++level) {
    int d = value - level * step;
    d = d < 0 ? -d : d;
    if (d < bestDistance) {
      bestDistance = d;
      best = level;
    }
  }
  return best;
}

}  // namespace

std::uint8_t NearestColour(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return static_cast<std::uint8_t>((NearestLevel(r, 36, 8) << 5) | (NearestLevel(g, 36, 8) << 2) |
                                   NearestLevel(b, 85, 4));
}

}  // namespace qmt
