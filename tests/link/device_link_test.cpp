#include "link/device_link.h"

#include <cerrno>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "link/gwiopm.h"
#include "link/iopm_standin.h"
#include "link/ports.h"

namespace qmt {
namespace {


TEST(VirtualDevice, CollectsStrobedLinesAndTakesPatternBytesAsData) {
  std::string message;
  auto link = OpenLink("virtual", message);
  ASSERT_TRUE(message.empty());
  ASSERT_NE(link->Virtual(), nullptr);
  std::vector<std::string> lines;
  link->Virtual()->SetLineHandler([&lines](std::string_view l) { lines.emplace_back(l); });

  std::string gi = "GI" + std::string(32, '\x0D') + ",R";
  gi[5] = '\0';
  std::string di = "DI" + std::string(128, '\x0D');
  const std::vector<std::string> sent = {"ER", "", gi, di, "PR-48,16,0", "GX\x0D"};
  for (const auto& l : sent) EXPECT_TRUE(link->SendLine(l));

  // A 13 outside a pattern ends the line wherever it is.
  std::vector<std::string> expected(sent.begin(), sent.end() - 1);
  expected.push_back("GX");
  expected.push_back("");
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(link->Virtual()->LinesReceived(), expected.size());
  EXPECT_TRUE(link->Virtual()->Pending().empty());
  EXPECT_FALSE(link->DeviceBusy());
}

TEST(VirtualDevice, ShortPatternLineWaitsForItsData) {
  VirtualDevice device;
  std::vector<std::string> lines;
  device.SetLineHandler([&lines](std::string_view l) { lines.emplace_back(l); });
  for (char c : std::string("GI\x0D")) device.Receive(static_cast<std::uint8_t>(c));
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(device.Pending().size(), 3u);
}

TEST(OpenLink, ChoosesThePortOrExplainsAndRunsWithout) {
  struct Case {
    const char* choice;
    const char* name;
    const char* messagePart;  // null: no message
  };
  const Case cases[] = {
      {"none", "none", nullptr},
      {"virtual", "virtual", nullptr},
      {"ppdev:/nonexistent/parport9", "none", "cannot open /nonexistent/parport9"},
      {"ppdev:", "none", "names no device file"},
      {"ppdev:/dev/null", "none", "cannot claim /dev/null"},
      {"direct:0x1234567", "none", "has no usable address"},
      {"direct:zz", "none", "has no usable address"},
      {"serial", "none", "unknown port 'serial'"},
      {"virtual:1", "none", "unknown port"},
      {"lp:/nonexistent/lp0", "none", "cannot open /nonexistent/lp0: No such file"},
      {"lp:", "none", "names no device file"},
      {"tcp:", "none", "names no address"},
      {"tcp:localhost:99999", "none", "is no address"},
      {"tcp:::1:80", "none", "is no address"},
      {"tcp:127.0.0.1:0", "none", "is no address"},
      {"tcp:127.0.0.1:3308", "tcp:127.0.0.1:3308", nullptr},  // connects at the first line
      {"tcp:[::1]:3308", "tcp:[::1]:3308", nullptr},
      {"file:/nonexistent/out", "none", "cannot open /nonexistent/out"},
  };
  for (const auto& c : cases) {
    std::string message = "stale";
    auto link = OpenLink(c.choice, message);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->Name(), c.name) << c.choice;
    if (c.messagePart) {
      EXPECT_NE(message.find(c.messagePart), std::string::npos) << message;
      EXPECT_NE(message.find("running without a device"), std::string::npos) << message;
    } else {
      EXPECT_EQ(message, "") << c.choice;
    }
  }
}

// The structured problem and its English words, which `qmt` prints and the
// manual quotes: both must stay as they are.
TEST(OpenLink, ProblemCarriesTheFactsAndKeepsItsEnglishWords) {
  using Kind = LinkProblem::Kind;
  const std::string tail = "; running without a device";
  const struct {
    const char* choice;
    Kind kind;
    const char* port;
    const char* target;
    std::uint32_t code;
    std::string text;
  } cases[] = {
      {"serial", Kind::kUnknownPort, "serial", "", 0,
       "unknown port 'serial' (choose none, virtual, ppdev[:DEVICE], direct[:ADDRESS], lp:DEVICE, "
       "tcp:HOST:PORT or file:PATH)" + tail},
      {"ppdev:", Kind::kNoTarget, "ppdev", "", 0,
       "port ppdev: names no device file (give ppdev:/dev/parport0)" + tail},
      {"direct:", Kind::kNoTarget, "direct", "", 0, "port direct: names no address (give direct:0x378)" + tail},
      {"lp:", Kind::kNoTarget, "lp", "", 0, "port lp: names no device file (give lp:/dev/usb/lp0)" + tail},
      {"tcp:", Kind::kNoTarget, "tcp", "", 0, "port tcp: names no address (give tcp:127.0.0.1:3308)" + tail},
      {"file:", Kind::kNoTarget, "file", "", 0, "port file: names no file (give file:PATH)" + tail},
      {"direct:zz", Kind::kBadAddress, "direct:zz", "zz", 0,
       "port direct:zz has no usable address (give 0x378, 0x278 or a decimal number up to 65532)" + tail},
      {"tcp:127.0.0.1:0", Kind::kBadAddress, "tcp:127.0.0.1:0", "127.0.0.1:0", 0,
       "port tcp:127.0.0.1:0 cannot be used ('127.0.0.1:0' is no address (give HOST:PORT, such as "
       "127.0.0.1:3308))" + tail},
      {"ppdev:/nonexistent/parport9", Kind::kCannotOpen, "ppdev:/nonexistent/parport9", "/nonexistent/parport9",
       ENOENT,
       "port ppdev:/nonexistent/parport9 cannot be used (cannot open /nonexistent/parport9: No such file or "
       "directory)" + tail},
      {"ppdev:/dev/null", Kind::kCannotClaim, "ppdev:/dev/null", "/dev/null", ENOTTY,
       "port ppdev:/dev/null cannot be used (cannot claim /dev/null: Inappropriate ioctl for device)" + tail},
      {"lp:/nonexistent/lp0", Kind::kCannotOpen, "lp:/nonexistent/lp0", "/nonexistent/lp0", ENOENT,
       "port lp:/nonexistent/lp0 cannot be used (cannot open /nonexistent/lp0: No such file or directory)" +
           tail},
      {"file:/nonexistent/out", Kind::kCannotOpen, "file:/nonexistent/out", "/nonexistent/out", ENOENT,
       "port file:/nonexistent/out cannot be used (cannot open /nonexistent/out: No such file or directory)" +
           tail},
  };
  for (const auto& c : cases) {
    LinkProblem problem;
    auto link = OpenLink(c.choice, problem);
    EXPECT_EQ(link->Name(), "none") << c.choice;
    EXPECT_EQ(problem.kind, c.kind) << c.choice;
    EXPECT_EQ(problem.port, c.port) << c.choice;
    EXPECT_EQ(problem.target, c.target) << c.choice;
    EXPECT_EQ(problem.code, c.code) << c.choice;
    std::string message;
    OpenLink(c.choice, message);
    EXPECT_EQ(message, c.text);
    EXPECT_EQ(problem.Text(), c.text);
  }
  // The direct port's own refusals, worded without a port to try.
  EXPECT_EQ((LinkProblem{Kind::kGrantRefused, "direct:0x378", "", kErrorAccessDenied}).Text(),
            "port direct:0x378 cannot be used (port grant: Access denied; port instructions need root or "
            "CAP_SYS_RAWIO)" + tail);
  EXPECT_EQ((LinkProblem{Kind::kGrantRefused, "direct:0x378", "", kErrorInvalidParameter}).Text(),
            "port direct:0x378 cannot be used (port grant: Invalid Parameter)" + tail);
  EXPECT_EQ((LinkProblem{Kind::kNoPortInstructions, "direct:0x378", "", 0}).Text(),
            "port direct:0x378 needs x86 port instructions, which this machine lacks" + tail);
  EXPECT_EQ(LinkProblem{}.Text(), "");
}

TEST(OpenLink, DirectPortIsGrantedUpFrontOrRefused) {
  if (!DirectPort::kSupported) GTEST_SKIP() << "no port instructions on this machine";
  // Refusals name their cause: no right, or a kernel without ioperm.
  const struct {
    int error;
    std::vector<const char*> parts;
  } refusals[] = {
      {EPERM, {"port direct:0x378 cannot be used (port grant: Access denied", "CAP_SYS_RAWIO"}},
      {ENOSYS, {"port direct:0x378 cannot be used: this kernel offers no port permission call", "ppdev"}},
  };
  for (const auto& r : refusals) {
    IopmStandIn host([&](unsigned long, unsigned long, bool) { return r.error; });
    TGWIOPM_Driver driver(host, "/");
    std::string message;
    auto link = OpenDirectLink(0x378, driver, message);
    EXPECT_EQ(link->Name(), "none");
    for (const char* part : r.parts) EXPECT_NE(message.find(part), std::string::npos) << message;
    EXPECT_EQ(message.find("Invalid Function"), std::string::npos) << message;
    EXPECT_NE(message.find("running without a device"), std::string::npos) << message;
  }
  {
    int calls = 0;
    IopmStandIn host([&](unsigned long from, unsigned long count, bool on) {
      ++calls;
      EXPECT_EQ(from, 0x278u);
      EXPECT_EQ(count, 4u);
      EXPECT_TRUE(on);
      return 0;
    });
    TGWIOPM_Driver driver(host, "/");
    std::string message = "stale";
    auto link = OpenDirectLink(0x278, driver, message);
    EXPECT_EQ(message, "");
    EXPECT_EQ(link->Name(), "direct:0x278");
    EXPECT_TRUE(link->Transmitter().Ready());
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(LastDriverRecord().text, "Operation was successful");
    // The link is not used here: it would reach real port instructions.
  }
}

TEST(OpenLink, NoDeviceFailsFirstLineAtOnce) {
  std::string message;
  auto link = OpenLink("none", message);
  EXPECT_TRUE(link->DeviceBusy());
  EXPECT_FALSE(link->SendLine("DS0"));
}

TEST(OpenLink, EmptyChoiceReadsEnvironment) {
  const char* saved = std::getenv("QMT_PORT");
  std::string keep = saved ? saved : "";
  setenv("QMT_PORT", "virtual", 1);
  std::string message;
  EXPECT_EQ(OpenLink("", message)->Name(), "virtual");
  setenv("QMT_PORT", "bogus", 1);
  EXPECT_EQ(OpenLink("", message)->Name(), "none");
  EXPECT_NE(message.find("bogus"), std::string::npos);
  if (saved)
    setenv("QMT_PORT", keep.c_str(), 1);
  else
    unsetenv("QMT_PORT");
}

}  // namespace
}  // namespace qmt
