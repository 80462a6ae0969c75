// Sessions that replay a scenario: breakpoints in the events it raises, the
// inputs that wait while a run is stopped, and how a replay ends.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "dap/session.h"

namespace qmt::dap {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// The timer's event draws on page 1, the PTO box's on page 2.
constexpr const char* kMacro =
    "d(\"DS0\")\n"                // 1
    "EXIT\n"                      // 2
    "時間割込:\n"                 // 3
    "  t = t + 1\n"               // 4
    "  d(\"DS1\")\n"              // 5
    "  EXIT\n"                    // 6
    "chgPTO:\n"                   // 7
    "  d(\"DS2\")\n"              // 8
    "  EXIT\n"                    // 9
    "boom:\n"                     // 10
    "  q = 1 / t\n"               // 11
    "  EXIT\n";                   // 12

class ScenarioSessionTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("qmt_dap_replay_" + std::to_string(::getpid()) + "_" +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    Write("m.txt", kMacro);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  std::string Macro() const { return (dir_ / "m.txt").string(); }

  Json Request(const std::string& command, const Json& args = Json::object()) {
    session_.Handle(Json{{"seq", ++seq_}, {"type", "request"}, {"command", command}, {"arguments", args}}.dump());
    for (auto it = sent_.rbegin(); it != sent_.rend(); ++it)
      if ((*it)["type"] == "response" && (*it)["request_seq"] == seq_) return *it;
    ADD_FAILURE() << "no response to " << command;
    return Json();
  }
  // Initialize, launch, one breakpoint line (0: none), configurationDone.
  Json Launch(const Json& args, int breakpoint = 0) {
    Request("initialize");
    Json launch = Request("launch", args);
    if (breakpoint > 0)
      Request("setBreakpoints", {{"source", {{"path", Macro()}}}, {"breakpoints", {{{"line", breakpoint}}}}});
    Request("configurationDone");
    return launch;
  }
  // Works until the session stops or ends.
  void Run() {
    for (int i = 0; i < 10000 && session_.HasWork(); ++i) session_.DoWork();
    ASSERT_FALSE(session_.HasWork());
  }
  std::vector<Json> Events(const std::string& name) const {
    std::vector<Json> out;
    for (const Json& m : sent_)
      if (m.value("type", "") == "event" && m.value("event", "") == name) out.push_back(m.value("body", Json::object()));
    return out;
  }
  std::string Output(const std::string& category) const {
    std::string out;
    for (const Json& e : Events("output"))
      if (e["category"] == category) out += e["output"].get<std::string>();
    return out;
  }
  int ExitCode() const {
    const std::vector<Json> exited = Events("exited");
    return exited.size() == 1 ? exited[0]["exitCode"].get<int>() : -1;
  }

  fs::path dir_;
  int seq_ = 0;
  std::vector<Json> sent_;
  Session session_{[this](const std::string& body) { sent_.push_back(Json::parse(body)); }};
};

// Stopped in the timer's event, the click on the PTO box raised earlier
// waits for it: the event runs once the timer's run has ended, and the
// lines come in that order.
TEST_F(ScenarioSessionTest, StopsInARaisedEventAndHoldsTheInputsThatFollow) {
  const std::string scn = Write("s.scn",
                                "switch PTO on\n"
                                "tick 1\n"
                                "expect line DS0\n"
                                "expect line DS1\n"
                                "expect line DS2\n");
  ASSERT_EQ(Launch({{"program", Macro()}, {"utf8", true}, {"scenario", scn}}, 5)["success"], true);
  Run();
  const std::vector<Json> stops = Events("stopped");
  ASSERT_EQ(stops.size(), 1u);
  EXPECT_EQ(stops[0]["reason"], "breakpoint");
  const Json stack = Request("stackTrace", {{"threadId", 1}});
  ASSERT_EQ(stack["body"]["stackFrames"].size(), 1u);
  EXPECT_EQ(stack["body"]["stackFrames"][0]["name"], "時間割込");
  EXPECT_EQ(stack["body"]["stackFrames"][0]["line"], 5);
  EXPECT_EQ(Request("evaluate", {{"expression", "t"}, {"frameId", 1}})["body"]["result"], "1");
  EXPECT_TRUE(Events("exited").empty());

  EXPECT_EQ(Request("continue", {{"threadId", 1}})["success"], true);
  Run();
  EXPECT_EQ(Events("stopped").size(), 1u);
  EXPECT_EQ(Output("stderr"), "");
  EXPECT_NE(Output("console").find(scn + ": line 3 (expect line DS0): passed\n"), std::string::npos);
  EXPECT_NE(Output("console").find(scn + ": passed\n"), std::string::npos);
  EXPECT_EQ(ExitCode(), 0);
  EXPECT_EQ(Events("terminated").size(), 1u);
}

// A run message stops first; going on ends the replay with the scenario's
// failure, as a failed check does.
TEST_F(ScenarioSessionTest, ARunMessageStopsThenEndsTheReplay) {
  const std::string boom = Write("boom.scn", "event boom\nexpect line DS0\n");
  ASSERT_EQ(Launch({{"program", Macro()}, {"utf8", true}, {"scenario", boom}})["success"], true);
  Run();
  ASSERT_EQ(Events("stopped").size(), 1u);
  EXPECT_EQ(Events("stopped")[0]["reason"], "exception");
  EXPECT_EQ(Request("stackTrace", {{"threadId", 1}})["body"]["stackFrames"][0]["line"], 11);
  Request("continue", {{"threadId", 1}});
  Run();
  EXPECT_NE(Output("stderr").find(boom + ": line 1 (event boom): run message: "), std::string::npos) << Output("stderr");
  EXPECT_EQ(Output("console").find("passed"), std::string::npos);
  EXPECT_EQ(ExitCode(), 2);
}

TEST_F(ScenarioSessionTest, AFailedCheckIsReportedWithItsText) {
  const std::string scn = Write("s.scn", "tick 2\nexpect line DS9\nexpect no lines\n");
  Launch({{"program", Macro()}, {"utf8", true}, {"scenario", scn}});
  Run();
  EXPECT_TRUE(Events("stopped").empty());
  EXPECT_NE(Output("stderr").find(scn + ": line 2 (expect line DS9): "), std::string::npos) << Output("stderr");
  EXPECT_EQ(Output("stderr").find("line 3"), std::string::npos);
  EXPECT_EQ(ExitCode(), 2);
}

TEST_F(ScenarioSessionTest, LaunchRefusesBadScenarioArguments) {
  const std::string bad = Write("bad.scn", "tick 1\njump high\n");
  struct Case {
    Json args;
    std::vector<std::string> named;  // in the error message
  };
  const std::vector<Case> cases = {
      {{{"scenario", bad}, {"events", {"A"}}}, {"'events'", "'scenario'"}},
      {{{"scenario", bad}}, {bad + ":2:"}},
      {{{"scenario", (dir_ / "none.scn").string()}}, {"none.scn"}},
      {{{"scenario", 3}}, {"'scenario'"}},
  };
  for (const Case& c : cases) {
    Session session([&](const std::string& body) { sent_.push_back(Json::parse(body)); });
    Json args = c.args;
    args["program"] = Macro();
    args["utf8"] = true;
    session.Handle(R"({"seq":1,"type":"request","command":"initialize"})");
    sent_.clear();
    session.Handle(Json{{"seq", 2}, {"type", "request"}, {"command", "launch"}, {"arguments", args}}.dump());
    ASSERT_FALSE(sent_.empty());
    EXPECT_EQ(sent_.back()["success"], false) << args.dump();
    for (const std::string& n : c.named)
      EXPECT_NE(sent_.back()["message"].get<std::string>().find(n), std::string::npos) << sent_.back().dump();
  }
}

}  // namespace
}  // namespace qmt::dap
