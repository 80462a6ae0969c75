// The virtual device executing what the link sends on an emulated device of
// its own must end up with the same pages as executing the lines directly.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/qmt3308.h"
#include "link/device_link.h"

namespace qmt {
namespace {

bool SamePages(const TQMT3308& a, const TQMT3308& b) {
  for (int p = 0; p < 4; ++p)
    if (std::memcmp(a.Page(p), b.Page(p), kPageBytes) != 0) return false;
  return true;
}

TEST(VirtualDeviceExecute, SentLinesDrawTheSamePixels) {
  // A pattern whose rows include 13 and 0 bytes, drawn twice in red.
  std::string pattern;
  for (int i = 0; i < 32; ++i) pattern.push_back(static_cast<char>(i % 3 == 0 ? 0x0D : i % 3 == 1 ? 0x00 : 0xF0));
  const std::vector<std::string> lines = {
      "PS1", "ER", "CLG", "TA10,10,200,120,1", "LA0,0,639,479,1,Y", "PA300,200",
      "GI" + pattern + ",R", "GI" + pattern, "PR-32,16,0", "DI" + std::string(128, '\x0D'),
      "RA320,240,100", "DS1"};

  TQMT3308 reference;
  for (const auto& l : lines) ASSERT_TRUE(reference.ExecuteLine(l)) << l << ": " << reference.LastError();

  std::string message;
  auto link = OpenLink("virtual", message);
  TQMT3308 remote;
  std::vector<std::string> errors;
  link->Virtual()->SetLineHandler([&](std::string_view l) {
    if (!remote.ExecuteLine(l)) errors.push_back(remote.LastError());
  });
  for (const auto& l : lines) ASSERT_TRUE(link->SendLine(l));

  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(remote.DisplayPage(), 1);
  EXPECT_TRUE(SamePages(reference, remote));
  // And the picture is not blank, so the comparison means something.
  EXPECT_NE(std::memchr(remote.Page(1), 0xE0, kPageBytes), nullptr);
}

}  // namespace
}  // namespace qmt
