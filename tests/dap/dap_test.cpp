// The adapter's message reader and its answers to malformed requests.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "dap/message_reader.h"
#include "dap/session.h"

namespace qmt::dap {
namespace {

using Result = MessageReader::Result;

// Feeds `chunks` and collects "M:body" and "E" (error) in order.
std::vector<std::string> Read(const std::vector<std::string>& chunks) {
  MessageReader reader;
  std::vector<std::string> out;
  std::string text;
  for (const std::string& chunk : chunks) {
    reader.Feed(chunk);
    for (Result r; (r = reader.Next(text)) != Result::kNeedMore;)
      out.push_back(r == Result::kMessage ? "M:" + text : "E");
  }
  return out;
}

TEST(MessageReaderTest, FramesAndRecovers) {
  const std::string ok = Frame("{}");
  struct Case {
    const char* what;
    std::vector<std::string> chunks;
    std::vector<std::string> expected;
  };
  std::vector<std::string> bytes;
  for (char c : ok + Frame("[1]")) bytes.emplace_back(1, c);
  const std::vector<Case> cases = {
      {"one byte at a time", bytes, {"M:{}", "M:[1]"}},
      {"two in one chunk", {ok + ok}, {"M:{}", "M:{}"}},
      {"other header lines, any case",
       {"content-length: 2\r\nContent-Type: application/json\r\n\r\n{}"}, {"M:{}"}},
      {"length not a number", {"Content-Length: 1x\r\n\r\n{}" + ok}, {"E", "M:{}"}},
      {"no length", {"Content-Type: a\r\n\r\n{}" + ok}, {"E", "M:{}"}},
      {"over the limit", {"Content-Length: 999999999\r\n\r\nxx\r\n" + ok}, {"E", "M:{}"}},
      {"two lengths", {"Content-Length: 2\r\nContent-Length: 3\r\n\r\n{}" + ok}, {"E", "M:{}"}},
      {"endless header", {std::string(5000, 'a'), ok}, {"E", "M:{}"}},
      {"header cut after a partial field", {std::string(2000, 'a') + "Content-Len", "gth: 2\r\n\r\n{}"}, {"E", "M:{}"}},
      {"blank lines between", {"\r\n" + ok + "\r\n\r\n" + ok}, {"M:{}", "M:{}"}},
      {"body not yet complete", {"Content-Length: 10\r\n\r\n{}"}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Read(c.chunks), c.expected) << c.what;
}

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

}  // namespace
}  // namespace qmt::dap
