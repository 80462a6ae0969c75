#include "host/scenario_diff.h"

#include <algorithm>
#include <cstdint>

namespace qmt {

std::vector<DiffLine> LineDiff(const std::vector<std::string>& expected, const std::vector<std::string>& actual) {
  std::vector<DiffLine> out;
  std::size_t head = 0;
  while (head < expected.size() && head < actual.size() && expected[head] == actual[head]) ++head;
  std::size_t tail = 0;
  while (tail < expected.size() - head && tail < actual.size() - head &&
         expected[expected.size() - 1 - tail] == actual[actual.size() - 1 - tail])
    ++tail;
  for (std::size_t i = 0; i < head; ++i) out.push_back({' ', expected[i]});
  const std::size_t n = expected.size() - head - tail, m = actual.size() - head - tail;
  auto a = [&](std::size_t i) -> const std::string& { return expected[head + i]; };
  auto b = [&](std::size_t j) -> const std::string& { return actual[head + j]; };
  if (n > 0 && m > 0 && n * m <= (std::size_t{1} << 22)) {
    // Longest common subsequence of the middle, from the end, so that the
    // script reads forward.
    std::vector<std::uint32_t> table((n + 1) * (m + 1), 0);
    auto at = [&](std::size_t i, std::size_t j) -> std::uint32_t& { return table[i * (m + 1) + j]; };
    for (std::size_t i = n; i-- > 0;)
      for (std::size_t j = m; j-- > 0;)
        at(i, j) = a(i) == b(j) ? at(i + 1, j + 1) + 1 : std::max(at(i + 1, j), at(i, j + 1));
    std::size_t i = 0, j = 0;
    while (i < n || j < m) {
      if (i < n && j < m && a(i) == b(j)) {
        out.push_back({' ', a(i)});
        ++i, ++j;
      } else if (j < m && (i == n || at(i, j + 1) >= at(i + 1, j))) {
        out.push_back({'+', b(j++)});
      } else {
        out.push_back({'-', a(i++)});
      }
    }
  } else {
    for (std::size_t i = 0; i < n; ++i) out.push_back({'-', a(i)});
    for (std::size_t j = 0; j < m; ++j) out.push_back({'+', b(j)});
  }
  for (std::size_t i = expected.size() - tail; i < expected.size(); ++i) out.push_back({' ', expected[i]});
  return out;
}

long ChangedLines(const std::vector<std::string>& expected, const std::vector<std::string>& actual) {
  long removed = 0, added = 0;
  for (const DiffLine& d : LineDiff(expected, actual)) {
    removed += d.op == '-';
    added += d.op == '+';
  }
  return std::max(removed, added);
}

}  // namespace qmt
