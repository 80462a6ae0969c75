#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/bitmap_converter.h"
#include "device/pattern.h"

namespace qmt {
namespace {

// Emits into one fixed target, the way the tool window does for a focus.
struct RecordingEmitter : ConverterEmitter {
  explicit RecordingEmitter(ConverterTarget t) : target(t) {}
  void EmitGlyph(const std::string& data) override { Put(GlyphText(target, data)); }
  void EmitCommand(const std::string& command) override { Put(CommandText(target, command)); }
  void Put(const std::string& item) {
    items.push_back(item);
    if (target == ConverterTarget::Clipboard) clipboard.Add(item);
    else text += item;
  }
  ConverterTarget target;
  std::vector<std::string> items;
  std::string text;
  ClipboardCollector clipboard;
};

// White where x + y is even: rows alternate 0xAA and 0x55 bytes.
MonoBitmap Checkered(int w, int h) {
  MonoBitmap b = MonoBitmap::Blank(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.Set(x, y, (x + y) % 2 == 0);
  return b;
}

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

TEST(BitmapConverter, FortyByTwentyInTheEditorGivesTwoRowsOfThreeBlocks) {
  RecordingEmitter e(ConverterTarget::MacroEditor);
  ConvertBitmap(Checkered(40, 20), e);
  ASSERT_EQ(e.items.size(), 7u);
  EXPECT_EQ(e.items[3], "d(\"PR-48,16,0\")\r\n");
  for (int i : {0, 1, 2, 4, 5, 6}) {
    ASSERT_EQ(e.items[i].size(), 4 + 96 + 4u) << i;  // GI(" data ")CRLF
    EXPECT_EQ(e.items[i].substr(0, 4), "GI(\"");
    EXPECT_EQ(e.items[i].substr(100), "\")\r\n");
  }
  // The first block is full; the bottom-left block has rows 16-19 and zeros below.
  EXPECT_EQ(e.items[0].substr(4, 96), Repeat("%AA%AA%55%55", 8));
  EXPECT_EQ(e.items[4].substr(4, 96), Repeat("%AA%AA%55%55", 2) + Repeat("%00", 24));
  // The third column holds pixels 32-39: its right half lies past the width.
  EXPECT_EQ(e.items[2].substr(4, 96), Repeat("%AA%00%55%00", 8));
}

TEST(BitmapConverter, SixteenBySixteenIsOneGlyphWithoutMove) {
  RecordingEmitter e(ConverterTarget::Script);
  ConvertBitmap(Checkered(16, 16), e);
  ASSERT_EQ(e.items.size(), 1u);
  EXPECT_EQ(e.text, "GI(\"" + Repeat("%AA%AA%55%55", 8) + "\")\r\n");
}

TEST(BitmapConverter, SeventeenWideGivesTwoBlocksInEveryFocus) {
  MonoBitmap white = MonoBitmap::Blank(17, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 17; ++x) white.Set(x, y, true);
  const std::string left = Repeat("%FF%FF", 16);
  const std::string right = Repeat("%80%00", 16);  // pixel 16, then nothing
  struct Case {
    ConverterTarget target;
    std::string expected;
  } cases[] = {
      {ConverterTarget::Script, "GI(\"" + left + "\")\r\nGI(\"" + right + "\")\r\n"},
      {ConverterTarget::MacroEditor, "GI(\"" + left + "\")\r\nGI(\"" + right + "\")\r\n"},
      {ConverterTarget::CommandLines, "GI" + left + "\r\nGI" + right + "\r\n"},
      {ConverterTarget::Clipboard, "GI(" + left + ")\r\nGI(" + right + ")"},
  };
  for (const Case& c : cases) {
    RecordingEmitter e(c.target);
    ConvertBitmap(white, e);
    const std::string& got = c.target == ConverterTarget::Clipboard ? e.clipboard.Text() : e.text;
    EXPECT_EQ(got, c.expected) << static_cast<int>(c.target);
  }
}

TEST(BitmapConverter, ClipboardJoinsItemsWithoutQuotesOrTrailingLineEnd) {
  RecordingEmitter e(ConverterTarget::Clipboard);
  ConvertBitmap(MonoBitmap::Blank(20, 17), e);  // all black: zero bytes
  const std::string zero = "GI(" + Repeat("%00", 32) + ")";
  EXPECT_EQ(e.clipboard.Text(), zero + "\r\n" + zero + "\r\nd(PR-32,16,0)\r\n" + zero + "\r\n" + zero);
}

TEST(BitmapConverter, EmptyPictureEmitsNothing) {
  for (auto [w, h] : {std::pair{0, 0}, {0, 16}, {16, 0}}) {
    RecordingEmitter e(ConverterTarget::Clipboard);
    ConvertBitmap(MonoBitmap::Blank(w, h), e);
    EXPECT_TRUE(e.items.empty());
    EXPECT_TRUE(e.clipboard.Empty());
  }
}

}  // namespace
}  // namespace qmt
