// Pictures for the tests and benchmarks that drop JPEG files: a w x h RGB
// picture, encoded in memory with libjpeg.  Header-only, shared by tests/
// and bench/.
#pragma once

#include <jpeglib.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace qmt::test {

// pixel(x, y, rgb) fills the three bytes of each pixel (four for a CMYK
// picture: libjpeg marks it as Adobe's, whose programs store the inks
// inverted, 255 for none).
template <class Pixel>
std::string MakeJpeg(int w, int h, int quality, Pixel pixel, bool cmyk = false) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buf, &size);
  c.image_width = static_cast<JDIMENSION>(w);
  c.image_height = static_cast<JDIMENSION>(h);
  const int components = cmyk ? 4 : 3;
  c.input_components = components;
  c.in_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  jpeg_start_compress(&c, TRUE);
  std::vector<unsigned char> row(static_cast<std::size_t>(w) * components);
  while (c.next_scanline < c.image_height) {
    const int y = static_cast<int>(c.next_scanline);
    for (int x = 0; x < w; ++x) pixel(x, y, &row[static_cast<std::size_t>(x) * components]);
    unsigned char* rows[1] = {row.data()};
    jpeg_write_scanlines(&c, rows, 1);
  }
  jpeg_finish_compress(&c);
  std::string out(reinterpret_cast<char*>(buf), size);
  jpeg_destroy_compress(&c);
  std::free(buf);
  return out;
}

}  // namespace qmt::test
