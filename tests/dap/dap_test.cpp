// The adapter's answers to malformed requests.
#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "dap/session.h"

namespace qmt::dap {
namespace {

// Each malformed message gets one error response naming the request by its
// seq and command where those can be read; one that names no request gets
// no response (nothing could match it) but a line on the client's console.
TEST(SessionTest, EveryMalformedRequestGetsOneErrorResponse) {
  std::vector<nlohmann::json> sent;
  Session session([&](const std::string& body) { sent.push_back(nlohmann::json::parse(body)); });
  struct Case {
    const char* body;
    int requestSeq;  // -1: no request to answer
    const char* command;
  };
  const Case cases[] = {
      {"", -1, ""},
      {"null", -1, ""},
      {"{}", -1, ""},
      {"[{}]", -1, ""},
      {"{not json", -1, ""},
      {R"({"type":"request","command":"initialize"})", -1, ""},
      {R"({"seq":"1","type":"request","command":"initialize"})", -1, ""},
      {R"({"seq":1,"type":"event","command":"initialize"})", 1, "initialize"},
      {R"({"seq":1,"type":"request","command":7})", 1, ""},
      {R"({"seq":1,"type":"request","command":"launch","arguments":{"program":"x"}})", 1, "launch"},
      {R"({"seq":2,"type":"request","command":"initialize","arguments":{"linesStartAt1":"yes"}})", 2, "initialize"},
      {R"({"seq":3,"type":"request","command":"initialize","arguments":[]})", 3, "initialize"},
      // Broken JSON that still shows which request it was.
      {R"({"seq": 12, "type": "request", "command": "next", "arguments": {"threadId": 1)", 12, "next"},
      {R"({"command":"stepIn","seq":13,"arguments":{"threadId":})", 13, "stepIn"},
  };
  for (const Case& c : cases) {
    sent.clear();
    session.Handle(c.body);
    ASSERT_EQ(sent.size(), 1u) << c.body;
    if (c.requestSeq < 0) {
      EXPECT_EQ(sent[0]["type"], "event") << c.body;
      EXPECT_EQ(sent[0]["event"], "output") << c.body;
      EXPECT_EQ(sent[0]["body"]["category"], "console") << c.body;
      continue;
    }
    EXPECT_EQ(sent[0]["type"], "response") << c.body;
    EXPECT_EQ(sent[0]["request_seq"], c.requestSeq) << c.body;
    EXPECT_EQ(sent[0]["command"], c.command) << c.body;
    EXPECT_EQ(sent[0]["success"], false) << c.body;
    EXPECT_FALSE(sent[0]["message"].get<std::string>().empty()) << c.body;
  }
  sent.clear();
  session.FramingError("'Content-Length' is not a number");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0]["event"], "output");
  // Once initialized, launch arguments of the wrong kind are refused too.
  session.Handle(R"({"seq":4,"type":"request","command":"initialize"})");
  for (const char* body : {
           R"({"seq":5,"type":"request","command":"launch","arguments":{"program":5}})",
           R"({"seq":6,"type":"request","command":"launch","arguments":{"program":"/nonexistent/m.txt"}})",
           R"({"seq":7,"type":"request","command":"launch","arguments":{"program":"m","events":"A"}})",
           R"({"seq":8,"type":"request","command":"launch","arguments":{"program":"m","events":[1]}})",
           R"({"seq":9,"type":"request","command":"setBreakpoints","arguments":{}})",
       }) {
    sent.clear();
    session.Handle(body);
    ASSERT_FALSE(sent.empty()) << body;
    EXPECT_EQ(sent.back()["success"], false) << body;
  }
  EXPECT_FALSE(session.HasWork());
  EXPECT_FALSE(session.Finished());
}

