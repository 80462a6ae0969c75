#include "link/line_assembler.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace qmt {
namespace {

struct Received {
  std::vector<std::string> lines;
  std::vector<std::size_t> drops;
};

// Feeds `stream` in pieces of `piece` bytes (0: all at once).
Received Assemble(const std::string& stream, std::size_t piece = 0, std::size_t limit = LineAssembler::kMaxLineBytes) {
  Received r;
  LineAssembler a(limit);
  a.SetLineHandler([&](std::string_view l) { r.lines.emplace_back(l); });
  a.SetDropHandler([&](std::size_t n) { r.drops.push_back(n); });
  if (piece == 0) piece = stream.size() + 1;
  for (std::size_t i = 0; i < stream.size(); i += piece) a.Feed(std::string_view(stream).substr(i, piece));
  return r;
}

std::string Gi(char fill) { return "GI" + std::string(32, fill); }

TEST(LineAssembler, LinesEndAtCrLineFeedsAreLeftOutAndPatternDataIsTakenWhole) {
  std::string gi = Gi('\r');
  gi[3] = '\n';
  gi[4] = '\0';
  std::string di = "DI" + std::string(128, '\n') + ",R";
  struct Case {
    const char* what;
    std::string stream;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {"plain lines", "DS0\rER\r", {"DS0", "ER"}},
      {"CR LF ends and stray line feeds", "DS0\r\nE\nR\r\n\n", {"DS0", "ER"}},
      {"empty lines reach the device", "\r\r", {"", ""}},
      {"GI data holds CR, LF and NUL", gi + ",R\r" + "PR-48,16,0\r", {gi + ",R", "PR-48,16,0"}},
      {"DI takes 128 bytes", "\n" + di + "\r", {di}},
      {"line feeds before the mnemonic do not hide GI", "\nG\nI" + std::string(32, '\r') + "\r",
       {Gi('\r')}},
      {"NUL outside pattern data stays in the line", std::string("DS0\0x\r", 6), {std::string("DS0\0x", 5)}},
      {"GX is no pattern", "GX\r\r", {"GX", ""}},
      {"unfinished line waits", "DS0\rPS", {"DS0"}},
      {"short pattern line waits for its data", "GI\r\r\r", {}},
  };
  for (const auto& c : cases) {
    // Every way of cutting the stream gives the same lines.
    for (std::size_t piece : {0, 1, 2, 3, 7}) {
      Received r = Assemble(c.stream, piece);
      EXPECT_EQ(r.lines, c.lines) << c.what << ", pieces of " << piece;
      EXPECT_TRUE(r.drops.empty()) << c.what;
    }
  }
}

TEST(LineAssembler, OverlongLineIsDroppedWholeAndTheNextOneComesThrough) {
  const std::size_t limit = 200;
  std::string exact = "TI" + std::string(limit - 2, 'F');
  std::string over = "TI" + std::string(limit + 500, 'F');
  std::string stream = exact + "\r" + over + "\r" + "DS1\r" + over + "\n" + "\r";
  for (std::size_t piece : {0, 1, 64}) {
    Received r = Assemble(stream, piece, limit);
    EXPECT_EQ(r.lines, (std::vector<std::string>{exact, "DS1"})) << piece;
    EXPECT_EQ(r.drops, (std::vector<std::size_t>{over.size(), over.size() + 1})) << piece;
  }
}

TEST(LineAssembler, MemoryStaysBoundedWhileALineWithoutEndIsDropped) {
  LineAssembler a(1000);
  std::size_t drops = 0;
  a.SetDropHandler([&](std::size_t) { ++drops; });
  std::string junk(4096, 'x');
  for (int i = 0; i < 1000; ++i) {
    a.Feed(junk);
    ASSERT_LE(a.Pending(), a.MaxLineBytes());
  }
  EXPECT_TRUE(a.Dropping());
  EXPECT_EQ(a.Discard(), 1000u * 4096u);
  EXPECT_EQ(drops, 0u);
  EXPECT_FALSE(a.Dropping());
}

TEST(LineAssembler, DiscardForgetsHalfALine) {
  Received r;
  LineAssembler a;
  a.SetLineHandler([&](std::string_view l) { r.lines.emplace_back(l); });
  a.Feed("DS0\rGI\r\r");
  EXPECT_EQ(a.Discard(), 4u);
  a.Feed("ER\r");
  EXPECT_EQ(r.lines, (std::vector<std::string>{"DS0", "ER"}));
}

TEST(LineAssembler, RandomStreamsGiveTheSameLinesHoweverTheyAreCut) {
  std::mt19937 rng(17);
  const char alphabet[] = {'G', 'I', 'D', '\r', '\n', '\0', 'A', '1'};
  for (int round = 0; round < 300; ++round) {
    std::string stream;
    std::size_t n = rng() % 600;
    for (std::size_t i = 0; i < n; ++i) stream.push_back(alphabet[rng() % sizeof alphabet]);
    Received whole = Assemble(stream, 0, 150);
    for (std::size_t piece : {1, 5, 31}) {
      Received cut = Assemble(stream, piece, 150);
      ASSERT_EQ(cut.lines, whole.lines) << round;
      ASSERT_EQ(cut.drops, whole.drops) << round;
    }
    for (const auto& l : whole.lines) ASSERT_LE(l.size(), 150u);
  }
}

}  // namespace
}  // namespace qmt
