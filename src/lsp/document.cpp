#include "lsp/document.h"

#include <algorithm>

#include "support/encoding.h"

namespace qmt::lsp {
namespace {

const std::string& Substitute() {
  static const std::string s = Sjis("〓");
  return s;
}

// The lines as the client counts them, each with its line end (CR LF, LF
// or CR): a line end at the very end, or no text at all, begins an empty
// last line, whose end is empty.
std::vector<std::pair<std::string, std::string>> DocumentLines(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> lines;
  std::size_t from = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    const std::size_t endLength = text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
    lines.emplace_back(std::string(text.substr(from, i - from)), std::string(text.substr(i, endLength)));
    i += endLength - 1;
    from = i + 1;
  }
  lines.emplace_back(std::string(text.substr(from)), std::string());
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

Document::Line Document::MakeLine(std::string utf8, std::string end) {
  Line line;
  line.utf8 = std::move(utf8);
  line.end = std::move(end);
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
  walk_ = {};
  for (auto& [text, end] : DocumentLines(utf8)) lines_.push_back(MakeLine(std::move(text), std::move(end)));
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
  walk_ = {};
  int from = start.line;
  const int to = end.line;
  const std::string& first = lines_[start.line].utf8;
  const std::string& last = lines_[to].utf8;
  const std::size_t startOffset = Utf8Offset(first, start.character);
  std::string joined;
  // An edit at the start of a line after a lone CR: an LF it brings makes
  // the two one line end, so that line is made again too.
  if (startOffset == 0 && from > 0 && lines_[from - 1].end == "\r") {
    --from;
    joined = lines_[from].utf8 + lines_[from].end;
  }
  joined.append(first, 0, startOffset);
  joined.append(utf8);
  joined.append(last, Utf8Offset(last, end.character));
  joined.append(lines_[to].end);
  auto parts = DocumentLines(joined);
  // The text ends with the last line's own end: the empty line after it is
  // the next line's start, unless this is the last line.
  if (to + 1 < LineCount()) parts.pop_back();
  std::vector<Line> made;
  made.reserve(parts.size());
  for (auto& [text, lineEnd] : parts) made.push_back(MakeLine(std::move(text), std::move(lineEnd)));
  lines_.erase(lines_.begin() + from, lines_.begin() + to + 1);
  lines_.insert(lines_.begin() + from, std::make_move_iterator(made.begin()), std::make_move_iterator(made.end()));
}

std::string Document::Utf8() const {
  std::string out;
  for (const Line& l : lines_) out += l.utf8 + l.end;
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
    // Stored with UTF-8 offsets, in order: into units in one pass.
    std::size_t i = 0;
    int units = 0;
    for (Unmappable u : lines_[l].bad) {
      for (; i < static_cast<std::size_t>(u.character);) {
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

void Document::Character(const std::string& s, std::size_t i, int& bytes, int& width, int& units) const {
  char32_t cp = 0;
  bytes = NextCharacter(s, i, cp);
  units = UnitsOf(cp, bytes, units_);
  if (cp < 0x80 && cp != 0) {
    width = 1;
    return;
  }
  // A character code page 932 lacks stands as the two bytes of its
  // substitute.
  thread_local std::string out, error;
  out.clear();
  width = cp != 0xFFFD && TryUtf8ToCp932(std::string_view(s.data() + i, bytes), out, error) ? static_cast<int>(out.size())
                                                                                            : 2;
}

Document::Walk& Document::WalkOn(int line, bool later) const {
  if (walk_.line != line || !later) walk_ = Walk{line, 0, 0, 0};
  return walk_;
}

int Document::ToUnits(int line, int cp932Column) const {
  if (line < 0 || line >= LineCount()) return 0;
  const std::string& s = lines_[line].utf8;
  Walk& w = WalkOn(line, walk_.line == line && walk_.cp932 <= cp932Column);
  while (w.utf8 < s.size() && w.cp932 < cp932Column) {
    int bytes = 0, width = 0, units = 0;
    Character(s, w.utf8, bytes, width, units);
    w.utf8 += bytes;
    w.cp932 += width;
    w.units += units;
  }
  return w.units;
}

int Document::ToCp932(int line, int units) const {
  if (line < 0 || line >= LineCount()) return 0;
  const std::string& s = lines_[line].utf8;
  Walk& w = WalkOn(line, walk_.line == line && walk_.units <= units);
  while (w.utf8 < s.size() && w.units < units) {
    int bytes = 0, width = 0, u = 0;
    Character(s, w.utf8, bytes, width, u);
    if (w.units + u > units) break;  // inside a character: its start
    w.utf8 += bytes;
    w.cp932 += width;
    w.units += u;
  }
  return w.cp932;
}

}  // namespace qmt::lsp