// A session launched on the events fixture; `Send` returns the response.
class LaunchedSession : public ::testing::Test {
 protected:
  // The program launched: the events fixture.
  virtual std::string Program() { return std::string(QMT_SOURCE_DIR) + "/tests/dap/events.txt"; }
  void SetUp() override {
    const std::string program = Program();
    Send(R"({"seq":1,"type":"request","command":"initialize"})");
    ASSERT_EQ(Send(R"({"seq":2,"type":"request","command":"launch","arguments":{"program":")" + program +
                   R"(","events":["onKEY"]}})")["success"],
              true);
    ASSERT_EQ(Send(R"({"seq":3,"type":"request","command":"setBreakpoints","arguments":{"source":{"path":")" +
                   program + R"("},"breakpoints":[{"line":5}]}})")["success"],
              true);
  }
  nlohmann::json Send(const std::string& body) {
    sent_.clear();
    session_.Handle(body);
    for (const nlohmann::json& j : sent_)
      if (j["type"] == "response") return j;
    return nlohmann::json();
  }
  // Runs until the macro is held or has ended; the reason it was held
  // ("" when it ended).
  std::string RunToStop() {
    Send(R"({"seq":4,"type":"request","command":"configurationDone"})");
    for (int i = 0; i < 10 && session_.HasWork(); ++i) session_.DoWork();
    EXPECT_FALSE(session_.HasWork());
    for (const nlohmann::json& j : sent_)
      if (j["type"] == "event" && j["event"] == "stopped") return j["body"]["reason"];
    return "";
  }
  // setBreakpoints on the program with these breakpoints (a JSON list).
  nlohmann::json SetBreakpoints(const std::string& list) {
    return Send(R"({"seq":5,"type":"request","command":"setBreakpoints","arguments":{"source":{"path":")" +
                Program() + R"("},"breakpoints":)" + list + "}}");
  }
  struct Case {
    const char* request;  // command and arguments
    const char* answer;   // "ok", or a pattern the failure's message holds
  };
  void Check(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      const nlohmann::json r = Send(std::string(R"({"seq":9,"type":"request",)") + c.request + "}");
      ASSERT_TRUE(r.is_object()) << c.request;
      if (std::string(c.answer) == "ok") {
        EXPECT_EQ(r["success"], true) << c.request << ": " << r.dump();
      } else {
        EXPECT_EQ(r["success"], false) << c.request;
        EXPECT_TRUE(std::regex_search(r.value("message", std::string()), std::regex(c.answer)))
            << c.request << ": " << r.dump();
      }
    }
  }
  std::vector<nlohmann::json> sent_;
  Session session_{[this](const std::string& body) { sent_.push_back(nlohmann::json::parse(body)); }};
};

TEST_F(LaunchedSession, NumbersAndReferencesAreCheckedBeforeUse) {
  // Not yet stopped: nothing to inspect or change.
  Check({
      {R"("command":"evaluate","arguments":{"expression":"1"})", "not stopped"},
      {R"("command":"setVariable","arguments":{"variablesReference":1,"name":"x","value":"1"})", "not stopped"},
      {R"("command":"variables","arguments":{"variablesReference":1})", "no such variables reference"},
      {R"("command":"setBreakpoints","arguments":{"breakpoints":[{"line":-2147483648}]})", "breakpoints\\[0\\]\\.line"},
      {R"("command":"setBreakpoints","arguments":{"breakpoints":[{"line":0}]})", "breakpoints\\[0\\]\\.line.*below 1"},
      {R"("command":"setBreakpoints","arguments":{"breakpoints":[{"line":4294967301}]})", "line.*above"},
      {R"("command":"setBreakpoints","arguments":{"breakpoints":[{"line":"5"}]})", "line.*not an integer"},
      {R"("command":"pause","arguments":{"threadId":2})", "threadId"},
  });
  RunToStop();
  Check({
      {R"("command":"threads")", "ok"},
      {R"("command":"stackTrace","arguments":{"threadId":1,"startFrame":2147483647,"levels":2147483647})", "ok"},
      {R"("command":"stackTrace","arguments":{"threadId":1,"startFrame":-1})", "startFrame.*below 0"},
      {R"("command":"stackTrace","arguments":{"threadId":7})", "threadId"},
      {R"("command":"scopes","arguments":{"frameId":-2147483648})", "frameId.*below 1"},
      {R"("command":"scopes","arguments":{"frameId":3})", "no such frame"},
      {R"("command":"scopes","arguments":{"frameId":1})", "ok"},
      {R"("command":"evaluate","arguments":{"expression":"x","frameId":-2147483648})", "frameId"},
      {R"("command":"evaluate","arguments":{"expression":"x","frameId":2})", "ok"},
      {R"("command":"variables","arguments":{"variablesReference":1})", "ok"},
      {R"("command":"variables","arguments":{"variablesReference":2147483647})", "no such variables reference"},
      {R"("command":"variables","arguments":{"variablesReference":"1"})", "variablesReference.*not an integer"},
      {R"("command":"setVariable","arguments":{"variablesReference":999,"name":"x","value":"1"})", "no such variables"},
      {R"("command":"next","arguments":{"threadId":3})", "threadId"},
      {R"("command":"continue","arguments":{"threadId":1})", "ok"},
  });
}

