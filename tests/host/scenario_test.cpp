// Scenarios: the reader's errors, the player's timing of ticks and sensor
// clicks, the checks of lines and screens, and the GIF animation.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "compiler/script.h"
#include "device/colour.h"
#include "device/png.h"
#include "device/qmt3308.h"
#include "host/macro_compile.h"
#include "host/name_tables.h"
#include "host/page_animation.h"
#include "host/page_pictures.h"
#include "host/png_reader.h"
#include "host/scenario.h"
#include "host/data_module.h"
#include "host/scenario_machine.h"
#include "host/scenario_recorder.h"
#include "host/scenario_review.h"
#include "host/scenario_update.h"
#include "runtime/runner.h"
#include "support/encoding.h"
#include "support/file_io.h"

namespace qmt {
namespace {

namespace fs = std::filesystem;

CompiledMacro Compile(const std::vector<std::string>& utf8) {
  std::vector<std::string> lines;
  for (const std::string& l : utf8) lines.push_back(Sjis(l));
  TScript script;
  NameTables tables;
  std::vector<std::string> errors = CompileMacroLines(script, tables, lines);
  EXPECT_TRUE(errors.empty()) << Cp932ToUtf8(errors.empty() ? "" : errors[0]);
  CompiledMacro m{script.Code(), {}};
  script.ListLabels(m.labels);
  return m;
}

// The timer tells its step through the colour it sets; a click on PTO
// tells whether the cell had followed the box when the event came.
const CompiledMacro& TestMacro() {
  static const CompiledMacro m = Compile({
      "d(\"CS00\")",
      "EXIT",
      "時間割込:",
      "  IF DTIME1==3 THEN d(\"CS03\")",
      "  IF DTIME1==4 THEN d(\"CS1C\")",
      "  DTIME1=0",
      "  EXIT",
      "chgPTO:",
      "  IF PTO==1 THEN d(\"CSE0\")",
      "  EXIT",
      "onRUN: d(\"LA0,0,639,479,1\"): EXIT",
      "onBAD: d(\"ZZ\"): EXIT",
  });
  return m;
}

struct TempDir {
  fs::path path;
  TempDir() {
    path = fs::temp_directory_path() / ("qmt-scenario-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~TempDir() { fs::remove_all(path); }
  std::string File(const std::string& name) const { return (path / name).string(); }
};

ScenarioReport Play(const std::string& text, const std::string& file = "t.scn", bool update = false) {
  Scenario s = ParseScenario(text, file);
  ScenarioOptions o;
  o.update = update;
  return RunScenario(s, TestMacro(), o);
}

TEST(ScenarioReader, RejectsBadLinesNamingFileLineAndFault) {
  const struct {
    const char* text;
    const char* fault;
  } cases[] = {
      {"tick 1\nfly away", "s.scn:2: unknown step 'fly'"},
      {"tick", "s.scn:1: expected tick N"},
      {"tick 0", "tick count 0 is not"},
      {"tick 2 step 51", "S being 0-50"},
      {"tick 600000\ntick 400001", "s.scn:2: more than 1000000 ticks"},
      {"slider pres=1001", "position of slider pres is not 0-1000"},
      {"slider wind=3", "unknown slider 'wind'"},
      {"slider pres", "expected slider NAME=VALUE"},
      {"switch PTO maybe", "takes on or off"},
      {"box NOPE on", "unknown switch 'NOPE'"},
      {"key 押す", "unknown key '押す'"},
      {"set anPRES=70000", "is not a number from -32768 to 65535"},
      {"set nothing=1", "unknown external value 'nothing'"},
      {"event", "event needs a label"},
      {"event \xff\xfe", "s.scn:1:"},
      {"timer sometimes", "expected timer on or timer off"},
      {"expect page 4 x.png", "N being 0-3"},
      {"expect screen", "expect screen FILE.png"},
      {"expect colours", "expected expect screen"},
      {"# fine\n\nevent A\x00", "NUL"},
      // Lone CR ends a line as LF does: the second line is read, not
      // lost in the comment.
      {"# a comment\rfly away", "s.scn:2: unknown step 'fly'"},
      {"tick 1\r\nkey \x89\x9f\x93\xae", "s.scn:2: the file is not UTF-8 text"},  // code page 932
      {"tick 99999999999999999999", "tick count 99999999999999999999 is not 1-1000000"},
      {"key \x1b[31mred", "unknown key '%1B[31mred'"},
      {"ignore 1,2,3", "expected ignore X,Y,W,H"},
      {"ignore all", "expected ignore X,Y,W,H"},
      {"ignore 600,0,41,10", "not inside the 640 x 480 page"},
      {"ignore 0,0,0,10", "not inside the 640 x 480 page"},
      {"ignore -1,0,5,5", "not inside the 640 x 480 page"},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    if (text.ends_with("A")) text += std::string(1, '\0');
    try {
      ParseScenario(text, "dir/s.scn");
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const ScenarioError& e) {
      EXPECT_NE(std::string(e.what()).find(c.fault), std::string::npos) << e.what();
      EXPECT_TRUE(std::string(e.what()).starts_with("dir/s.scn:")) << e.what();
    }
  }
}

TEST(ScenarioReader, ReadsEveryStepWithPathsBesideTheFile) {
  Scenario s = ParseScenario(
      "\xEF\xBB\xBF# a recording\r\n"
      "key 作動   # the RUN key\n"
      "key swSTOP\n"
      "event 時間割込\n"
      "tick 3\n"
      "tick 2 step 4\n"
      "slider Pres=620\n"
      "switch SFT1 on\n"
      "box PTO off\n"
      "set anPRES=$10\n"
      "timer off\n"
      "expect screen shots/a.png\n"
      "expect page 2 /abs/c.png\n"
      "expect lines ../l.txt\n"
      "expect line CS1C # not a comment\n"
      "expect line ER\n"
      "\n"
      "expect line DS0\n"
      "expect no lines\n"
      "ignore 10, 20,30 ,40\n"
      "ignore none\n",
      "suite/s.scn");
  using K = ScenarioStep::Kind;
  std::vector<K> kinds;
  for (const ScenarioStep& st : s.steps) kinds.push_back(st.kind);
  EXPECT_EQ(kinds, (std::vector<K>{K::kKey, K::kKey, K::kEvent, K::kTick, K::kTick, K::kSlider, K::kSwitch, K::kBox,
                                   K::kSet, K::kTimer, K::kExpectScreen, K::kExpectPage, K::kExpectLines,
                                   K::kExpectLines, K::kExpectLines, K::kExpectLines, K::kIgnore, K::kIgnore}));
  EXPECT_EQ(s.ticks, 5);
  EXPECT_EQ(s.steps[0].label, "onRUN");
  EXPECT_EQ(s.steps[0].text, "key 作動");
  EXPECT_EQ(s.steps[0].line, 2);
  EXPECT_EQ(s.steps[1].label, "onSTOP");
  EXPECT_EQ(s.steps[2].label, Sjis("時間割込"));
  EXPECT_EQ(s.steps[3].value, -1);
  EXPECT_EQ(s.steps[4].value, 4);
  EXPECT_EQ(s.steps[5].value, 620);
  EXPECT_EQ(s.steps[8].value, 16);
  EXPECT_EQ(s.steps[10].path, "suite/shots/a.png");
  EXPECT_EQ(s.steps[11].path, "/abs/c.png");
  EXPECT_EQ(s.steps[12].path, "l.txt");
  // Consecutive expect line steps are one check; a blank line ends it.
  EXPECT_EQ(s.steps[13].lines, (std::vector<std::string>{"CS1C # not a comment", "ER"}));
  EXPECT_EQ(s.steps[14].lines, (std::vector<std::string>{"DS0"}));
  EXPECT_TRUE(s.steps[15].inlineLines);
  EXPECT_TRUE(s.steps[15].lines.empty());
  EXPECT_EQ(s.steps[16].rect, (PageRect{10, 20, 30, 40}));
  EXPECT_EQ(s.steps[17].rect, PageRect{});
}

TEST(ScenarioPlayer, TicksStepTheClocksAndClicksComeAfterTheNextTick) {
  ScenarioReport r = Play(
      "expect line CS00\n"
      "tick 2\n"
      "expect line CS03\n"
      "expect line CS03\n"
      "tick 1 step 4\n"
      "expect line CS1C\n"
      "switch PTO on\n"
      "expect no lines\n"
      // The tick copies the box into PTO, then the click's event runs.
      "tick 1\n"
      "expect line CS03\n"
      "expect line CSE0\n"
      "box PTO off\n"
      "tick 1\n"
      "switch PTO on\n"
      "switch PTO off\n"
      "tick 1\n"
      "expect line CS03\n"
      "expect line CS03\n");
  EXPECT_EQ(r.status, ScenarioReport::Status::kPassed) << FailureText(r.failure);
  EXPECT_EQ(r.simulatedMs, 33u * 2 + 40 + 33 * 3);
  EXPECT_EQ(r.ticks, 6);
}

TEST(ScenarioPlayer, FailuresNameTheStepAndWhatDiffers) {
  const struct {
    const char* text;
    ScenarioReport::Status status;
    const char* message;
  } cases[] = {
      {"expect line CS00\ntick 1\nexpect line CS1C", ScenarioReport::Status::kFailed,
       "line 3 (expect line CS1C): command 1 since the previous lines check is CS03, expected CS1C"},
      // Of consecutive expect line steps, the one that differs is named.
      {"tick 1\nexpect line CS00\nexpect line CS99", ScenarioReport::Status::kFailed,
       "line 3 (expect line CS99): command 2 since the previous lines check is CS03, expected CS99"},
      {"expect line CS00\nexpect line ER", ScenarioReport::Status::kFailed, "1 commands sent, expected 2"},
      {"tick 1\n\nevent onBAD\ntick 1", ScenarioReport::Status::kFailed, "line 3 (event onBAD): run message: "},
      {"expect lines missing.txt", ScenarioReport::Status::kFailed, "no lines file missing.txt; `qmt test --update`"},
      {"expect screen none.png", ScenarioReport::Status::kFailed, "no baseline none.png; `qmt test --update`"},
  };
  for (const auto& c : cases) {
    ScenarioReport r = Play(c.text);
    EXPECT_EQ(r.status, c.status) << c.text;
    EXPECT_NE(FailureText(r.failure).find(c.message), std::string::npos) << FailureText(r.failure);
  }
}

// An update as qmt test makes it: the lines it prints.
std::vector<std::string> Update(const std::string& text, const std::string& scn) {
  ScenarioReport r = Play(text, scn, true);
  EXPECT_EQ(r.status, ScenarioReport::Status::kPassed) << FailureText(r.failure);
  std::vector<TakenWrite> taken;
  for (const BaselineWrite& w : r.writes) taken.push_back({"s", w});
  std::vector<std::string> lines;
  for (const UpdatedFile& f : WriteBaselines(taken)) lines.push_back(UpdatedFileLine(f));
  return lines;
}

TEST(ScenarioPlayer, ScreenChecksCompareColoursAndUpdateWritesOnlyWhatChanged) {
  TempDir dir;
  const std::string scn = dir.File("s.scn");
  const std::string text = "expect screen a.png\nevent onRUN\nexpect screen b.png\nexpect lines l.txt\n";
  EXPECT_EQ(Update(text, scn), (std::vector<std::string>{"new " + dir.File("a.png"), "new " + dir.File("b.png"),
                                                          "new " + dir.File("l.txt")}));
  EXPECT_EQ(ReadFile(dir.File("l.txt")), "CS00\nLA0,0,639,479,1\n");
  EXPECT_EQ(Play(text, scn).status, ScenarioReport::Status::kPassed);
  EXPECT_TRUE(Update(text, scn).empty());

  // The same picture in another PNG flavour still matches; one pixel off fails.
  RgbImage b;
  std::string error;
  ASSERT_TRUE(DecodePng(ReadFile(dir.File("b.png")), b, error)) << error;
  b.rgb[3 * (640 * 7 + 5)] ^= 0x80;
  WriteFileAtomic(dir.File("b.png"), EncodeRgbPng(b));
  ScenarioReport r = Play(text, scn);
  EXPECT_EQ(r.status, ScenarioReport::Status::kFailed);
  EXPECT_EQ(FailureText(r.failure), "line 3 (expect screen b.png): screen differs in 1 pixel, first at (5, 7)");
  ASSERT_TRUE(r.failure.pictures && r.failure.haveBaseline);
  RgbImage diff = DiffPicture(r.failure.actual.data(), r.failure.baseline);
  const std::uint8_t* hit = &diff.rgb[3 * (640 * 7 + 5)];
  EXPECT_EQ((std::vector<int>{hit[0], hit[1], hit[2]}), (std::vector<int>{255, 0, 255}));
  EXPECT_EQ(diff.rgb[0], b.rgb[0] / 3);

  // An update says what changed; the lines file too.
  WriteFileAtomic(dir.File("l.txt"), "CS00\nLA0,0,639,479,2\nER\n");
  EXPECT_EQ(Update(text, scn), (std::vector<std::string>{"updated " + dir.File("b.png") + ": 1 pixel changed",
                                                          "updated " + dir.File("l.txt") +
                                                              ": 2 lines changed, 2 in all"}));
  EXPECT_EQ(Play(text, scn).status, ScenarioReport::Status::kPassed);

  WriteFileAtomic(dir.File("a.png"), "not a picture");
  r = Play(text, scn);
  EXPECT_EQ(r.status, ScenarioReport::Status::kError);
  EXPECT_NE(r.failure.message.find(dir.File("a.png") + ": not a PNG picture"), std::string::npos) << r.failure.message;
}

// A baseline is decoded anew while it is checked once and kept once it is
// checked again: each way the checks see the same picture, and a kept one
// is not the one decoded after it.
TEST(ScenarioPlayer, BaselinesComparedAsOftenAsTheyAreRead) {
  TempDir dir;
  const std::string scn = dir.File("s.scn");
  Update("expect screen a.png\nevent onRUN\nexpect screen b.png\n", scn);
  const std::string text = "event onRUN\nexpect screen b.png\nexpect screen a.png\nexpect screen b.png\n";
  ScenarioReport first = Play(text, scn);
  ASSERT_EQ(first.status, ScenarioReport::Status::kFailed);
  EXPECT_EQ(first.failure.line, 3);
  ASSERT_TRUE(first.failure.haveBaseline);
  for (int run = 0; run < 3; ++run) {
    ScenarioReport r = Play(text, scn);
    EXPECT_EQ(FailureText(r.failure), FailureText(first.failure)) << "run " << run;
    EXPECT_EQ(r.failure.baseline.rgb, first.failure.baseline.rgb) << "run " << run;
    // The passing check of b.png between the two.
    EXPECT_EQ(Play("event onRUN\nexpect screen a.png\nexpect screen b.png\n", scn).failure.line, 2);
  }
}

// Two checks of one baseline that see different screens: neither is
// written, and the error names both.
TEST(ScenarioPlayer, UpdateLeavesABaselineTwoChecksDisagreeOn) {
  TempDir dir;
  const std::string scn = dir.File("s.scn");
  EXPECT_EQ(Update("expect screen a.png\nevent onRUN\nexpect screen a.png\n", scn),
            (std::vector<std::string>{"ERROR " + dir.File("a.png") +
                                      ": s line 1 (expect screen a.png) and s line 3 (expect screen a.png) see "
                                      "different screens; nothing written for it"}));
  EXPECT_FALSE(fs::exists(dir.File("a.png")));
  // Checks that agree write the file once.
  EXPECT_EQ(Update("event onRUN\nexpect screen a.png\ntick 1\nexpect screen a.png\n", scn),
            (std::vector<std::string>{"new " + dir.File("a.png")}));
}

// A review accepts a check only when every other check of its file, in
// its own scenario or in another of the folder tree (listed or not), sees
// the same: otherwise accepting makes that one fail.
TEST(ScenarioReview, AcceptRefusesAFileAnotherCheckSeesOtherwise) {
  TempDir dir;
  fs::create_directories(dir.path / "more");
  WriteFileAtomic(dir.File("more/a.scn"), "expect screen ../a.png\n");
  WriteFileAtomic(dir.File("b.scn"), "event onRUN\nexpect screen a.png\n");
  WriteFileAtomic(dir.File("c.scn"), "event onRUN\nexpect screen c.png\nexpect screen c.png\n");
  Update("expect screen a.png\n", dir.File("x.scn"));
  Update("expect screen c.png\n", dir.File("x.scn"));
  const std::string before = ReadFile(dir.File("a.png"));
  ScenarioReview review({{"b", dir.File("b.scn")}, {"c", dir.File("c.scn")}}, TestMacro());
  ASSERT_TRUE(review.Current());
  try {
    review.Accept();
    ADD_FAILURE() << "accepted";
  } catch (const SharedFileDisagrees& e) {
    EXPECT_EQ(e.Other(), dir.File("more/a.scn") + " line 1 (expect screen ../a.png)");
  }
  EXPECT_EQ(ReadFile(dir.File("a.png")), before);
  ASSERT_TRUE(review.Current());
  EXPECT_EQ(review.Current()->index, 0u);
  review.Keep();
  // Two checks of c.png in c that agree with each other: accepted.
  ASSERT_TRUE(review.Current());
  EXPECT_EQ(review.Current()->index, 1u);
  review.Accept();
  EXPECT_FALSE(review.Current());
  EXPECT_EQ(review.StatusOf(1), ScenarioReport::Status::kPassed);
  EXPECT_EQ(review.Accepted(), 1);
}

// Ignored rectangles: what differs inside them passes, the count of
// ignored pixels is in the failure, the diff picture hatches them, and
// `ignore none` ends them.
TEST(ScenarioPlayer, IgnoredRectanglesAreLeftOutOfScreenChecks) {
  TempDir dir;
  const std::string scn = dir.File("s.scn");
  // The baseline: the page before onRUN draws its diagonal.
  Update("expect screen a.png\n", scn);
  const struct {
    const char* text;
    const char* failure;  // "" when it passes
  } cases[] = {
      {"event onRUN\nexpect screen a.png", "first at (0, 0)"},
      {"ignore 0,0,640,480\nevent onRUN\nexpect screen a.png", ""},
      {"ignore 0,0,320,480\nignore 320,0,320,480\nevent onRUN\nexpect page 0 a.png", ""},
      {"ignore 0,0,100,100\nignore 50,50,100,100\nevent onRUN\nexpect screen a.png", "; 17,500 pixels ignored"},
      {"ignore 0,0,640,480\nignore none\nevent onRUN\nexpect screen a.png", "first at (0, 0)"},
  };
  for (const auto& c : cases) {
    ScenarioReport r = Play(c.text, scn);
    if (*c.failure == '\0') {
      EXPECT_EQ(r.status, ScenarioReport::Status::kPassed) << c.text << ": " << FailureText(r.failure);
    } else {
      EXPECT_NE(FailureText(r.failure).find(c.failure), std::string::npos) << c.text << ": " << FailureText(r.failure);
    }
  }
  // A check whose ignored rectangles cover the whole page compares nothing,
  // and is said to; one that leaves a pixel compared is a check.
  const struct {
    const char* text;
    std::vector<std::string> warnings;
  } checksNothing[] = {
      {"ignore 0,0,640,480\nexpect screen a.png",
       {"line 2: the ignored rectangles cover the whole page; the check compares nothing",
        "the scenario checks nothing"}},
      {"ignore 0,0,320,480\nignore 320,0,320,480\nexpect page 0 a.png\nexpect line CS00",
       {"line 3: the ignored rectangles cover the whole page; the check compares nothing"}},
      {"ignore 0,0,640,479\nexpect screen a.png", {}},
      {"ignore 0,0,640,480\nignore none\nexpect screen a.png", {}},
  };
  for (const auto& c : checksNothing) EXPECT_EQ(Play(c.text, scn).warnings, c.warnings) << c.text;

  ScenarioReport r = Play("ignore 0,0,100,100\nevent onRUN\nexpect screen a.png", scn);
  ASSERT_TRUE(r.failure.haveBaseline);
  RgbImage diff = DiffPicture(r.failure.actual.data(), r.failure.baseline, r.failure.ignored);
  int inside = 0, outside = 0, stripes = 0;
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      const std::uint8_t* p = &diff.rgb[3 * (640 * y + x)];
      const bool magenta = p[0] == 255 && p[1] == 0 && p[2] == 255;
      const bool in = x < 100 && y < 100;
      (in ? inside : outside) += magenta;
      stripes += in && p[0] == 160 && p[1] == 160 && p[2] == 160;
    }
  }
  EXPECT_EQ(inside, 0);
  EXPECT_GT(outside, 0);
  // Two of every eight diagonals are stripes.
  EXPECT_GT(stripes, 2000);
  EXPECT_LT(stripes, 3000);
}

// Report pictures: colour-mapped when they fit (a page always does), RGB
// beyond 256 colours, and the same pixels through libpng and the
// program's own reader either way.
TEST(ReportPictures, ColourMappedWhenTheyFitAndReadAlike) {
  std::vector<std::uint8_t> page(kPageBytes);
  for (int i = 0; i < kPageBytes; ++i) page[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i / 7 + i % 640);
  RgbImage many{300, 2, std::vector<std::uint8_t>(300 * 2 * 3)};
  for (std::size_t j = 0; j < 600; ++j) {  // 600 colours
    many.rgb[3 * j] = static_cast<std::uint8_t>(j);
    many.rgb[3 * j + 1] = static_cast<std::uint8_t>(j >> 8 << 6);
    many.rgb[3 * j + 2] = 7;
  }
  const struct {
    RgbImage picture;
    int colourType;  // of the PNG: 3 colour-mapped, 2 RGB
  } cases[] = {
      {PagePicture(page.data()), 3},
      {RgbImage{1, 1, {9, 8, 7}}, 3},
      {many, 2},
  };
  for (const auto& c : cases) {
    const std::string png = EncodeRgbPng(c.picture);
    ASSERT_GT(png.size(), 26u);
    EXPECT_EQ(png[25], c.colourType) << c.picture.width;
    RgbImage theirs, ours;
    std::string error;
    ASSERT_TRUE(DecodePng(png, theirs, error)) << error;
    ASSERT_TRUE(ReadPngPicture(png, ours, error)) << error;
    for (const RgbImage* read : {&theirs, &ours}) {
      EXPECT_EQ(read->width, c.picture.width);
      EXPECT_EQ(read->height, c.picture.height);
      EXPECT_TRUE(read->rgb == c.picture.rgb) << c.picture.width;
    }
  }
}

// The places where a page differs: one ring per group of nearby pixels,
// none inside ignored rectangles, joined when there would be too many.
TEST(ReportPictures, DifferenceAreasGroupNearbyPixels) {
  std::vector<std::uint8_t> page(kPageBytes, 0);
  const RgbImage baseline = PagePicture(page.data());
  auto set = [&](int x, int y) { page[static_cast<std::size_t>(y * 640 + x)] = 0xE0; };
  EXPECT_TRUE(DifferenceAreas(page.data(), baseline).empty());
  set(123, 45);
  EXPECT_EQ(DifferenceAreas(page.data(), baseline), (std::vector<PageRect>{{123, 45, 1, 1}}));
  set(126, 47);  // close by: one group
  set(639, 479);
  EXPECT_EQ(DifferenceAreas(page.data(), baseline), (std::vector<PageRect>{{123, 45, 4, 3}, {639, 479, 1, 1}}));
  EXPECT_EQ(DifferenceAreas(page.data(), baseline, {{600, 400, 40, 80}}), (std::vector<PageRect>{{123, 45, 4, 3}}));
  // A scatter of 100 far apart: at most the number asked for, covering all.
  for (int k = 0; k < 100; ++k) set(k % 10 * 60 + 5, k / 10 * 45 + 5);
  const std::vector<PageRect> areas = DifferenceAreas(page.data(), baseline, {}, 32);
  EXPECT_LE(areas.size(), 32u);
  EXPECT_GE(areas.size(), 2u);
  for (int k = 0; k < 100; ++k) {
    const int x = k % 10 * 60 + 5, y = k / 10 * 45 + 5;
    EXPECT_TRUE(std::any_of(areas.begin(), areas.end(), [&](const PageRect& r) {
      return x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h;
    })) << x << "," << y;
  }
  // The diff picture frames each group in yellow and leaves the pixels magenta.
  std::vector<std::uint8_t> two(kPageBytes, 0);
  two[45 * 640 + 123] = two[400 * 640 + 500] = 0xE0;
  const RgbImage diff = DiffPicture(two.data(), baseline);
  auto at = [&](int x, int y) {
    const std::uint8_t* p = &diff.rgb[3 * static_cast<std::size_t>(y * 640 + x)];
    return std::vector<int>{p[0], p[1], p[2]};
  };
  const std::vector<int> magenta{255, 0, 255}, yellow{255, 255, 0};
  for (auto [x, y] : {std::pair{123, 45}, std::pair{500, 400}}) {
    EXPECT_EQ(at(x, y), magenta);
    EXPECT_EQ(at(x - 3, y), yellow);
    EXPECT_EQ(at(x + 3, y + 3), yellow);
    EXPECT_NE(at(x - 2, y), yellow);
  }
  EXPECT_NE(at(300, 45), yellow);  // not one frame around both
}

// What a recording in a running window relies on: after the reset, the
// macro's start and the same steps give the same pages as a fresh run.
TEST(ScenarioPlayer, ResetMakesAUsedMachineAFreshOne) {
  Scenario s = ParseScenario("tick 3\nevent onRUN\nswitch PTO on\ntick 2\n", "s.scn");
  ScenarioMachine fresh(TestMacro());
  ASSERT_EQ(RunScenarioOn(fresh, s, {}).status, ScenarioReport::Status::kPassed);

  ScenarioMachine used(TestMacro());
  RunScenarioOn(used, ParseScenario("event onRUN\ntick 7\nset PTO=1\n", "u.scn"), {});
  used.Device().ExecuteLine("DS2");
  ResetForScenario(used.Runner(), used.Device(), used.Model());
  used.Model().SetSwitch(0, false);
  ASSERT_EQ(RunScenarioOn(used, s, {}).status, ScenarioReport::Status::kPassed);
  for (int p = 0; p < 4; ++p)
    EXPECT_EQ(std::memcmp(fresh.Screen().Page(p), used.Screen().Page(p), kPageBytes), 0) << "page " << p;
  EXPECT_EQ(fresh.Runner().externals, used.Runner().externals);
  EXPECT_EQ(used.Model().TickCount(), 5);
}

// A machine started again after a scenario that moved every kind of input
// and drew on every page is the fresh one: same pages, cells, lines.
TEST(ScenarioPlayer, AMachineStartedAgainIsAFreshOne) {
  Scenario s = ParseScenario(
      "expect line CS00\ntick 2\nswitch PTO on\ntick 1\nexpect line CS03\nexpect line CS03\nexpect line CS03\n"
      "expect line CSE0\n",
      "s.scn");
  ScenarioMachine fresh(TestMacro());
  ScenarioReport first = RunScenarioOn(fresh, s, {});
  ASSERT_EQ(first.status, ScenarioReport::Status::kPassed) << FailureText(first.failure);

  ScenarioMachine used(TestMacro());
  used.StartAgain();
  for (int p = 0; p < 4; ++p) used.Device().ExecuteLine("PS" + std::to_string(p));
  RunScenarioOn(used, ParseScenario("event onRUN\ntick 7 step 9\nset PTO=1\nslider pres=900\nbox SFT1 on\n"
                                    "timer off\nevent onBAD\n", "u.scn"), {});
  used.Device().ExecuteLine("DS2");
  used.Device().ExecuteLine("MS");
  used.StartAgain();
  ScenarioPlayer player(s, used);
  StepResult r = player.Begin();
  while (r.status == StepResult::Status::kOk && !player.AtEnd()) r = player.Step();
  EXPECT_EQ(r.status, StepResult::Status::kOk) << r.message;
  for (int p = 0; p < 4; ++p) {
    EXPECT_EQ(std::memcmp(fresh.Screen().Page(p), used.Screen().Page(p), kPageBytes), 0) << "page " << p;
    EXPECT_EQ(std::memcmp(fresh.Screen().StorePage(p), used.Screen().StorePage(p), kPageBytes), 0) << "store " << p;
  }
  EXPECT_EQ(fresh.Screen().DisplayPage(), used.Screen().DisplayPage());
  EXPECT_EQ(fresh.Runner().externals, used.Runner().externals);
  EXPECT_EQ(used.Model().TickCount(), 3);
  EXPECT_TRUE(used.Model().TimerEnabled());
}

// Scenarios run on two threads at once, as the window's review runs beside
// the window: the device's text drawing and glyphs are shared by the
// threads, and each thread's screens come out as on one thread alone.
TEST(ScenarioPlayer, ScenariosRunOnTwoThreadsAtOnce) {
  TempDir dir;
  HeadlessToolWindow tool;
  TDM dm(tool);
  dm.CompileMacro();
  CompiledMacro macro{dm.Script1.Code(), {}};
  dm.Script1.ListLabels(macro.labels);
  const std::vector<std::string> texts = {
      "tick 1\nkey 作動\nexpect screen a.png\nkey 回転\nexpect screen b.png\nkey 流量\nexpect screen c.png\n",
      "tick 1\nkey 連成\nexpect screen d.png\nkey 圧力\nexpect screen e.png\nkey 取扱\nexpect screen f.png\n",
  };
  std::vector<Scenario> scenarios;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    scenarios.push_back(ParseScenario(texts[i], dir.File("s" + std::to_string(i) + ".scn")));
    ScenarioOptions update;
    update.update = true;
    ScenarioReport r = RunScenario(scenarios.back(), macro, update);
    ASSERT_EQ(r.status, ScenarioReport::Status::kPassed) << FailureText(r.failure);
    std::vector<TakenWrite> taken;
    for (const BaselineWrite& w : r.writes) taken.push_back({"s", w});
    WriteBaselines(taken);
  }
  std::atomic<int> failures{0};
  std::string first;
  std::mutex firstMutex;
  auto run = [&](std::size_t which) {
    for (int round = 0; round < 20; ++round) {
      ScenarioReport r = RunScenario(scenarios[which], macro, {});
      if (r.status != ScenarioReport::Status::kPassed) {
        ++failures;
        std::lock_guard<std::mutex> lock(firstMutex);
        if (first.empty()) first = FailureText(r.failure);
      }
    }
  };
  std::thread a(run, 0), b(run, 1);
  a.join();
  b.join();
  EXPECT_EQ(failures.load(), 0) << first;
}

// A program killed while recording leaves the scenario as far as it went:
// the file holds every step and the running count of ticks at each moment.
TEST(ScenarioRecorder, TheFileGrowsWithTheRecording) {
  TempDir dir;
  const std::string file = dir.File("rec.scn");
  ScenarioRecorder recorder(file);
  recorder.Key(0);
  EXPECT_EQ(ReadFile(file), recorder.Text());
  for (int i = 0; i < 12; ++i) {
    recorder.Tick(3);
    EXPECT_EQ(ReadFile(file), recorder.Text());
  }
  recorder.Tick(4);
  recorder.Slider(Slider::Pres, 620);
  recorder.Tick(3);
  EXPECT_EQ(ReadFile(file), recorder.Text());
  EXPECT_NE(recorder.Text().find("tick 12 step 3\ntick 1 step 4\nslider pres=620\ntick 1 step 3\n"), std::string::npos)
      << recorder.Text();
  EXPECT_EQ(ParseScenario(ReadFile(file), file).ticks, 14);
}

TEST(PageAnimation, DelaysKeepTheTotalTime) {
  EXPECT_EQ(PageAnimation::Delays({0, 33, 66, 99}, 132), (std::vector<int>{3, 4, 3, 3}));
  EXPECT_EQ(PageAnimation::Delays({0, 33, 66}, 99), (std::vector<int>{3, 4, 3}));
  EXPECT_EQ(PageAnimation::Delays({100, 140}, 140), (std::vector<int>{4, 0}));
}

int ReadFromString(GifFileType* gif, GifByteType* out, int length) {
  auto* s = static_cast<std::string_view*>(gif->UserData);
  int n = std::min<int>(length, static_cast<int>(s->size()));
  std::memcpy(out, s->data(), static_cast<std::size_t>(n));
  s->remove_prefix(static_cast<std::size_t>(n));
  return n;
}

TEST(PageAnimation, GifHasTheDevicePaletteAndOneFramePerChange) {
  TQMT3308 device;
  PageAnimation a;
  a.Start(device.DisplayPageBytes(), 0);
  EXPECT_FALSE(a.Add(device.DisplayPageBytes(), 33));
  device.DisplayPageBytes()[640 * 100 + 200] = 0x1C;
  device.DisplayPageBytes()[640 * 101 + 210] = 0xE3;
  EXPECT_TRUE(a.Add(device.DisplayPageBytes(), 66));
  a.End(99);
  std::string bytes = a.EncodeGif();
  std::string_view in = bytes;
  int error = 0;
  GifFileType* gif = DGifOpen(&in, ReadFromString, &error);
  ASSERT_NE(gif, nullptr);
  ASSERT_EQ(DGifSlurp(gif), GIF_OK);
  ASSERT_EQ(gif->ImageCount, 2);
  ASSERT_EQ(gif->SColorMap->ColorCount, 256);
  for (int c : {0x00, 0x1C, 0xE3, 0xFF}) {
    Rgb rgb = ColourToRGB(static_cast<std::uint8_t>(c));
    const GifColorType& g = gif->SColorMap->Colors[c];
    EXPECT_EQ((std::vector<int>{g.Red, g.Green, g.Blue}), (std::vector<int>{rgb.r, rgb.g, rgb.b}));
  }
  const SavedImage& second = gif->SavedImages[1];
  EXPECT_EQ(second.ImageDesc.Left, 200);
  EXPECT_EQ(second.ImageDesc.Top, 100);
  EXPECT_EQ(second.ImageDesc.Width, 11);
  EXPECT_EQ(second.ImageDesc.Height, 2);
  EXPECT_EQ(second.RasterBits[0], 0x1C);
  EXPECT_EQ(second.RasterBits[11 + 10], 0xE3);
  int total = 0;
  for (int i = 0; i < gif->ImageCount; ++i) {
    GraphicsControlBlock gcb;
    ASSERT_EQ(DGifSavedExtensionToGCB(gif, i, &gcb), GIF_OK);
    total += gcb.DelayTime;
  }
  EXPECT_EQ(total, 10);
  DGifCloseFile(gif, &error);

  // Only what changed in each row is kept, not the rectangle around it.
  PageAnimation corners;
  corners.Start(device.DisplayPageBytes(), 0);
  device.DisplayPageBytes()[0] ^= 1;
  device.DisplayPageBytes()[kPageBytes - 1] ^= 1;
  EXPECT_TRUE(corners.Add(device.DisplayPageBytes(), 33));
  EXPECT_LT(corners.FrameBytes(), 100u);
  // Keeping only the last frames: the first becomes the page as it was.
  a.DropOldestBeyond(0);
  EXPECT_EQ(a.FrameCount(), 1u);
  EXPECT_EQ(a.FrameBytes(), 0u);
  a.Add(device.DisplayPageBytes(), 132);
  EXPECT_FALSE(a.Add(device.DisplayPageBytes(), 165));
}

// Changes at the time of the frame before belong to it: no frame is shown
// for no time (a GIF delay of 0, which viewers stretch to a tenth of a
// second), and what each frame shows is the page at its time.
TEST(PageAnimation, ChangesAtOneTimeMakeOneFrame) {
  TQMT3308 device;
  std::uint8_t* page = device.DisplayPageBytes();
  PageAnimation a;
  a.Start(page, 0);
  page[640 * 10 + 5] = 0x1C;  // an event right after the start
  EXPECT_TRUE(a.Add(page, 0));
  EXPECT_EQ(a.FrameCount(), 1u);
  page[640 * 20 + 30] = 0xE3;
  EXPECT_TRUE(a.Add(page, 33));
  page[640 * 20 + 40] = 0x03;  // two changes in one tick, the second to the left and below
  page[640 * 25 + 2] = 0x03;
  EXPECT_TRUE(a.Add(page, 33));
  page[640 * 20 + 40] = 0x00;  // and one put back within it
  EXPECT_TRUE(a.Add(page, 33));
  a.End(66);
  EXPECT_EQ(a.FrameCount(), 2u);
  const std::string bytes = a.EncodeGif();
  std::string_view in = bytes;
  int error = 0;
  GifFileType* gif = DGifOpen(&in, ReadFromString, &error);
  ASSERT_NE(gif, nullptr);
  ASSERT_EQ(DGifSlurp(gif), GIF_OK);
  ASSERT_EQ(gif->ImageCount, 2);
  for (int i = 0; i < 2; ++i) {
    GraphicsControlBlock gcb;
    ASSERT_EQ(DGifSavedExtensionToGCB(gif, i, &gcb), GIF_OK);
    EXPECT_GT(gcb.DelayTime, 0) << "frame " << i;
  }
  EXPECT_EQ(gif->SavedImages[0].RasterBits[640 * 10 + 5], 0x1C);
  const SavedImage& second = gif->SavedImages[1];
  EXPECT_EQ((std::vector<int>{second.ImageDesc.Left, second.ImageDesc.Top, second.ImageDesc.Width,
                              second.ImageDesc.Height}),
            (std::vector<int>{2, 20, 39, 6}));
  const int w = second.ImageDesc.Width;
  EXPECT_EQ(second.RasterBits[28], 0xE3);
  EXPECT_EQ(second.RasterBits[38], 0x00);
  EXPECT_EQ(second.RasterBits[5 * w], 0x03);
  DGifCloseFile(gif, &error);
}

}  // namespace
}  // namespace qmt
