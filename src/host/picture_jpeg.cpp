#include "host/picture_drop.h"

#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>

#include "device/colour.h"

namespace qmt {
namespace {

// libjpeg reports fatal errors through error_exit, which must not return: jump
// back to DecodeJpeg with the library's message.
struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<JpegError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

void JpegSilence(j_common_ptr, int) {}

}  // namespace

bool DecodeJpeg(std::string_view bytes, RgbImage& out, std::string& error) {
  // Everything that outlives a longjmp is declared before setjmp.
  jpeg_decompress_struct cinfo{};
  JpegError err{};
  RgbImage picture;
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = JpegErrorExit;
  err.mgr.emit_message = JpegSilence;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    error = std::string("not a readable JPEG picture: ") + err.message;
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()),
               static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&cinfo, TRUE);
  // libjpeg gives CMYK only as CMYK: it is turned into RGB here, as the
  // browsers turn it.
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&cinfo);
  if (cinfo.output_components != (cmyk ? 4 : 3)) {
    jpeg_destroy_decompress(&cinfo);
    error = "JPEG picture with an unsupported colour space";
    return false;
  }
  // Only the part that lands on the page is kept.
  picture.width = std::min<int>(cinfo.output_width, kPageWidth);
  picture.height = std::min<int>(cinfo.output_height, kPageHeight);
  picture.rgb.resize(static_cast<size_t>(picture.width) * picture.height * 3);
  std::vector<unsigned char> row(static_cast<size_t>(cinfo.output_width) * cinfo.output_components);
  // Adobe's programs write CMYK inverted (0 is full ink) and mark the file
  // so; a file without the mark holds plain CMYK.
  const bool inverted = cinfo.saw_Adobe_marker;
  while (cinfo.output_scanline < cinfo.output_height) {
    unsigned char* rows[1] = {row.data()};
    int y = static_cast<int>(cinfo.output_scanline);
    jpeg_read_scanlines(&cinfo, rows, 1);
    if (y >= picture.height) continue;
    unsigned char* dst = picture.rgb.data() + static_cast<size_t>(y) * picture.width * 3;
    if (!cmyk) {
      std::copy_n(row.data(), picture.width * 3, dst);
      continue;
    }
    for (int x = 0; x < picture.width; ++x) {
      const unsigned char* p = &row[static_cast<size_t>(x) * 4];
      const unsigned k = inverted ? p[3] : 255 - p[3];
      for (int c = 0; c < 3; ++c) dst[x * 3 + c] = static_cast<unsigned char>((inverted ? p[c] : 255 - p[c]) * k / 255);
    }
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  out = std::move(picture);
  return true;
}

bool JpegDecoderAvailable() { return true; }

}  // namespace qmt
