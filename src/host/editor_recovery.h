// The macro editor's text kept aside while it differs from what was last
// saved, so that a crash or a killed program loses at most a few seconds of
// editing.  The file is the editor's text as UTF-8 (it may hold characters
// that the macro file's code page cannot), written through a temporary file
// and a rename like every save.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qmt {

// Where the text of the editor of `macroFile` is kept: a file in
// `configDir`/recovery named after the macro file and a hash of its full
// path, so that two macro files of the same name do not share it; beside
// the macro file when `configDir` is empty.
std::string RecoveryFilePath(const std::string& macroFile, const std::string& configDir);

class EditorRecovery {
 public:
  explicit EditorRecovery(std::string path) : path_(std::move(path)) {}
  const std::string& Path() const { return path_; }

  // Writes `utf8` aside, creating the folder; nothing when the same text was
  // kept last.  Raises FileError naming the file when it cannot be written.
  void Keep(std::string_view utf8);
  // Removes the text kept aside (after a save, a clean exit, or when the
  // user declines to restore it).
  void Discard();
  // The text an earlier run left, if any.
  std::optional<std::string> Left() const;

 private:
  std::string path_;
  std::optional<std::string> kept_;
};

}  // namespace qmt
