// Scenario files: what the simulator is told, step by step, and what its
// screens and lines must be at the checks.  A scenario is plain UTF-8 text,
// one step per line, '#' starting a comment (docs/scenarios.md).  Reading
// validates every line first, so a scenario with a bad line never runs.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host/page_pictures.h"

namespace qmt {

// A bad scenario: the text is "FILE:LINE: what is wrong" (UTF-8).
class ScenarioError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Simulated time of a plain tick, and the most ticks one scenario may run.
inline constexpr int kScenarioTickMs = 33;
inline constexpr std::int64_t kScenarioMaxTicks = 1000000;

struct ScenarioStep {
  enum class Kind {
    kEvent,        // event LABEL: run the macro from a label
    kKey,          // key NAME: a key of the panel (inputs read first)
    kTick,         // tick N [step S]: N timer ticks
    kSlider,       // slider NAME=VALUE
    kSwitch,       // switch NAME on|off: a click on the sensor panel
    kBox,          // box NAME on|off: the sensor box only, no event
    kSet,          // set NAME=VALUE: an external cell, no event
    kTimer,        // timer on|off: the window's timer box
    kExpectScreen, // expect screen FILE.png
    kExpectPage,   // expect page N FILE.png
    kExpectLines,  // expect lines FILE / expect line TEXT... / expect no lines
    kIgnore,       // ignore X,Y,W,H / ignore none: a rectangle the later screen checks disregard
  };
  Kind kind = Kind::kEvent;
  int line = 0;       // 1-based line in the file
  std::string text;   // the step as written, comment and blanks trimmed (UTF-8)
  std::string label;  // kEvent, kKey: the event label (code page 932)
  int index = 0;      // slider, switch, external id, key index, page
  int count = 0;      // kTick: ticks
  int value = 0;      // position, 0/1, cell value (16 bits), kTick: step or -1 for 33 ms
  PageRect rect;      // kIgnore: the rectangle; none (clears them all) when empty
  std::string path;   // checks: the file, resolved against the scenario's folder
  bool inlineLines = false;       // kExpectLines: the lines are below, not in a file
  std::vector<std::string> lines; // kExpectLines inline: escaped form (code page 932)
};

struct Scenario {
  std::string file;  // as given
  std::vector<ScenarioStep> steps;
  std::int64_t ticks = 0;  // ticks of all tick steps
};

// Parses scenario text.  `file` names it in messages and anchors relative
// paths.  Raises ScenarioError naming the file, the line and the fault.
Scenario ParseScenario(std::string_view text, const std::string& file);
// Parses one step on its own (qmt run's options); the ScenarioError names
// only the fault.
ScenarioStep ParseScenarioStep(std::string_view line);
// Reads and parses a file; an unreadable file is a ScenarioError too.
Scenario ReadScenario(const std::string& file);

// User text for a message: control characters in the escaped form, %hh, and a text longer than `max` bytes cut there with its length.
std::string MessageText(std::string_view utf8, std::size_t max = 200);

// Reads a lines file (UTF-8, one escaped line each) into code page 932.
// Raises FileError / EncodingError naming the file.
std::vector<std::string> ReadLinesFile(const std::string& path);
// The text of a lines file for `lines` (code page 932, escaped form).
std::string LinesFileText(const std::vector<std::string>& lines);

}  // namespace qmt
