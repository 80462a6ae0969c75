// The adapter's answers to malformed requests.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "dap/session.h"

namespace qmt::dap {
namespace {

TEST(SessionTest, EveryMalformedRequestGetsOneErrorResponse) {
  std::vector<nlohmann::json> sent;
  Session session([&](const std::string& body) { sent.push_back(nlohmann::json::parse(body)); });
  const char* const bodies[] = {
      "",
      "null",
      "{}",
      "[{}]",
      R"({"type":"request","command":"initialize"})",
      R"({"seq":"1","type":"request","command":"initialize"})",
      R"({"seq":1,"type":"event","command":"initialize"})",
      R"({"seq":1,"type":"request","command":7})",
      R"({"seq":1,"type":"request","command":"launch","arguments":{"program":"x"}})",
      R"({"seq":2,"type":"request","command":"initialize","arguments":{"linesStartAt1":"yes"}})",
      R"({"seq":3,"type":"request","command":"initialize","arguments":[]})",
  };
  for (const char* body : bodies) {
    sent.clear();
    session.Handle(body);
    ASSERT_EQ(sent.size(), 1u) << body;
    EXPECT_EQ(sent[0]["type"], "response") << body;
    EXPECT_EQ(sent[0]["success"], false) << body;
    EXPECT_FALSE(sent[0]["message"].get<std::string>().empty()) << body;
  }
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
  void SetUp() override {
    const std::string program = std::string(QMT_SOURCE_DIR) + "/tests/dap/events.txt";
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
  void RunToStop() {
    Send(R"({"seq":4,"type":"request","command":"configurationDone"})");
    for (int i = 0; i < 10 && session_.HasWork(); ++i) session_.DoWork();
    ASSERT_FALSE(session_.HasWork());
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
      {R"("command":"setBreakpoints","arguments":{"breakpoints":[{"line":5,"condition":7}]})", "condition.*not a string"},
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
  for (const nlohmann::json& v : vars["body"]["variables"]) EXPECT_NE(v["name"], "") << vars.dump();
}

}  // namespace
}  // namespace qmt::dap
