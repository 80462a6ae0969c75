// Pages against baseline pictures: reading a PNG of any flavour into RGB,
// comparing it with a page colour by colour, and the pictures that show a
// difference (the page as it is, the baseline dimmed with the differing
// pixels highlighted).
#pragma once

#include <cstdint>
#include <string>

#include "device/bmp.h"

namespace qmt {

// Decodes a PNG (palette, grey, RGB, alpha, 8 or 16 bits) into 8-bit RGB.
// False with a message when the bytes are not a PNG libpng can read.
bool DecodePng(const std::string& bytes, RgbImage& picture, std::string& error);

struct PageDifference {
  long pixels = 0;  // pixels whose colour differs (all when the sizes differ)
  int firstX = -1;  // the first differing pixel, row by row
  int firstY = -1;
  bool sizeDiffers = false;
};

// Compares a 640 x 480 page, in the device's colours, with a picture.
PageDifference ComparePage(const std::uint8_t* page, const RgbImage& baseline);

// The page in the device's colours.
RgbImage PagePicture(const std::uint8_t* page);
// The baseline dimmed to a third, pixels that differ from the page in full
// magenta inside a yellow frame; where the baseline is not 640 x 480, the
// page dimmed instead.
RgbImage DiffPicture(const std::uint8_t* page, const RgbImage& baseline);

// A 640 x 480 page as an 8-bit palette PNG in the device's 256 colours: a
// third of the data of an RGB one, so baselines read faster.  Raises
// FileError when libpng fails.
std::string EncodePagePalettePng(const std::uint8_t* page);

// An RGB picture as PNG bytes.  Raises FileError when libpng fails.
std::string EncodeRgbPng(const RgbImage& picture);

}  // namespace qmt
