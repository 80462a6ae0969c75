// The demo command file that the README runs stays valid.
#include <gtest/gtest.h>

#include "device/escape.h"
#include "device/qmt3308.h"
#include "support/encoding.h"
#include "support/file_io.h"

namespace qmt {
namespace {

TEST(Demo, EveryLineRuns) {
  std::string text = ReadFile(std::string(QMT_SOURCE_DIR) + "/examples/demo.txt");
  TQMT3308 d;
  int number = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    if (line.empty()) continue;
    EXPECT_TRUE(d.ExecuteLine(Unescape(line))) << number << ": " << line << ": " << Cp932ToUtf8(d.LastError());
  }
  EXPECT_GT(number, 20);
}

}  // namespace
}  // namespace qmt
