// Turns a text-art picture into a macro function that draws it: one GI call
// per 16 x 16 block and a "PR-" move between block rows, the same form the
// tool window's bitmap converter writes.
//
//   picture_to_gi NAME FILE [NAME FILE ...]
//
// FILE holds one line per pixel row; '#' is ink, any other character blank.
// The function NAME takes the picture's top-left corner as @0, @1.
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "device/escape.h"
#include "device/pattern.h"
#include "support/file_io.h"

namespace {

qmt::MonoBitmap ReadArt(const std::string& file) {
  std::string text = qmt::ReadFile(file);
  std::vector<std::string> rows;
  std::string row;
  for (char ch : text) {
    if (ch == '\r') continue;
    if (ch == '\n') {
      rows.push_back(row);
      row.clear();
    } else {
      row.push_back(ch);
    }
  }
  if (!row.empty()) rows.push_back(row);
  if (rows.empty()) throw std::runtime_error(file + ": empty picture");
  std::size_t width = rows[0].size();
  for (std::size_t y = 0; y < rows.size(); ++y)
    if (rows[y].size() != width)
      throw std::runtime_error(file + ": row " + std::to_string(y + 1) + " is " + std::to_string(rows[y].size()) +
                               " pixels wide, the first row " + std::to_string(width));
  auto bitmap = qmt::MonoBitmap::Blank(static_cast<int>(width), static_cast<int>(rows.size()));
  for (std::size_t y = 0; y < rows.size(); ++y)
    for (std::size_t x = 0; x < width; ++x)
      bitmap.Set(static_cast<int>(x), static_cast<int>(y), rows[y][x] == '#');
  return bitmap;
}

std::string Function(const std::string& name, const std::string& file) {
  qmt::MonoBitmap bitmap = ReadArt(file);
  int columns = (bitmap.width - 1) / 16 + 1;
  int rows = (bitmap.height - 1) / 16 + 1;
  std::string out = "// " + name + ": " + std::to_string(bitmap.width) + " x " + std::to_string(bitmap.height) +
                    " picture, top left at @0,@1\n";
  out += name + ":\n d(\"PA#,#,0\",@0,@1)\n";
  for (int r = 0; r < rows; ++r) {
    if (r > 0) out += " d(\"PR-" + std::to_string(columns * 16) + ",16,0\")\n";
    for (int c = 0; c < columns; ++c) {
      std::string block = qmt::PatternBlock(bitmap, c, r);
      if (!block.empty()) out += " GI(\"" + qmt::EscapeAll(block) + "\")\n";
    }
  }
  out += " RET 0\n";
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc % 2 == 0) {
    std::fprintf(stderr, "usage: picture_to_gi NAME FILE [NAME FILE ...]\n");
    return 2;
  }
  try {
    for (int i = 1; i + 1 < argc; i += 2) std::fputs(Function(argv[i], argv[i + 1]).c_str(), stdout);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "picture_to_gi: %s\n", e.what());
    return 1;
  }
  return 0;
}
