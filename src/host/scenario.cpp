#include "host/scenario.h"

#include <charconv>
#include <filesystem>
#include <limits>

#include "host/cell_value.h"
#include "host/macro_compile.h"
#include "host/name_tables.h"
#include "host/simulator.h"
#include "support/encoding.h"
#include "support/file_io.h"

namespace qmt {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Splits off the first word; `rest` keeps what follows, trimmed.
std::string_view FirstWord(std::string_view s, std::string_view& rest) {
  s = Trim(s);
  std::size_t end = 0;
  while (end < s.size() && !IsBlank(s[end])) ++end;
  rest = Trim(s.substr(end));
  return s.substr(0, end);
}

std::vector<std::string_view> Words(std::string_view s) {
  std::vector<std::string_view> words;
  std::string_view rest = s;
  while (true) {
    std::string_view w = FirstWord(rest, rest);
    if (w.empty()) break;
    words.push_back(w);
  }
  return words;
}

// A number too large for any range reads as the largest one (or the
// smallest), so that the range check names it.
bool ParseInt(std::string_view text, long long& value) {
  if (text.starts_with('+')) text.remove_prefix(1);
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (end != text.data() + text.size()) return false;
  if (ec == std::errc::result_out_of_range) {
    value = text.starts_with('-') ? std::numeric_limits<long long>::min() : std::numeric_limits<long long>::max();
    return true;
  }
  return ec == std::errc();
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

class Reader {
 public:
  explicit Reader(const std::string& file) : file_(file) {
    base_ = std::filesystem::path(file).parent_path();
  }

  Scenario Parse(std::string_view text) {
    Scenario scenario;
    scenario.file = file_;
    text = WithoutUtf8Bom(text);
    const std::vector<std::string> lines = SplitLines(text);
    // The whole file is checked first, so that a file saved in another
    // encoding is named as such rather than by its first odd character.
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (ValidUtf8(lines[i]) != lines[i]) {
        line_ = static_cast<int>(i) + 1;
        Fail("the file is not UTF-8 text (scenarios are UTF-8; one saved in code page 932 converts with "
             "iconv -f CP932 -t UTF-8)");
      }
    }
    // CR LF, LF and a lone CR all end a line.
    for (std::size_t i = 0; i < lines.size(); ++i) {
      line_ = static_cast<int>(i) + 1;
      ParseLine(lines[i], scenario);
    }
    return scenario;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    if (file_.empty()) throw ScenarioError(MessageText(what));
    throw ScenarioError(file_ + ":" + std::to_string(line_) + ": " + MessageText(what));
  }

  std::string ToCp932(std::string_view utf8) const {
    std::string out, error;
    if (!TryUtf8ToCp932(utf8, out, error)) Fail(error);
    return out;
  }

  std::string Resolve(std::string_view name) const {
    if (name.empty()) Fail("a file name is missing");
    std::filesystem::path p{std::string(name)};
    return (p.is_absolute() ? p : base_ / p).lexically_normal().string();
  }

  static bool OnOff(std::string_view word, int& value) {
    if (word == "on" || word == "1") {
      value = 1;
      return true;
    }
    if (word == "off" || word == "0") {
      value = 0;
      return true;
    }
    return false;
  }

  void AddTicks(Scenario& scenario, long long n) {
    scenario.ticks += n;
    if (scenario.ticks > kScenarioMaxTicks)
      Fail("more than " + std::to_string(kScenarioMaxTicks) + " ticks in one scenario");
  }

  void ParseLine(std::string_view raw, Scenario& scenario) {
    std::string_view line = Trim(raw);
    if (line.empty() || line.front() == '#') return;
    for (char c : line)
      if (c == '\0') Fail("a NUL byte in the line");
    std::string_view rest;
    std::string_view verb = FirstWord(line, rest);

    ScenarioStep step;
    step.line = line_;
    // "expect line TEXT" keeps the rest of the line as it is: a command line
    // may contain '#'.
    if (verb == "expect") {
      std::string_view text;
      if (FirstWord(rest, text) == "line") {
        if (text.empty()) Fail("expect line needs the command line it expects");
        AddInlineLine(scenario, std::string(line), ToCp932(text));
        return;
      }
    }
    rest = StripComment(rest);
    step.text = std::string(StripComment(line));
    std::vector<std::string_view> args = Words(rest);

    if (verb == "event") {
      if (rest.empty()) Fail("event needs a label");
      step.kind = ScenarioStep::Kind::kEvent;
      step.label = ToCp932(rest);
    } else if (verb == "key") {
      if (args.size() != 1) Fail("key needs one key: a caption (作動), a control (swRUN) or its label (onRUN)");
      step.kind = ScenarioStep::Kind::kKey;
      step.index = -1;
      for (int i = 0; i < static_cast<int>(kKeys.size()); ++i) {
        if (args[0] == kKeys[i].caption || EqualsIgnoringCase(args[0], kKeys[i].control) ||
            EqualsIgnoringCase(args[0], kKeys[i].label))
          step.index = i;
      }
      if (step.index < 0) Fail("unknown key '" + std::string(args[0]) + "'");
      step.label = Sjis(kKeys[step.index].label);
    } else if (verb == "tick") {
      step.kind = ScenarioStep::Kind::kTick;
      long long n = 0, s = -1;
      if (args.empty() || args.size() == 2 || args.size() > 3 || !ParseInt(args[0], n))
        Fail("expected tick N or tick N step S");
      if (n < 1 || n > kScenarioMaxTicks) Fail("tick count " + std::string(args[0]) + " is not 1-" + std::to_string(kScenarioMaxTicks));
      if (args.size() == 3) {
        if (args[1] != "step" || !ParseInt(args[2], s) || s < 0 || s > kMaxTimeStep)
          Fail("expected tick N step S, S being 0-" + std::to_string(kMaxTimeStep) + " (10 ms units)");
      }
      AddTicks(scenario, n);
      step.count = static_cast<int>(n);
      step.value = static_cast<int>(s);
    } else if (verb == "slider") {
      auto [name, value] = NameValue(rest, "slider NAME=VALUE");
      auto slider = Simulator::SliderByName(name);
      if (!slider) Fail("unknown slider '" + name + "' (" + Simulator::SliderNames() + ")");
      long long v = 0;
      if (!ParseInt(value, v) || v < 0 || v > 1000) Fail("position of slider " + name + " is not 0-1000: '" + value + "'");
      step.kind = ScenarioStep::Kind::kSlider;
      step.index = static_cast<int>(*slider);
      step.value = static_cast<int>(v);
    } else if (verb == "switch" || verb == "box") {
      if (args.size() != 2) Fail(std::string(verb) + " needs a switch and on or off");
      step.kind = verb == "switch" ? ScenarioStep::Kind::kSwitch : ScenarioStep::Kind::kBox;
      step.index = Simulator::SwitchByCaption(args[0]);
      if (step.index < 0)
        Fail("unknown switch '" + std::string(args[0]) + "' (" + Simulator::SwitchNames() + ")");
      if (!OnOff(args[1], step.value)) Fail("switch " + std::string(args[0]) + " takes on or off (1 or 0), not '" + std::string(args[1]) + "'");
    } else if (verb == "set") {
      auto [name, value] = NameValue(rest, "set NAME=VALUE");
      static const NameTables tables;
      step.index = tables.ExternalId(ToCp932(name));
      if (step.index < 0) Fail("unknown external value '" + name + "'");
      std::int16_t cell = 0;
      if (!ParseCellValue(value, cell)) Fail("value of " + name + " is not a number from -32768 to 65535: '" + value + "'");
      step.value = cell;
      step.kind = ScenarioStep::Kind::kSet;
    } else if (verb == "timer") {
      if (args.size() != 1 || !OnOff(args[0], step.value)) Fail("expected timer on or timer off");
      step.kind = ScenarioStep::Kind::kTimer;
    } else if (verb == "ignore") {
      step.kind = ScenarioStep::Kind::kIgnore;
      if (rest != "none") step.rect = Rectangle(rest);
    } else if (verb == "expect") {
      std::string_view what = FirstWord(line.substr(verb.size()), rest);
      rest = StripComment(rest);
      args = Words(rest);
      if (what == "screen") {
        if (args.size() != 1) Fail("expected expect screen FILE.png");
        step.kind = ScenarioStep::Kind::kExpectScreen;
        step.path = Resolve(args[0]);
      } else if (what == "page") {
        long long page = -1;
        if (args.size() != 2 || !ParseInt(args[0], page) || page < 0 || page > 3)
          Fail("expected expect page N FILE.png, N being 0-3");
        step.kind = ScenarioStep::Kind::kExpectPage;
        step.index = static_cast<int>(page);
        step.path = Resolve(args[1]);
      } else if (what == "lines") {
        if (args.size() != 1) Fail("expected expect lines FILE");
        step.kind = ScenarioStep::Kind::kExpectLines;
        step.path = Resolve(args[0]);
      } else if (what == "no" && args.size() == 1 && args[0] == "lines") {
        step.kind = ScenarioStep::Kind::kExpectLines;
        step.inlineLines = true;
      } else {
        Fail("expected expect screen, expect page, expect lines, expect line or expect no lines");
      }
    } else {
      Fail("unknown step '" + std::string(verb) +
           "' (event, key, tick, slider, switch, box, set, timer, ignore, expect)");
    }
    scenario.steps.push_back(std::move(step));
  }

  // Consecutive "expect line" steps make one check.
  void AddInlineLine(Scenario& scenario, std::string text, std::string line) {
    if (!scenario.steps.empty()) {
      ScenarioStep& last = scenario.steps.back();
      if (last.kind == ScenarioStep::Kind::kExpectLines && last.inlineLines && !last.lines.empty() &&
          lastInlineLine_ == line_ - 1) {
        last.lines.push_back(std::move(line));
        lastInlineLine_ = line_;
        return;
      }
    }
    ScenarioStep step;
    step.kind = ScenarioStep::Kind::kExpectLines;
    step.line = line_;
    step.text = std::move(text);
    step.inlineLines = true;
    step.lines.push_back(std::move(line));
    scenario.steps.push_back(std::move(step));
    lastInlineLine_ = line_;
  }

  static std::string_view StripComment(std::string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i)
      if (s[i] == '#' && (i == 0 || IsBlank(s[i - 1]))) return Trim(s.substr(0, i));
    return Trim(s);
  }

