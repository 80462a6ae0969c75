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

// Draws the picture with its top left corner at (0, 0) on a 640 x 480 page,
// each pixel as the nearest device colour; the part outside the page is cut.
void DrawPictureOnPage(const RgbImage& picture, std::uint8_t* page);

}  // namespace qmt
