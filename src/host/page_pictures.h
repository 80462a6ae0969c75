// Pages against baseline pictures: reading a PNG of any flavour into RGB,
// comparing it with a page colour by colour, and the pictures that show a
// difference (the page as it is, the baseline dimmed with the differing
// pixels highlighted).
#pragma once

#include <cstdint>
#include <array>
#include <string>
#include <vector>

#include "device/bmp.h"

namespace qmt {

// Decodes a PNG (palette, grey, RGB, alpha, 8 or 16 bits) into 8-bit RGB.
// False with a message when the bytes are not a PNG libpng can read.
bool DecodePng(const std::string& bytes, RgbImage& picture, std::string& error);

// A rectangle of the page, in pixels.
struct PageRect {
  int x = 0, y = 0, w = 0, h = 0;
  friend bool operator==(const PageRect&, const PageRect&) = default;
};

// Pixels a check disregards, one byte a pixel of the page (1: ignored);
// empty when no rectangle is given.  Rectangles are clipped to the page.
std::vector<std::uint8_t> IgnoredMask(const std::vector<PageRect>& ignored);

struct PageDifference {
  long pixels = 0;  // pixels whose colour differs (all when the sizes differ)
  long ignored = 0; // pixels of the page the comparison disregarded
  int firstX = -1;  // the first differing pixel, row by row
  int firstY = -1;
  bool sizeDiffers = false;
};

// A baseline as the checks compare it: a 640 x 480 picture whose every
// pixel is one of the device's colours is kept as colour bytes, compared
// byte for byte with the page; anything else as RGB.
struct BaselinePicture {
  bool colours = false;
  std::vector<std::uint8_t> bytes;  // colours: one colour byte a pixel
  RgbImage rgb;                     // otherwise: the picture
  int Width() const { return colours ? 640 : rgb.width; }
  int Height() const { return colours ? 480 : rgb.height; }
  // The picture in RGB, whichever way it is kept.
  RgbImage Rgb() const;
};

// Decodes a PNG of any flavour as a baseline; false with a message when
// the bytes are not a PNG libpng can read.
bool DecodeBaseline(const std::string& bytes, BaselinePicture& picture, std::string& error);
// A 640 x 480 colour-mapped PNG without transparency, read as its indices
// and colour map; false for any other picture (which DecodePng still reads).
bool ReadColourMappedPage(const std::string& bytes, std::vector<std::uint8_t>& indices,
                          std::array<std::uint8_t, 256 * 3>& colormap);
PageDifference ComparePage(const std::uint8_t* page, const BaselinePicture& baseline,
                           const std::vector<PageRect>& ignored = {});

// Compares a 640 x 480 page, in the device's colours, with a picture,
// disregarding the pixels of the rectangles `ignored`.
PageDifference ComparePage(const std::uint8_t* page, const RgbImage& baseline,
                           const std::vector<PageRect>& ignored = {});

// The page in the device's colours.
RgbImage PagePicture(const std::uint8_t* page);
// The baseline dimmed to a third, pixels that differ from the page in full
// magenta inside a yellow frame; where the baseline is not 640 x 480, the
// page dimmed instead.  Ignored rectangles are hatched in grey, and what
// differs inside them is not highlighted.
RgbImage DiffPicture(const std::uint8_t* page, const RgbImage& baseline, const std::vector<PageRect>& ignored = {});

// Where the page differs from the baseline (the ignored rectangles left
// out): rectangles around groups of differing pixels, those closer than a
// few pixels in one, at most `most` of them (nearby groups are joined when
// there would be more).  Empty when nothing differs or the sizes differ.
std::vector<PageRect> DifferenceAreas(const std::uint8_t* page, const RgbImage& baseline,
                                      const std::vector<PageRect>& ignored = {}, std::size_t most = 32);

// An RGB picture as PNG bytes, written for speed: colour-mapped when it has
// at most 256 colours (a page always has), else RGB; the same pixels either
// way.  Raises FileError when it cannot be encoded.
std::string EncodeRgbPng(const RgbImage& picture);

}  // namespace qmt