  // X,Y,W,H inside the page, blanks allowed after the commas.
  PageRect Rectangle(std::string_view text) const {
    const std::string form = "expected ignore X,Y,W,H (a rectangle of the page) or ignore none";
    long long v[4] = {};
    std::string_view rest = text;
    for (int i = 0; i < 4; ++i) {
      const std::size_t comma = i < 3 ? rest.find(',') : rest.size();
      if (comma == std::string_view::npos || !ParseInt(Trim(rest.substr(0, comma)), v[i])) Fail(form);
      rest = i < 3 ? rest.substr(comma + 1) : std::string_view{};
    }
    if (v[0] < 0 || v[0] >= 640 || v[1] < 0 || v[1] >= 480 || v[2] < 1 || v[3] < 1 || v[2] > 640 - v[0] ||
        v[3] > 480 - v[1])
      Fail("the rectangle " + std::string(text) + " is not inside the 640 x 480 page (X 0-639, Y 0-479, W and H 1 or more)");
    return PageRect{static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]), static_cast<int>(v[3])};
  }

  std::pair<std::string, std::string> NameValue(std::string_view rest, const char* form) const {
    std::size_t eq = rest.find('=');
    if (eq == std::string_view::npos) Fail(std::string("expected ") + form);
    std::string name(Trim(rest.substr(0, eq))), value(Trim(rest.substr(eq + 1)));
    if (name.empty() || value.empty()) Fail(std::string("expected ") + form);
    return {name, value};
  }

  std::string file_;
  std::filesystem::path base_;
  int line_ = 0;
  int lastInlineLine_ = -1;
};

}  // namespace

