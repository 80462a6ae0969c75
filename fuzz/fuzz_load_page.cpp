// links: qmt_device
// The page file reader on arbitrary files: either a page comes out, or a
// FileError names what is wrong and the page is untouched.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "device/bmp.h"
#include "support/file_io.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::vector<std::uint8_t> page(640 * 480);
  std::memset(page.data(), 0x5A, page.size());
  try {
    qmt::BmpToPage(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.bmp", page.data());
  } catch (const qmt::FileError&) {
    for (std::uint8_t b : page) {
      if (b != 0x5A) std::abort();  // a refused file must leave the page alone
    }
  }
  return 0;
}
