// A session started on a macro of its own (a linked or picked macro) is as
// `qmt run FILE` starts: nothing of the built-in macro's screen or of the
// built-ins' memory is left.  And the command test skips blank lines.
#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "compiler/script.h"
#include "device/qmt3308.h"
#include "host/macro_compile.h"
#include "host/name_tables.h"
#include "host/scenario_machine.h"
#include "support/encoding.h"
#include "support/file_io.h"
#include "web/qmt_web.h"

namespace qmt {
namespace {

using nlohmann::json;

const std::uint8_t* U(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }
int N(const std::string& s) { return static_cast<int>(s.size()); }

// The macro compiled as `qmt run FILE` compiles it.
CompiledMacro CompileAsRun(const std::string& cp932) {
  TScript script;
  NameTables tables;
  EXPECT_TRUE(CompileMacroLines(script, tables, SplitLines(cp932)).empty());
  CompiledMacro out{script.Code(), {}};
  script.ListLabels(out.labels);
  return out;
}

TEST(WebStart, ALinkedMacroStartsFromWhatQmtRunStartsFrom) {
  // Each leans on the state it starts from: the screen (no ER), the colour
  // c() last sent, the text position, the needles' last angles.
  const std::string dir = std::string(QMT_SOURCE_DIR) + "/docs/manual/examples/";
  for (const char* name : {"trap-colour-cache.mac", "trap-needle.mac", "bi-text.mac", "bi-needle.mac",
                           "first-macro.mac", "lang-strings.mac"}) {
    SCOPED_TRACE(name);
    const std::string macro = ReadFile(dir + name);  // code page 932, as qmt reads it
    // The built-in macro has run and drawn, a key has been pressed.
    json out = json::parse(qmt_web_start());
    ASSERT_TRUE(out["ok"]) << out;
    ASSERT_TRUE(json::parse(qmt_web_key(4))["ok"]);

    out = json::parse(qmt_web_start_with(U(macro), N(macro)));
    EXPECT_TRUE(out["ok"]) << out;
    EXPECT_TRUE(out["errors"].empty()) << out;
    const std::vector<std::string> lines = SplitLines(macro);
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) text += (i ? "\n" : "") + Cp932ToUtf8(lines[i]);
    EXPECT_EQ(std::string(qmt_web_macro_text()), text);

    const CompiledMacro compiled = CompileAsRun(macro);
    ScenarioMachine machine(compiled);
    machine.Start();
    qmt_web_frame();
    int differ = 0;
    for (int i = 0; i < kPageBytes; ++i) differ += machine.Screen().DisplayPageBytes()[i] != qmt_web_page()[i];
    EXPECT_EQ(differ, 0);
  }
}

TEST(WebStart, ABrokenMacroListsItsErrorsAndRunsNothing) {
  const std::string bad = "START:\r\n  x=(1\r\n";
  const json out = json::parse(qmt_web_start_with(U(bad), N(bad)));
  EXPECT_FALSE(out["ok"]);
  ASSERT_FALSE(out["errors"].empty()) << out;
  EXPECT_EQ(out["errors"][0]["line"], 3);
  EXPECT_EQ(std::string(qmt_web_macro_text()), "START:\n  x=(1");
}

TEST(WebStart, TheCommandTestSkipsBlankLines) {
  qmt_web_start();
  // Blank lines between groups, at the start and at the end, in each line
  // end; `qmt exec` skips them all.
  const std::string commands = "\nER\r\n\r\nLA0,0,9,9,1\n\n\rCS1C\n\n";
  const json out = json::parse(qmt_web_command(U(commands), N(commands)));
  EXPECT_TRUE(out["ok"]) << out;
  EXPECT_TRUE(out["messages"].empty()) << out;
  // A line the device refuses still says so.
  const std::string bad = "\nPA0,479\n\nPR0,1,1\n\n";
  const json refused = json::parse(qmt_web_command(U(bad), N(bad)));
  EXPECT_EQ(refused["messages"].size(), 1u) << refused;
}

}  // namespace
}  // namespace qmt
