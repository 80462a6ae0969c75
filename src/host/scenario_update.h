// Writing what an update took: each baseline or lines file once, and only
// when every check that names it saw the same.  Two checks of one file that
// saw different screens (in one scenario or in two, named or only sharing
// the file from the same folder tree) are an error naming both, and that
// file is left as it was.
#pragma once

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/scenario_runner.h"

namespace qmt {

struct CompiledMacro;

struct TakenWrite {
  std::string scenario;  // the scenario's name in reports (not named: its file)
  BaselineWrite write;
  // False for a scenario that was not named but checks the same file: its
  // checks only have a say in whether the file is written.
  bool named = true;
};

struct UpdatedFile {
  enum class Kind { kNew, kUpdated, kConflict, kError };
  Kind kind = Kind::kNew;
  std::string path;
  // kUpdated: what changed; kConflict: the two checks; kError: why the
  // file could not be written.  UTF-8.
  std::string text;
  std::vector<std::string> scenarios;  // the named scenarios whose checks name it
};

// Writes the changed files, in the order their first checks came; files
// that stay as they are are neither written nor listed.  Temporary files
// that an interrupted save left beside each file checked are removed.
std::vector<UpdatedFile> WriteBaselines(const std::vector<TakenWrite>& writes);

// "new PATH", "updated PATH: 1,204 pixels changed", "ERROR PATH: ..."
std::string UpdatedFileLine(const UpdatedFile& file);

// A file that a scenario writes and the folder that scenario is in.
struct FileOfScenario {
  std::string scenario;  // the scenario file
  std::string file;      // the baseline or lines file it writes
};

// The checks of the files by the scenarios in the folder tree of each
// (the nearest folder holding both the scenario and the file), other than
// those in `skip` (scenario files): each run as an update runs it, its
// checks of these files taken as not named, named by the scenario file.
// A scenario that cannot be read, or that ends before a check of one of
// the files, has no say.
std::vector<TakenWrite> ChecksOfSharedFiles(const std::vector<FileOfScenario>& files,
                                            const std::vector<std::string>& skip, const CompiledMacro& macro,
                                            const std::atomic<bool>* stop = nullptr);

// Whether `a` and `b` name the same file, however they spell it.
bool SameFile(const std::string& a, const std::string& b);

// A check that cannot be accepted because another check of its file sees
// something else: accepting it would make that one fail.
class SharedFileDisagrees : public std::runtime_error {
 public:
  SharedFileDisagrees(std::string path, std::string other);
  const std::string& Path() const { return path_; }
  // "b line 2 (expect screen same.png)" (UTF-8)
  const std::string& Other() const { return other_; }

 private:
  std::string path_;
  std::string other_;
};

// Where a taken check is: "name line N (step)".
std::string CheckPlace(const TakenWrite& t);

}  // namespace qmt
