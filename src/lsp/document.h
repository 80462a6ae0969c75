// An open document of the language server: its text as the editor holds it
// (Unicode, kept as UTF-8 lines), the incremental edits, the positions in
// the client's units (UTF-16 code units or UTF-8 bytes), and the code page
// 932 text the compiler reads, with the characters it cannot hold.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qmt::lsp {

enum class Units { kUtf16, kUtf8 };

struct Position {
  int line = 0;
  int character = 0;  // in the document's units
};

// A character code page 932 cannot hold; it reaches the compiler as the
// substitute "〓", so the text keeps its shape.
struct Unmappable {
  int line = 0;
  int character = 0;  // in units
  int length = 0;     // in units
  std::string text;   // UTF-8
};

class Document {
 public:
  explicit Document(Units units = Units::kUtf16) : units_(units) { SetText({}); }

  void SetText(std::string_view utf8);
  // Replaces the text between two positions.  Positions past a line's end
  // stand for its end, lines past the last for the end of the text (as the
  // protocol says); an end before the start is swapped.  Each line keeps
  // its own line end, so a lone CR that an edit meets with an LF becomes
  // one line end, as it does in the editor.
  void Replace(Position start, Position end, std::string_view utf8);

  // The text as the editor holds it, line ends as written.
  std::string Utf8() const;
  int LineCount() const { return static_cast<int>(lines_.size()); }
  const std::string& Utf8Line(int line) const { return lines_[line].utf8; }

  // The whole text in code page 932, lines ended by CR LF.
  std::string Cp932() const;
  std::vector<Unmappable> UnmappableCharacters() const;

  // Byte column of the code page 932 line <-> the client's column.  Each
  // goes on from the last answer when asked for a later column of the same
  // line, so the places of a line's names, asked in order, cost one pass.
  int ToUnits(int line, int cp932Column) const;
  int ToCp932(int line, int units) const;

 private:
  struct Line {
    std::string utf8;
    std::string end;  // "\r\n", "\n", "\r"; the last line's is empty
    std::string cp932;
    std::vector<Unmappable> bad;  // line fields filled on request
  };
  // A place in a line: its UTF-8 offset, code page 932 column and units.
  struct Walk {
    int line = -1;
    std::size_t utf8 = 0;
    int cp932 = 0;
    int units = 0;
  };
  // The walk on `line`: the last one when it stands on that line no later
  // than the place wanted, else the line's start.
  Walk& WalkOn(int line, bool later) const;
  // The character at the walk: its UTF-8 length, code page 932 width and
  // units.
  void Character(const std::string& s, std::size_t i, int& bytes, int& width, int& units) const;
  static Line MakeLine(std::string utf8, std::string end);
  // Byte offset in the UTF-8 line of a column in units.
  std::size_t Utf8Offset(const std::string& line, int units) const;

  Units units_;
  std::vector<Line> lines_;
  mutable Walk walk_;
};

// The next UTF-8 character at `i`: its length in bytes (1 for a malformed
// byte) and its code point (U+FFFD when malformed).
int NextCharacter(std::string_view s, std::size_t i, char32_t& cp);

}  // namespace qmt::lsp