TEST_F(LaunchedSession, SeqComesBackAsSent) {
  const nlohmann::json r = Send(R"({"seq":4294967296123,"type":"request","command":"threads"})");
  EXPECT_EQ(r["request_seq"].dump(), "4294967296123");
}

TEST_F(LaunchedSession, ExternalsListNoBlankName) {
  RunToStop();
  const nlohmann::json vars = Send(R"({"seq":5,"type":"request","command":"variables","arguments":{"variablesReference":3}})");
  ASSERT_EQ(vars["success"], true) << vars.dump();
  ASSERT_FALSE(vars["body"]["variables"].empty());
  // The table's unused slot (a line of spaces) is no variable.
  for (const nlohmann::json& v : vars["body"]["variables"])
    EXPECT_NE(v["name"].get<std::string>().find_first_not_of(' '), std::string::npos) << vars.dump();
}

// A breakpoint whose condition, hit condition or log message cannot be used
// is answered as not set, with why; the others are set all the same, and
// the breakpoints in force are the ones answered as set.
TEST_F(LaunchedSession, ABadSettingRefusesItsBreakpointAlone) {
  struct Case {
    const char* breakpoint;
    const char* message;  // "": set
  };
  const Case cases[] = {
      {R"({"line":5})", ""},
      {R"({"line":5,"condition":7})", "^condition: is not a string"},
      {R"({"line":5,"condition":"1 // ü"})", "^condition: character \"ü\" cannot be written in code page 932$"},
      {R"({"line":5,"hitCondition":"\u2603"})", "^hitCondition: .*code page 932"},
      {R"({"line":5,"logMessage":["x"]})", "^logMessage: is not a string"},
      {R"({"line":5,"logMessage":"x={x} ü"})", "^logMessage: .*code page 932"},
  };
  std::string list;
  for (const Case& c : cases) list += (list.empty() ? "[" : ",") + std::string(c.breakpoint);
  const nlohmann::json r = SetBreakpoints(list + "]");
  ASSERT_EQ(r["success"], true) << r.dump();
  ASSERT_EQ(r["body"]["breakpoints"].size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const nlohmann::json& b = r["body"]["breakpoints"][i];
    const std::string message = cases[i].message;
    EXPECT_EQ(b["verified"], message.empty()) << cases[i].breakpoint << ": " << b.dump();
    EXPECT_EQ(b["line"], 5) << b.dump();
    if (!message.empty()) {
      EXPECT_TRUE(std::regex_search(b.value("message", std::string()), std::regex(message))) << b.dump();
    }
  }
  // Only a bad one now: the line 5 breakpoint set before no longer stops.
  const nlohmann::json bad = SetBreakpoints(R"([{"line":5,"condition":"ü"}])");
  ASSERT_EQ(bad["success"], true) << bad.dump();
  EXPECT_EQ(bad["body"]["breakpoints"][0]["verified"], false);
  // Instruction and data breakpoints alike; those not set name the address asked for.
  const nlohmann::json ib = Send(
      R"({"seq":6,"type":"request","command":"setInstructionBreakpoints","arguments":{"breakpoints":[)"
      R"({"instructionReference":"0x7FFF"},{"instructionReference":"0x0010","offset":2,"condition":"ü"}]}})");
  ASSERT_EQ(ib["success"], true) << ib.dump();
  EXPECT_EQ(ib["body"]["breakpoints"][0]["instructionReference"], "0x7FFF") << ib.dump();
  EXPECT_EQ(ib["body"]["breakpoints"][0]["verified"], false) << ib.dump();
  EXPECT_EQ(ib["body"]["breakpoints"][1]["instructionReference"], "0x0012") << ib.dump();
  EXPECT_TRUE(std::regex_search(ib["body"]["breakpoints"][1].value("message", std::string()), std::regex("^condition: ")));
  const nlohmann::json db = Send(R"({"seq":7,"type":"request","command":"setDataBreakpoints","arguments":{)"
                                 R"("breakpoints":[{"dataId":"x","condition":"ü"},{"dataId":"y"}]}})");
  ASSERT_EQ(db["success"], true) << db.dump();
  EXPECT_EQ(db["body"]["breakpoints"][0]["verified"], false) << db.dump();
  EXPECT_EQ(db["body"]["breakpoints"][1]["verified"], true) << db.dump();
  Send(R"({"seq":8,"type":"request","command":"setDataBreakpoints","arguments":{"breakpoints":[]}})");
  // The run goes to the division by zero in onKEY.
  EXPECT_EQ(RunToStop(), "exception");
}

// A compile error names its line as the editor shows it; the output event
// for it carries the source and the line as the client counts lines.
TEST(SessionTest, CompileErrorsNameTheLineAsTheEditorShowsIt) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("qmt-dap-test-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  struct Case {
    const char* text;
    const char* message;  // the launch's failure, after "the macro did not compile: "
  };
  const Case cases[] = {
      {"x = 1\r\ny = 2\r\nz = 1 + * 3\r\n", "line 3: "},
      {"x = 1\r\ny = 2\r\nGOSUB nowhere\r\n", "line 3: "},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string program = (dir / ("bad" + std::to_string(++n) + ".txt")).string();
    std::ofstream(program, std::ios::binary) << c.text;
    for (const bool startAt1 : {true, false}) {
      std::vector<nlohmann::json> sent;
      Session session([&](const std::string& body) { sent.push_back(nlohmann::json::parse(body)); });
      session.Handle(std::string(R"({"seq":1,"type":"request","command":"initialize","arguments":{"linesStartAt1":)") +
                     (startAt1 ? "true" : "false") + "}}");
      sent.clear();
      session.Handle(R"({"seq":2,"type":"request","command":"launch","arguments":{"program":")" + program + R"("}})");
      ASSERT_EQ(sent.back()["success"], false);
      const std::string message = sent.back()["message"];
      EXPECT_EQ(message.rfind(std::string("the macro did not compile: ") + c.message, 0), 0u) << message;
      ASSERT_GE(sent.size(), 2u);
      const nlohmann::json& output = sent.front();
      EXPECT_EQ(output["event"], "output");
      EXPECT_EQ(output["body"]["line"], startAt1 ? 3 : 2) << output.dump();
      EXPECT_EQ(output["body"]["source"]["path"], program) << output.dump();
      EXPECT_EQ(output["body"]["output"].get<std::string>().rfind(c.message, 0), 0u) << output.dump();
    }
  }
  std::filesystem::remove_all(dir);
}

