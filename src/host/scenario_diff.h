// Lines against lines: what a lines check expected and what was sent, as
// an edit script for reports and reviews.
#pragma once

#include <string>
#include <vector>

namespace qmt {

struct DiffLine {
  char op = ' ';     // ' ' in both, '-' expected only, '+' sent only
  std::string text;  // as given
};

// A shortest edit script from `expected` to `actual` where the differing
// part is small enough to search (about four million pairs); beyond that,
// the differing part is shown removed and added whole.
std::vector<DiffLine> LineDiff(const std::vector<std::string>& expected, const std::vector<std::string>& actual);

// Lines changed: the larger of the removed and the added lines.
long ChangedLines(const std::vector<std::string>& expected, const std::vector<std::string>& actual);

}  // namespace qmt
