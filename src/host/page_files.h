// The pages a command writes when it ends (qmt exec, run and serve): the
// four video pages as bitmaps in a folder, the display page as a PNG.
#pragma once

#include <string>

#include "device/qmt3308.h"

namespace qmt {

// With `dir`, DIR/VRAM0.bmp ... DIR/VRAM3.bmp (the folder made as needed);
// with `png`, the display page.  An empty name writes nothing.  Raises
// FileError naming what cannot be written.
void WritePageFiles(const TQMT3308& device, const std::string& dir, const std::string& png);

}  // namespace qmt
