// The page's interface, driven natively: the same session the WebAssembly
// module holds.
#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "device/bmp.h"
#include "device/colour.h"
#include "device/qmt3308.h"
#include "host/macro_compile.h"
#include "host/scenario_machine.h"
#include "host/data_module.h"
#include "host/name_tables.h"
#include "compiler/script.h"
#include "support/encoding.h"
#include "web/qmt_web.h"

namespace qmt {
namespace {

using nlohmann::json;

json Parse(const char* text) { return json::parse(text); }

const std::uint8_t* U(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }
int N(const std::string& s) { return static_cast<int>(s.size()); }

// The built-in macro compiled with the built-in colours, as the program
// starts it.
CompiledMacro BuiltInMacro() {
  HeadlessToolWindow tool;
  TDM dm(tool);
  dm.CompileMacro();
  EXPECT_TRUE(tool.ErrLog().empty());
  return {dm.Script1.Code(), dm.LabelTable()};
}

bool SamePage(const ScenarioMachine& machine) {
  qmt_web_frame();
  return std::memcmp(machine.Screen().DisplayPageBytes(), qmt_web_page(), kPageBytes) == 0;
}

TEST(WebApi, StartsWithTheBuiltInMacroAndDrawsWhatTheInputsRaise) {
  const json start = Parse(qmt_web_start());
  EXPECT_TRUE(start["ok"]) << start;
  EXPECT_TRUE(start["errors"].empty());
  EXPECT_GT(start["frame"].get<int>(), 0);

  // The same inputs on a scenario machine (as qmt run plays them) give the
  // same page at every point.
  const CompiledMacro macro = BuiltInMacro();
  ScenarioMachine machine(macro);
  machine.Start();
  ASSERT_TRUE(SamePage(machine));
  const json panel = Parse(qmt_web_panel());
  ASSERT_EQ(panel["keys"].size(), kKeys.size());
  EXPECT_EQ(panel["keys"][0]["caption"], "作動");
  EXPECT_EQ(panel["sliders"][2]["name"], "pres");
  EXPECT_EQ(panel["switches"][0]["caption"], "PTO");

  EXPECT_TRUE(Parse(qmt_web_key(0))["ok"]);
  machine.Model().ReadInputs();
  machine.Model().RaiseEvent(Sjis("onRUN"));
  EXPECT_TRUE(SamePage(machine));

  EXPECT_TRUE(Parse(qmt_web_slider(2, 850))["ok"]);
  machine.Model().SetSlider(Slider::Pres, 850);
  EXPECT_TRUE(Parse(qmt_web_switch(0, 1))["ok"]);
  machine.Model().SetSwitch(0, true);
  for (int t = 1; t <= 6; ++t) {
    const int before = qmt_web_frame();
    const json tick = Parse(qmt_web_tick(33.0 * t));
    EXPECT_TRUE(tick["ok"]) << tick;
    machine.Model().Timer1Timer(33u * t);
    if (t == 1) machine.Model().RaiseEvent(Sjis("chgPTO"));
    ASSERT_TRUE(SamePage(machine)) << "tick " << t;
    EXPECT_GE(tick["frame"].get<int>(), before);
  }

  // Refused inputs are named, not carried out.
  // (Each string lives until the next call, so each is read at once.)
  for (const json& o : {Parse(qmt_web_key(11)), Parse(qmt_web_key(-1)), Parse(qmt_web_slider(6, 0)),
                        Parse(qmt_web_switch(15, 1))}) {
    EXPECT_FALSE(o["ok"]);
    EXPECT_TRUE(o.contains("error")) << o;
  }
}

TEST(WebApi, CompileAndGoReportsErrorsAsTheErrorPageDoes) {
  qmt_web_start();
  const std::string good = "START:\r\n  x=1\r\n  EXIT\r\n";
  json out = Parse(qmt_web_compile(U(good), N(good)));
  EXPECT_TRUE(out["ok"]) << out;
  EXPECT_NE(std::string(qmt_web_listing()), "");
  EXPECT_EQ(std::string(qmt_web_macro_text()), "START:\n  x=1\n  EXIT");

  const std::string bad = "START:\r\n  x=(1\r\n";
  out = Parse(qmt_web_compile(U(bad), N(bad)));
  EXPECT_FALSE(out["ok"]);
  ASSERT_FALSE(out["errors"].empty()) << out;
  // The compiler finds the bracket missing at the line end, counted from 0;
  // the list counts from 1 like the editor's margin.
  EXPECT_EQ(out["errors"][0]["line"], 3);
  EXPECT_EQ(out["errors"][0]["text"].get<std::string>().rfind("[3行目]   2,", 0), 0u) << out;
  // With errors the inputs run nothing: the window brings its error page
  // forward instead.
  EXPECT_TRUE(Parse(qmt_web_key(0))["messages"].empty());
}

TEST(WebApi, FilesConvertAsTheDesktopSavesAndOpensThem) {
  const std::string text = "*開始\n  x = 1\r\nlast";
  const std::string expected = Sjis("*開始\r\n  x = 1\r\nlast\r\n");
  ASSERT_EQ(qmt_web_text_to_file(U(text), N(text)), N(expected));
  const std::string saved(reinterpret_cast<const char*>(qmt_web_bytes()), expected.size());
  EXPECT_EQ(saved, expected);
  EXPECT_EQ(std::string(qmt_web_file_to_text(U(saved), N(saved))), "*開始\n  x = 1\nlast");

  const std::string euro = "ok\n€ here";
  EXPECT_EQ(qmt_web_text_to_file(U(euro), N(euro)), -1);
  EXPECT_EQ(std::string(qmt_web_last_error()), "2行目の文字 U+20AC (€) はシフトJISで表せません");
  const std::string broken = "a\xC3";
  EXPECT_EQ(qmt_web_text_to_file(U(broken), N(broken)), -1);
  EXPECT_NE(std::string(qmt_web_last_error()), "");
}

// A file the code page does not fully hold (a stray byte in a comment, a
// NUL) opens, compiles and saves with its own bytes, as qmt takes it.
TEST(WebApi, FilesKeepBytesTheCodePageDoesNotHold) {
  const std::string file = Sjis("*開始\r\n  // コメント") + "\xA0\x85\x41" + Sjis("ここまで\r\n  x = 1") +
                           std::string("\0", 1) + "after NUL\r\n  EXIT\r\n";
  const std::string text = qmt_web_file_to_text(U(file), N(file));
  EXPECT_NE(text.find("after NUL"), std::string::npos) << "nothing after the NUL is lost";
  EXPECT_EQ(text.find("\xEF\xBF\xBD"), std::string::npos) << "no byte becomes U+FFFD";
  ASSERT_EQ(qmt_web_text_to_file(U(text), N(text)), N(file)) << qmt_web_last_error();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(qmt_web_bytes()), file.size()), file);
  // A character the code page cannot hold after a kept byte is still the
  // one named.
  const std::string euro = text + "€";
  EXPECT_EQ(qmt_web_text_to_file(U(euro), N(euro)), -1);
  EXPECT_EQ(std::string(qmt_web_last_error()), "4行目の文字 U+20AC (€) はシフトJISで表せません");