std::string MessageText(std::string_view utf8, std::size_t max) {
  std::string out;
  std::size_t i = 0;
  for (; i < utf8.size() && out.size() < max; ++i) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x20 || c == 0x7F) {
      static const char kHex[] = "0123456789ABCDEF";
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  // Cut at a character's start.
  while (i < utf8.size() && (static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80) out += utf8[i++];
  if (i < utf8.size()) out += "... (" + std::to_string(utf8.size()) + " bytes)";
  return out;
}

Scenario ParseScenario(std::string_view text, const std::string& file) { return Reader(file).Parse(text); }

ScenarioStep ParseScenarioStep(std::string_view line) {
  if (line.find_first_of("\r\n") != std::string_view::npos) throw ScenarioError("a line end inside a step");
  Scenario s = Reader("").Parse(line);
  if (s.steps.size() != 1) throw ScenarioError("expected one step, got '" + MessageText(line) + "'");
  return s.steps.front();
}

Scenario ReadScenario(const std::string& file) {
  std::string text;
  try {
    text = ReadFile(file);
  } catch (const FileError& e) {
    throw ScenarioError(e.what());
  }
  return ParseScenario(text, file);
}

std::vector<std::string> ReadLinesFile(const std::string& path) {
  std::string text = ReadFile(path);
  std::vector<std::string> lines;
  for (const std::string& line : SplitLines(WithoutUtf8Bom(text))) {
    std::string cp932, error;
    if (!TryUtf8ToCp932(line, cp932, error)) throw EncodingError(path + ": " + error);
    lines.push_back(std::move(cp932));
  }
  return lines;
}

std::string LinesFileText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) {
    text += Cp932ToUtf8(l);
    text += '\n';
  }
  return text;
}

}  // namespace qmt
