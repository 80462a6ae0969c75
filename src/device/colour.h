// The colour byte: red in bits 7-5, green in bits 4-2, blue in bits 1-0.
#pragma once

#include <cstdint>

#include "device/device_error.h"

namespace qmt {

constexpr int kPageWidth = 640;
constexpr int kPageHeight = 480;
constexpr int kPageBytes = kPageWidth * kPageHeight;  // 307,200

struct Rgb {
  std::uint8_t r, g, b;
  friend constexpr bool operator==(const Rgb&, const Rgb&) = default;
};

// Full red and green are 252 (7 x 36), full blue 255 (3 x 85).
constexpr Rgb ColourToRGB(std::uint8_t c) {
  return Rgb{static_cast<std::uint8_t>((c >> 5) * 36), static_cast<std::uint8_t>(((c >> 2) & 7) * 36),
             static_cast<std::uint8_t>((c & 3) * 85)};
}

// The window-system packing of a colour: blue * 65536 + green * 256 + red.
constexpr std::uint32_t ColourToColorRef(std::uint8_t c) {
  Rgb rgb = ColourToRGB(c);
  return (std::uint32_t{rgb.b} << 16) | (std::uint32_t{rgb.g} << 8) | rgb.r;
}

// Seven-colour letters B C G M R W Y (upper case only).  Anything else raises
// DeviceError "7色指定不適合".
std::uint8_t SevenColour(char letter);

// Sixteen-colour digits 0-9, A-F (upper case only).  Anything else raises
// DeviceError "16色指定不適合".
std::uint8_t SixteenColour(char digit);

// The palette entry closest to an RGB colour (squared distance), for pictures
// that come from outside the device.  Ties go to the lower byte.
std::uint8_t NearestColour(std::uint8_t r, std::uint8_t g, std::uint8_t b);

}  // namespace qmt
