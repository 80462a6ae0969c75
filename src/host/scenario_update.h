// Writing what an update took: each baseline or lines file once, and only
// when every check that names it saw the same.  Two checks of one file that
// saw different screens (in one scenario or in two) are an error naming
// both, and that file is left as it was.
#pragma once

#include <string>
#include <vector>

#include "host/scenario_runner.h"

namespace qmt {

struct TakenWrite {
  std::string scenario;  // the scenario's name in reports
  BaselineWrite write;
};

struct UpdatedFile {
  enum class Kind { kNew, kUpdated, kConflict, kError };
  Kind kind = Kind::kNew;
  std::string path;
  // kUpdated: what changed; kConflict: the two checks; kError: why the
  // file could not be written.  UTF-8.
  std::string text;
  std::vector<std::string> scenarios;  // the scenarios whose checks name it
};

// Writes the changed files, in the order their first checks came; files
// that stay as they are are neither written nor listed.
std::vector<UpdatedFile> WriteBaselines(const std::vector<TakenWrite>& writes);

// "new PATH", "updated PATH: 1,204 pixels changed", "ERROR PATH: ..."
std::string UpdatedFileLine(const UpdatedFile& file);

}  // namespace qmt
