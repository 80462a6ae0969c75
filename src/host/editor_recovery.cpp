#include "host/editor_recovery.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "support/file_io.h"

namespace qmt {

namespace fs = std::filesystem;

std::string RecoveryFilePath(const std::string& macroFile, const std::string& configDir) {
  std::error_code ec;
  fs::path full = fs::absolute(macroFile, ec);
  if (ec) full = macroFile;
  if (configDir.empty()) return full.string() + ".recover";
  // FNV-1a: stable from one build to the next, unlike std::hash.
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : full.lexically_normal().string()) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return (fs::path(configDir) / "recovery" / (full.filename().string() + "-" + hex + ".txt")).string();
}

void EditorRecovery::Keep(std::string_view utf8) {
  if (kept_ && *kept_ == utf8) return;
  const fs::path folder = fs::path(path_).parent_path();
  if (!folder.empty()) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) throw FileError("cannot write " + path_ + ": cannot create " + folder.string() + ": " + ec.message());
  }
  WriteFileAtomic(path_, utf8);
  kept_ = std::string(utf8);
}

void EditorRecovery::Discard() {
  std::error_code ec;
  fs::remove(path_, ec);
  kept_.reset();
}

std::optional<std::string> EditorRecovery::Left() const {
  std::error_code ec;
  if (!fs::is_regular_file(path_, ec)) return std::nullopt;
  try {
    return ReadFile(path_);
  } catch (const FileError&) {
    return std::nullopt;
  }
}

}  // namespace qmt
