// Pictures dropped on the simulator window: decoding bitmap and JPEG files and
// drawing them on the display page in the device's colours.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "device/bmp.h"

namespace qmt {

// Decodes a JPEG file's bytes.  Returns false with a UTF-8 reason in `error`
// when the data is not a JPEG picture libjpeg can turn into RGB.  Only the
// top left 640 x 480 pixels are kept: nothing else reaches the page.
bool DecodeJpeg(std::string_view bytes, RgbImage& out, std::string& error);
// Whether DecodeJpeg has a decoder: a build without libjpeg (the web build,
// where the browser decodes JPEG pictures) refuses every JPEG.
bool JpegDecoderAvailable();

// Decodes a bitmap file's bytes with the device's reader.  Returns false with
// a UTF-8 reason in `error`.
bool DecodeBmp(std::string_view bytes, const std::string& name, RgbImage& out, std::string& error);

// What a picture file's header says, read without decoding the picture.
struct PictureHeader {
  bool readable = false;  // the header was found and names a size
  int width = 0;
  int height = 0;
  // Larger than kMaxBmpSide in either direction or than kMaxBmpPixels in
  // all: the rule for every dropped picture, bitmap or JPEG, applied to the
  // header before anything is decoded.
  bool TooLarge() const;
};

// Reads the size from a bitmap file's headers or from a JPEG file's frame
// header (the first SOFn marker).
PictureHeader ReadPictureHeader(std::string_view bytes, bool jpeg);

// The words of the windows and the page (UTF-8) for a dropped picture that
// is refused: "「name」は読める画像ファイルではありません", and for a
// picture whose header is too large, its size and the limits.
std::string NotAPictureText(const std::string& name);
std::string TooLargePictureText(const std::string& name, const PictureHeader& header);

// Draws the picture with its top left corner at (0, 0) on a 640 x 480 page,
// each pixel as the nearest device colour; the part outside the page is cut.
void DrawPictureOnPage(const RgbImage& picture, std::uint8_t* page);

}  // namespace qmt
