// A short macro run with every accepted line sent through the link: the
// virtual device, executing what it receives on its own emulated device,
// must end with the same pixels as the simulator's device.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "compiler/script.h"
#include "device/qmt3308.h"
#include "link/device_link.h"
#include "runtime/runner.h"
#include "support/encoding.h"

namespace qmt {
namespace {

constexpr const char* kMacro =
    "d(\"PS2\")\r\n"
    "d(\"ER\")\r\n"
    "c($E0)\r\n"
    "box(20,20,200,100,1)\r\n"
    "c($1C)\r\n"
    "line(0,0,639,479)\r\n"
    "d(\"PA#,#\",300,300)\r\n"
    "GI(\"%FF%0D%00%0D%FF%0D%00%0D%FF%0D%00%0D%FF%0D%00%0D%FF%0D%00%0D%FF%0D%00%0D%FF%0D%00%0D%FF%0D%00%0D\")\r\n"
    "CirFill(400,240,50)\r\n"
    "text(\"QMT\",100,400,8)\r\n"
    "d(\"DS2\")\r\n";

TEST(LinkMacroRun, VirtualDeviceDrawsWhatTheSimulatorDraws) {
  const std::vector<std::string> builtins = {"d",      "s",      "c",   "box", "text",    "line",    "arc",
                                             "needle", "MulDiv", "num", "GI",  "CirFill", "SelPanel"};
  TScript script;
  script.OnExtFunc = [&](std::string_view name) {
    for (std::size_t i = 0; i < builtins.size(); ++i)
      if (builtins[i] == name) return static_cast<int>(i);
    return -1;
  };
  script.OnExtLabel = [](std::string_view) { return -1; };
  std::vector<std::string> compileErrors;
  script.OnErrorMsg = [&](int line, const std::string& msg) {
    compileErrors.push_back(std::to_string(line) + ": " + Cp932ToUtf8(msg));
  };
  script.Compile(kMacro);
  ASSERT_TRUE(compileErrors.empty()) << compileErrors.front();

  std::string message;
  auto link = OpenLink("virtual", message);
  TQMT3308 remote;
  std::vector<std::string> remoteErrors;
  int received = 0;
  link->Virtual()->SetLineHandler([&](std::string_view l) {
    ++received;
    if (!remote.ExecuteLine(l)) remoteErrors.push_back(Cp932ToUtf8(remote.LastError()));
  });

  TQMT3308 simulator;
  TRunner runner;
  runner.SetDevice(&simulator);
  std::vector<std::string> runMessages;
  runner.onMessage = [&](const std::string& m) { runMessages.push_back(Cp932ToUtf8(m)); };
  int sent = 0;
  runner.onLine = [&](std::string_view l) {
    ++sent;
    EXPECT_TRUE(link->SendLine(l));
  };
  const auto& code = script.Code();
  ASSERT_TRUE(runner.LoadImage(code));
  EXPECT_EQ(runner.RunFrom(), TRunEnd::kStopped);

  EXPECT_TRUE(runMessages.empty()) << runMessages.front();
  EXPECT_TRUE(remoteErrors.empty()) << remoteErrors.front();
  EXPECT_GT(sent, 10);
  EXPECT_EQ(received, sent);
  EXPECT_EQ(remote.DisplayPage(), 2);
  for (int p = 0; p < 4; ++p)
    EXPECT_EQ(std::memcmp(simulator.Page(p), remote.Page(p), kPageBytes), 0) << "page " << p;
  EXPECT_NE(std::memchr(remote.Page(2), 0xE0, kPageBytes), nullptr);
  EXPECT_NE(std::memchr(remote.Page(2), 0x1C, kPageBytes), nullptr);
}

}  // namespace
}  // namespace qmt
