// The framing shared by the debug adapter and the language server.
#include "protocol/message_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qmt::protocol {
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
      {"length past every integer", {"Content-Length: 1099511627776000000000000\r\n\r\n" + ok}, {"E", "M:{}"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Read(c.chunks), c.expected) << c.what;
  // A long length is a number too big, not something else.
  MessageReader reader;
  reader.Feed("Content-Length: 1099511627776\r\n\r\n");
  std::string text;
  ASSERT_EQ(reader.Next(text), Result::kError);
  EXPECT_NE(text.find("over the limit"), std::string::npos) << text;
}

}  // namespace
}  // namespace qmt::protocol
