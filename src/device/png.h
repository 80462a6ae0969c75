// Pages as PNG pictures, in the device's colours.
#pragma once

#include <cstdint>
#include <string>

namespace qmt {

// Writes a 640 x 480 page as a PNG with the device's 256 colours as its
// palette, atomically (temporary file and rename).  Raises FileError naming
// the file on failure.
void WritePagePng(const std::string& path, const std::uint8_t* page);

// The same, into memory.
std::string EncodePagePng(const std::uint8_t* page);

}  // namespace qmt