  EXPECT_EQ(qmt_web_file_is_utf8(U(file), N(file)), 0);
  const std::string notepad = "\xEF\xBB\xBF*開始\r\n";
  EXPECT_EQ(qmt_web_file_is_utf8(U(notepad), N(notepad)), 1);
}

TEST(WebApi, DroppedFilesAndTheCommandTest) {
  qmt_web_start();
  json out = Parse(qmt_web_drop("notes.doc", U("x"), 1));
  EXPECT_FALSE(out["ok"]);
  EXPECT_EQ(out["error"], "notes.docはサポートしていない") << out;

  // A page as a bitmap file, dropped back: its colours land as they are.
  std::vector<std::uint8_t> page(kPageBytes, 0x03);
  page[0] = 0xFF;
  page[1] = 0xE0;
  const std::string bmp = EncodePageBmp(page.data());
  out = Parse(qmt_web_drop("Pic.BMP", U(bmp), N(bmp)));
  EXPECT_TRUE(out["ok"]) << out;
  EXPECT_EQ(std::memcmp(qmt_web_page(), page.data(), kPageBytes), 0);
  out = Parse(qmt_web_drop("bad.bmp", U("BMxx"), 4));
  EXPECT_FALSE(out["ok"]);
  EXPECT_EQ(out["error"], "「bad.bmp」は読める画像ファイルではありません") << out;
  // The page asks before it decodes a JPEG itself: its header's size alone
  // refuses it, in the windows' words.
  const std::string huge = std::string("\xFF\xD8\xFF\xC0\x00\x11\x08\x2A\xF8\x2A\xF8\x03", 12);
  out = Parse(qmt_web_check_picture("huge.JPG", U(huge), N(huge)));
  EXPECT_FALSE(out["ok"]);
  EXPECT_EQ(out["error"].get<std::string>().rfind("「huge.JPG」は 11000 × 11000 画素の画像で、大きすぎて", 0), 0u) << out;
  const std::string small = std::string("\xFF\xD8\xFF\xC0\x00\x11\x08\x01\xE0\x02\x80\x03", 12);
  EXPECT_TRUE(Parse(qmt_web_check_picture("small.jpg", U(small), N(small)))["ok"]);

  const std::uint8_t blue[] = {0, 0, 255};
  EXPECT_TRUE(Parse(qmt_web_drop_rgb(1, 1, blue, 3))["ok"]);
  EXPECT_EQ(qmt_web_page()[0], NearestColour(0, 0, 255));
  EXPECT_FALSE(Parse(qmt_web_drop_rgb(2, 2, blue, 3))["ok"]);
  const int frame = qmt_web_frame();
  EXPECT_EQ(qmt_web_rgba()[2], 255);
  EXPECT_EQ(qmt_web_frame(), frame);  // nothing changed since

  const std::string macro = Sjis("開始:\r\n  x=1\r\n  EXIT\r\n");
  out = Parse(qmt_web_drop("m.txt", U(macro), N(macro)));
  EXPECT_TRUE(out["ok"]) << out;
  EXPECT_TRUE(out["errors"].empty());
  EXPECT_EQ(std::string(qmt_web_macro_text()), "開始:\n  x=1\n  EXIT");

  // The command test: device errors come back as messages, a line the code
  // page cannot hold is named and skipped.
  const std::string commands = "PA0,479\r\nPR0,1,1\n€\n";
  out = Parse(qmt_web_command(U(commands), N(commands)));
  EXPECT_FALSE(out["ok"]);
  ASSERT_EQ(out["messages"].size(), 1u) << out;
  EXPECT_EQ(out["messages"][0], "スキャンライン のインデックスが範囲を越えました");
  EXPECT_EQ(out["error"], "QMTコマンド 3行目の文字 U+20AC (€) はシフトJISで表せません");
}

}  // namespace
}  // namespace qmt
