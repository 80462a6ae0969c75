#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "../common/jpeg_maker.h"
#include "device/bmp.h"
#include "host/simulator.h"
#include "simulator_fakes.h"
#include "support/encoding.h"

namespace qmt {
namespace {

using testing::SimFixture;

std::int16_t Dtime(const SimFixture& f, int n) { return f.runner.ext[kExtDtime1 + n]; }

TEST(SimulatorTimer, TimeStepFromTheMillisecondClock) {
  struct Case {
    const char* what;
    std::vector<std::uint64_t> ticks;  // clock values of successive ticks
    std::int16_t dtime;                // DTIME1 after them
  };
  const Case cases[] = {
      {"first tick counts from 0", {123}, 12},
      {"first tick limited to 50", {5000}, 50},
      {"exact 33 ms steps give 3 each", {33, 66, 99, 132}, 12},
      {"a long pause is limited to 50", {33, 20000}, 3 + 50},
      {"only the low 16 bits count", {0x10000 + 40}, 4},
      // 26 ms pass across the wrap of the 16-bit counter.
      {"wrap gives the real elapsed time", {65530 - 330, 65530, 65536 + 20}, 50 + 33 + 2},
      {"less than 10 ms adds nothing", {33, 42}, 3},
  };
  for (const Case& c : cases) {
    SimFixture f;
    for (auto t : c.ticks) f.sim.Timer1Timer(t);
    EXPECT_EQ(Dtime(f, 0), c.dtime) << c.what;
    EXPECT_EQ(Dtime(f, 1), c.dtime) << c.what;
    EXPECT_EQ(Dtime(f, 2), c.dtime) << c.what;
    EXPECT_EQ(f.sim.LastTick(), static_cast<std::uint16_t>(c.ticks.back())) << c.what;
    EXPECT_EQ(f.sim.TickCount(), static_cast<int>(c.ticks.size())) << c.what;
  }
}

TEST(SimulatorTimer, DtimeCellsKeepWhatTheMacroLeaves) {
  SimFixture f;
  f.runner.ext[kExtDtime1] = 32767;  // wraps as 16-bit arithmetic
  f.runner.ext[kExtDtime2] = 7;
  f.sim.Timer1Timer(33);
  EXPECT_EQ(Dtime(f, 0), -32766);
  EXPECT_EQ(Dtime(f, 1), 10);
}

TEST(SimulatorTimer, TimerOffZeroesDtimeAndRaisesNoTimerLabel) {
  SimFixture f;
  f.sim.SetTimerEnabled(false);
  for (int i = 1; i <= 10; ++i) {
    f.sim.Timer1Timer(i * 33);
    EXPECT_EQ(Dtime(f, 0), 0);
    EXPECT_EQ(Dtime(f, 2), 0);
  }
  EXPECT_TRUE(f.runner.runs.empty());
}

TEST(SimulatorTimer, EveryTickRaisesTheTimerLabelWithInputsRead) {
  SimFixture f;
  f.sim.SetSwitch(Simulator::SwitchByCaption("SFT1"), true);
  f.sim.Timer1Timer(33);
  ASSERT_EQ(f.runner.runs.size(), 1u);
  EXPECT_EQ(f.runner.runs[0], Sjis("時間割込"));
  EXPECT_EQ(f.runner.extAtRun[0][25], 1);  // SFT1
  EXPECT_EQ(f.runner.extAtRun[0][kExtDtime1], 3);
}

TEST(SimulatorGauges, SliderMarksItsGaugeAndTheMatchingTickRaisesItOnce) {
  SimFixture f;
  f.sim.SetTimerEnabled(false);
  f.sim.SetSlider(Slider::Pres, 700);
  f.sim.SetSlider(Slider::Pres, 710);
  EXPECT_EQ(f.sim.GaugeDirty(), kGaugePres);
  EXPECT_EQ(f.runner.ext[5], 710);  // anPRES follows at once
  for (int i = 0; i < 10; ++i) f.sim.Timer1Timer(33 * (i + 1));
  // Pressure is served on ticks 1, 6, 11 ...: raised once, on tick 1.
  ASSERT_EQ(f.runner.runs.size(), 1u);
  EXPECT_EQ(f.runner.runs[0], Sjis("圧力計"));
  EXPECT_EQ(f.sim.GaugeDirty(), 0);
}

TEST(SimulatorGauges, OneGaugePerTickInRotation) {
  SimFixture f;
  f.sim.SetTimerEnabled(false);
  for (Slider s : {Slider::Rot, Slider::Level, Slider::Pres, Slider::Gang, Slider::Flow})
    f.sim.SetSlider(s, 500);
  EXPECT_EQ(f.sim.GaugeDirty(), 0x1F);
  for (int i = 0; i < 5; ++i) {
    f.sim.Timer1Timer(33 * (i + 1));
    EXPECT_EQ(f.runner.runs.size(), static_cast<size_t>(i + 1));
  }
  std::vector<std::string> want;
  for (const char* l : {"水位計", "圧力計", "連成計", "流量計", "回転計"}) want.push_back(Sjis(l));
  EXPECT_EQ(f.runner.runs, want);
}

TEST(SimulatorGauges, ThrottleMarksFlowAndFillsNoCell) {
  SimFixture f;
  f.sim.SetSlider(Slider::Throttle, 900);
  EXPECT_EQ(f.sim.GaugeDirty(), kGaugeFlow);
  EXPECT_EQ(f.runner.ext[3], 0);  // anThrottle
  EXPECT_EQ(f.runner.ext[8], 0);  // anFLOW: its own slider did not move
  f.sim.SetSlider(Slider::Rot, 2000);
  EXPECT_EQ(f.runner.ext[7], 1000) << "positions are limited to the slider's range";
}

TEST(SimulatorInputs, SwitchesFollowAtReadInputsAndScw1HasNoCell) {
  SimFixture f;
  for (int i = 0; i < kSwitchCount; ++i) f.sim.SetSwitch(i, true);
  std::array<std::int16_t, 256> before = f.runner.ext;
  EXPECT_EQ(before[14], 0) << "a click alone does not copy the boxes";
  f.sim.ReadInputs();
  for (int id = 14; id <= 27; ++id) EXPECT_EQ(f.runner.ext[id], 1) << id;
  EXPECT_EQ(f.runner.ext[28], 0);
  EXPECT_EQ(Simulator::SwitchByCaption("scw1"), 4);
  EXPECT_EQ(Simulator::SwitchByCaption("XYZ"), -1);
  EXPECT_EQ(Simulator::SliderByName("Throttle"), Slider::Throttle);
}

TEST(SimulatorEvents, KeysRaiseTheirLabelsAndUnknownLabelsAreDropped) {
  SimFixture f;
  f.macro.labels.erase("onUP");
  for (const KeyInfo& k : kKeys) f.sim.RaiseEvent(Sjis(k.label));
  EXPECT_EQ(f.runner.runs.size(), kKeys.size() - 1);
  EXPECT_EQ(f.runner.runs.front(), "onRUN");
  EXPECT_EQ(f.runner.runs.back(), "onDOWN");
  EXPECT_TRUE(f.messages.shown.empty());
}

TEST(SimulatorEvents, FailedCompileSwitchesEventsOffAndShowsErrorsOnce) {
  SimFixture f;
  f.macro.compileErrors = {"  3:error"};
  f.sim.Activate();
  EXPECT_TRUE(f.runner.runs.empty()) << "StartMacro does nothing after errors";
  f.macro.ready = true;  // as if another compile set it, leaving the log full
  f.sim.RaiseEvent("onRUN");
  f.sim.RaiseEvent("onRUN");
  EXPECT_EQ(f.macro.errorPages, 1);
  EXPECT_FALSE(f.macro.ready);
  EXPECT_TRUE(f.runner.runs.empty());
}

TEST(SimulatorMacro, FirstActivationCompilesAndRunsFromTheStartOnce) {
  SimFixture f;
  f.sim.Activate();
  f.sim.Activate();
  EXPECT_EQ(f.macro.compiles, 1);
  EXPECT_EQ(f.runner.loads, 1);
  EXPECT_EQ(f.runner.runs, std::vector<std::string>{"<start>"});
  EXPECT_EQ(f.runner.labels, f.macro.LabelTable());
  // The runner's handlers are the window's.
  f.runner.message("pc= 87:x");
  f.runner.line("ER");
  EXPECT_EQ(f.messages.shown, std::vector<std::string>{"pc= 87:x"});
  EXPECT_EQ(f.link.sent, std::vector<std::string>{"ER"});
}

TEST(SimulatorLink, FailedLineUnticksCheckRunAndLaterLinesAreNotSent) {
  SimFixture f;
  int changes = 0;
  f.sim.onCheckRunChanged = [&] { ++changes; };
  f.link.answers = false;
  f.sim.SendToDevice("DS0");
  f.sim.SendToDevice("ER");
  EXPECT_EQ(f.link.sent, std::vector<std::string>{"DS0"});
  EXPECT_FALSE(f.sim.CheckRun());
  EXPECT_EQ(f.sim.CheckRunCaption(), Sjis("未接続"));
  EXPECT_EQ(changes, 1);
  // Unticked: BUSY is read (n + 1) * 41 + 1 times for the pacing.
  EXPECT_EQ(f.link.busyReads, (2 + 1) * 41 + 1);
  f.sim.SetCheckRun(true);
  EXPECT_EQ(f.sim.CheckRunCaption(), Sjis("実機テスト"));
}

// A small JPEG: left half pure red, right half pure blue.
std::string MakeJpeg(int w, int h) {
  return test::MakeJpeg(w, h, 100, [w](int x, int, unsigned char* rgb) {
    const bool left = x < w / 2;
    rgb[0] = left ? 255 : 0;
    rgb[1] = 0;
    rgb[2] = left ? 0 : 255;
  });
}

// A JPEG file's start up to its frame header, which claims w x h.
std::string HugeJpegHeader(int w, int h) {
  std::string b = "\xFF\xD8\xFF\xE0";
  b += std::string("\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00", 16);
  b += "\xFF\xFF\xC0";  // a fill byte before the marker
  b += std::string("\x00\x11\x08", 3);
  b += {static_cast<char>(h >> 8), static_cast<char>(h & 0xFF), static_cast<char>(w >> 8), static_cast<char>(w & 0xFF)};
  b += std::string("\x03\x01\x22\x00\x02\x11\x01\x03\x11\x01", 10);
  return b;
}

// A bitmap file's headers alone, 24 bits, claiming w x h.
std::string BmpHeaders(int w, int h, int compression = 0) {
  std::string b(54, '\0');
  const auto put = [&b](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put(2, 54);
  put(10, 54);
  put(14, 40);
  put(18, static_cast<std::uint32_t>(w));
  put(22, static_cast<std::uint32_t>(h));
  b[26] = 1;
  b[28] = 24;
  put(30, static_cast<std::uint32_t>(compression));
  return b;
}
std::string HugeBmpHeader(int w, int h) { return BmpHeaders(w, h); }
std::string RleBmp() { return BmpHeaders(2, 2, 1) + std::string(16, '\0'); }

class SimulatorDrop : public ::testing::Test {
 protected:
  std::filesystem::path dir = std::filesystem::temp_directory_path() /
                              ("qmt_sim_drop_" + std::to_string(::getpid()));
  void SetUp() override { std::filesystem::create_directories(dir); }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string Write(const std::string& name, const std::string& bytes) {
    std::string path = (dir / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  SimFixture f;
};

TEST_F(SimulatorDrop, PicturesAreDrawnAtTheTopLeftInDeviceColours) {
  std::vector<std::uint8_t> page(640 * 480, 0x1C);
  page[0] = 0xE0;
  page[640 * 480 - 1] = 0x03;
  struct Case {
    std::string name;
    std::string bytes;
    int lastX, lastY;  // bottom right pixel the picture covers
  };
  // The same picture in CMYK, as Adobe's programs store it (inverted):
  // drawn as the browser draws it, not refused.
  const std::string cmyk = test::MakeJpeg(
      64, 20, 100,
      [](int x, int, unsigned char* inks) {
        const bool left = x < 32;
        inks[0] = left ? 255 : 0;  // cyan on the right
        inks[1] = 0;               // magenta everywhere
        inks[2] = left ? 0 : 255;  // yellow on the left
        inks[3] = 255;             // no black
      },
      true);
  const Case cases[] = {
      {"pic.JPG", MakeJpeg(64, 20), 63, 19},
      {"cmyk.jpg", cmyk, 63, 19},
      {"big.jpeg", MakeJpeg(700, 500), 639, 479},
      {"page.Bmp", EncodePageBmp(page.data()), 639, 479},
  };
  for (const Case& c : cases) {
    SimFixture g;
    DropOutcome out = g.sim.DropFile(Write(c.name, c.bytes));
    ASSERT_TRUE(out.ok) << c.name << ": " << out.message;
    EXPECT_EQ(g.display.changes, 1) << c.name;
    EXPECT_EQ(g.display.page[0], 0xE0) << c.name;                         // red
    EXPECT_EQ(g.display.page[c.lastY * 640 + c.lastX], 0x03) << c.name;   // blue
    if (c.lastX < 639) {
      EXPECT_EQ(g.display.page[c.lastX + 1], 0) << c.name << ": outside untouched";
    }
    EXPECT_TRUE(g.link.sent.empty()) << "nothing goes to the device";
  }
}

TEST_F(SimulatorDrop, RefusedFilesChangeNothing) {
  struct Case {
    std::string name;
    std::string bytes;
    std::string messageHas;
  };
  const Case cases[] = {
      {"notes.doc", "x", "notes.docはサポートしていない"},
      {"noext", "x", "noextはサポートしていない"},
      {"broken.jpg", "not a jpeg at all", "broken.jpg"},
      {"cut.jpg", MakeJpeg(64, 64).substr(0, 100), "cut.jpg"},
      {"broken.bmp", "BMxx", "broken.bmp」は読める画像ファイルではありません"},
      {"rle.bmp", RleBmp(), "rle.bmp」は読める画像ファイルではありません"},
      // Only the header is there: the size alone refuses it, before any
      // decoding, with the same words for both kinds.
      {"huge.jpg", HugeJpegHeader(11000, 11000), "huge.jpg」は 11000 × 11000 画素の画像で、大きすぎて読み込めません"},
      {"wide.jpg", HugeJpegHeader(20000, 10), "wide.jpg」は 20000 × 10 画素"},
      {"huge.bmp", HugeBmpHeader(11000, -11000), "huge.bmp」は 11000 × 11000 画素の画像で、大きすぎて"},
  };
  for (const Case& c : cases) {
    SimFixture g;
    std::string path = Write(c.name, c.bytes);
    DropOutcome out = g.sim.DropFile(path);
    EXPECT_FALSE(out.ok) << c.name;
    EXPECT_NE(out.message.find(c.messageHas), std::string::npos) << out.message;
    EXPECT_EQ(out.tooLarge, c.name.rfind("huge", 0) == 0 || c.name == "wide.jpg") << c.name;
    EXPECT_EQ(g.display.changes, 0) << c.name;
    EXPECT_EQ(g.display.page[0], 0) << c.name;
    EXPECT_EQ(g.macro.compiles, 0) << c.name;
  }
  EXPECT_FALSE(f.sim.DropFile((dir / "missing.jpg").string()).ok);
}

TEST_F(SimulatorDrop, TextFileReplacesTheMacroAndRestarts) {
  DropOutcome out = f.sim.DropFile(Write("m.TXT", "GOTO INIT\r\nINIT:\rEXIT\n\nEND"));
  ASSERT_TRUE(out.ok) << out.message;
  EXPECT_EQ(f.macro.text, (std::vector<std::string>{"GOTO INIT", "INIT:", "EXIT", "", "END"}));
  EXPECT_EQ(f.macro.compiles, 1);
  EXPECT_EQ(f.runner.runs, std::vector<std::string>{"<start>"});
}

}  // namespace
}  // namespace qmt