// A session on a copy of the events fixture, which the test edits.
class EditedSession : public LaunchedSession {
 protected:
  std::string Program() override {
    if (copy_.empty()) {
      copy_ = (std::filesystem::temp_directory_path() / ("qmt-dap-edit-" + std::to_string(::getpid()) + ".txt")).string();
      std::filesystem::copy_file(LaunchedSession::Program(), copy_, std::filesystem::copy_options::overwrite_existing);
    }
    return copy_;
  }
  void TearDown() override { std::filesystem::remove(copy_); }
  std::string copy_;
};

// Once the file is edited, its lines are no longer the running program's:
// breakpoints set then are not set, and say why; as the file was, they are.
TEST_F(EditedSession, BreakpointsAfterAnEditWaitForTheNextLaunch) {
  std::ifstream in(Program(), std::ios::binary);
  const std::string launched((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::ofstream(Program(), std::ios::binary) << "w = 0\r\n" << launched;
  const nlohmann::json edited = SetBreakpoints(R"([{"line":6}])");
  ASSERT_EQ(edited["success"], true) << edited.dump();
  EXPECT_EQ(edited["body"]["breakpoints"][0]["verified"], false) << edited.dump();
  EXPECT_EQ(edited["body"]["breakpoints"][0]["line"], 6) << edited.dump();
  EXPECT_TRUE(std::regex_search(edited["body"]["breakpoints"][0].value("message", std::string()),
                                std::regex("^edited since launch")))
      << edited.dump();
  // Not in force either: the run goes to the division by zero.
  EXPECT_EQ(RunToStop(), "exception");
  // Back as launched: breakpoints are set again.
  std::ofstream(Program(), std::ios::binary | std::ios::trunc) << launched;
  const nlohmann::json again = SetBreakpoints(R"([{"line":5}])");
  EXPECT_EQ(again["body"]["breakpoints"][0]["verified"], true) << again.dump();
}

}  // namespace
}  // namespace qmt::dap
