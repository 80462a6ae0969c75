// The files qmt test writes into the folders of --diff-dir and --html.
// Each folder lists them (.qmt-test-files), so that the next run removes
// what the one before wrote and leaves only its own; a file the list does
// not name, or not of the tool's naming, is never removed.
#pragma once

#include <string>
#include <string_view>

namespace qmt::cli {

// Removes the files the list in `dir` names (NAME-actual.png, -diff.png,
// -baseline.png and -lines.txt below it), the folders they leave empty
// below `dir`, and the list.
void RemoveEarlierReportFiles(const std::string& dir);

// Writes `bytes` to `rel` below `dir`, making its folders, and lists it
// there first.  Several processes may write into one folder at once.
void WriteReportFile(const std::string& dir, const std::string& rel, std::string_view bytes);

}  // namespace qmt::cli
