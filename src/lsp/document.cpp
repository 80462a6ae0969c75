#include "lsp/document.h"

#include <algorithm>

#include "host/macro_compile.h"
#include "support/encoding.h"

namespace qmt::lsp {
namespace {

const std::string& Substitute() {
  static const std::string s = Sjis("〓");
  return s;
}

// The lines as the client counts them (SplitLines): a line end at the very
// end, or no text at all, begins an empty last line.
std::vector<std::string> DocumentLines(std::string_view text) {
  std::vector<std::string> lines = SplitLines(text);
  if (text.empty() || text.back() == '\n' || text.back() == '\r') lines.emplace_back();
  return lines;
}

int UnitsOf(char32_t cp, int bytes, Units units) {
  if (units == Units::kUtf8) return bytes;
  return cp >= 0x10000 ? 2 : 1;
}

}  // namespace

int NextCharacter(std::string_view s, std::size_t i, char32_t& cp) {
  const auto b = static_cast<unsigned char>(s[i]);
  int n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
  if (n == 0 || i + n > s.size()) {
    cp = 0xFFFD;
    return 1;
  }
  cp = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
  for (int k = 1; k < n; ++k) {
    const auto c = static_cast<unsigned char>(s[i + k]);
    if ((c & 0xC0) != 0x80) {
      cp = 0xFFFD;
      return 1;
    }
    cp = cp << 6 | (c & 0x3F);
  }
  return n;
}

Document::Line Document::MakeLine(std::string utf8) {
  Line line;
  line.utf8 = std::move(utf8);
  std::string error;
  // Most lines convert whole; only a line with a character code page 932
  // lacks (or a zero, which would end the compiler's text) goes character
  // by character.
  if (line.utf8.find('\0') == std::string::npos && TryUtf8ToCp932(line.utf8, line.cp932, error)) return line;
  line.cp932.clear();
  for (std::size_t i = 0; i < line.utf8.size();) {
    char32_t cp = 0;
    const int n = NextCharacter(line.utf8, i, cp);
    const std::string_view ch(line.utf8.data() + i, n);
    std::string out;
    if (cp != 0 && cp != 0xFFFD && TryUtf8ToCp932(ch, out, error)) {
      line.cp932 += out;
    } else {
      line.cp932 += Substitute();
      Unmappable u;
      u.character = static_cast<int>(i);  // UTF-8 offset for now
      u.length = n;
      u.text = cp == 0xFFFD ? "\xEF\xBF\xBD" : std::string(ch);
      line.bad.push_back(u);
    }
    i += n;
  }
  return line;
}

void Document::SetText(std::string_view utf8) {
  lines_.clear();
  for (std::string& l : DocumentLines(utf8)) lines_.push_back(MakeLine(std::move(l)));
}

std::size_t Document::Utf8Offset(const std::string& line, int units) const {
  std::size_t i = 0;
  int u = 0;
  while (i < line.size() && u < units) {
    char32_t cp = 0;
    const int n = NextCharacter(line, i, cp);
    u += UnitsOf(cp, n, units_);
    if (u > units) break;  // inside a character: its start
    i += n;
  }
  return i;
}

void Document::Replace(Position start, Position end, std::string_view utf8) {
  auto clamp = [this](Position p) {
    if (p.line < 0) return Position{0, 0};
    if (p.line >= LineCount()) return Position{LineCount() - 1, 1 << 30};
    p.character = std::max(p.character, 0);
    return p;
  };
  start = clamp(start);
  end = clamp(end);
  if (end.line < start.line || (end.line == start.line && end.character < start.character)) std::swap(start, end);
  const std::string& first = lines_[start.line].utf8;
  const std::string& last = lines_[end.line].utf8;
  std::string joined = first.substr(0, Utf8Offset(first, start.character));
  joined.append(utf8);
  joined.append(last.substr(Utf8Offset(last, end.character)));
  std::vector<std::string> parts = DocumentLines(joined);
  std::vector<Line> made;
  made.reserve(parts.size());
  for (std::string& p : parts) made.push_back(MakeLine(std::move(p)));
  lines_.erase(lines_.begin() + start.line, lines_.begin() + end.line + 1);
  lines_.insert(lines_.begin() + start.line, std::make_move_iterator(made.begin()), std::make_move_iterator(made.end()));
}

std::string Document::Utf8() const {
  std::string out;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (i) out += '\n';
    out += lines_[i].utf8;
  }
  return out;
}

std::string Document::Cp932() const {
  std::size_t size = 0;
  for (const Line& l : lines_) size += l.cp932.size() + 2;
  std::string out;
  out.reserve(size);
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (i) out += "\r\n";
    out += lines_[i].cp932;
  }
  return out;
}

std::vector<Unmappable> Document::UnmappableCharacters() const {
  std::vector<Unmappable> out;
  for (int l = 0; l < LineCount(); ++l) {
    const std::string& line = lines_[l].utf8;
    for (Unmappable u : lines_[l].bad) {
      // Stored with UTF-8 offsets: into units.
      int units = 0;
      for (std::size_t i = 0; i < static_cast<std::size_t>(u.character);) {
        char32_t cp = 0;
        const int n = NextCharacter(line, i, cp);
        units += UnitsOf(cp, n, units_);
        i += n;
      }
      char32_t cp = 0;
      NextCharacter(line, u.character, cp);
      u.line = l;
      u.length = UnitsOf(cp, u.length, units_);
      u.character = units;
      out.push_back(u);
    }
  }
  return out;
}

int Document::ToUnits(int line, int cp932Column) const {
  if (line < 0 || line >= LineCount()) return 0;
  const std::string& s = lines_[line].utf8;
  int bytes = 0, units = 0;
  std::string out, error;
  for (std::size_t i = 0; i < s.size() && bytes < cp932Column;) {
    char32_t cp = 0;
    const int n = NextCharacter(s, i, cp);
    int width = 1;
    if (cp >= 0x80 || cp == 0) {
      out.clear();
      width = cp != 0xFFFD && TryUtf8ToCp932(std::string_view(s.data() + i, n), out, error) ? static_cast<int>(out.size())
                                                                                           : 2;
    }
    bytes += width;
    units += UnitsOf(cp, n, units_);
    i += n;
  }
  return units;
}

int Document::ToCp932(int line, int units) const {
  if (line < 0 || line >= LineCount()) return 0;
  const std::string& s = lines_[line].utf8;
  const std::size_t end = Utf8Offset(s, units);
  int bytes = 0;
  std::string out, error;
  for (std::size_t i = 0; i < end;) {
    char32_t cp = 0;
    const int n = NextCharacter(s, i, cp);
    if (cp < 0x80 && cp != 0) {
      bytes += 1;
    } else {
      out.clear();
      bytes += cp != 0xFFFD && TryUtf8ToCp932(std::string_view(s.data() + i, n), out, error) ? static_cast<int>(out.size()) : 2;
    }
    i += n;
  }
  return bytes;
}

}  // namespace qmt::lsp
