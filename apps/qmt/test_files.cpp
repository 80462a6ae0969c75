#include "test_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "support/file_io.h"

namespace qmt::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kListName = ".qmt-test-files";

// One path a line: a line break or '%' in a name is %-encoded.
std::string Escape(std::string_view path) {
  std::string out;
  for (char c : path) {
    if (c == '%') {
      out += "%25";
    } else if (c == '\n') {
      out += "%0A";
    } else if (c == '\r') {
      out += "%0D";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Unescape(std::string_view line) {
  std::string out;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '%' && line.substr(i, 3) == "%25") {
      out += '%';
      i += 2;
    } else if (line[i] == '%' && line.substr(i, 3) == "%0A") {
      out += '\n';
      i += 2;
    } else if (line[i] == '%' && line.substr(i, 3) == "%0D") {
      out += '\r';
      i += 2;
    } else {
      out += line[i];
    }
  }
  return out;
}

// A path this tool writes: relative, staying below the folder, named as
// its pictures and lines files are.
bool OwnName(const fs::path& rel) {
  if (rel.empty() || rel.is_absolute() || rel.has_root_name()) return false;
  for (const fs::path& part : rel)
    if (part == ".." || part == ".") return false;
  const std::string name = rel.filename().string();
  for (const char* suffix : {"-actual.png", "-diff.png", "-baseline.png", "-lines.txt"}) {
    const std::string s(suffix);
    if (name.size() >= s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0) return true;
  }
  return false;
}

}  // namespace

void RemoveEarlierReportFiles(const std::string& dir) {
  const fs::path root(dir);
  const fs::path list = root / kListName;
  std::error_code ec;
  if (!fs::is_regular_file(list, ec)) return;
  std::string text;
  try {
    text = ReadFile(list.string());
  } catch (const FileError&) {
    return;
  }
  const fs::path canonicalRoot = fs::weakly_canonical(root, ec);
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const fs::path rel(Unescape(std::string_view(text).substr(at, end - at)));
    at = end + 1;
    if (!OwnName(rel)) continue;
    const fs::path file = root / rel;
    // Only a file still there as written, inside the folder: not through a
    // folder link that leads elsewhere.
    if (!fs::is_regular_file(fs::symlink_status(file, ec))) continue;
    const fs::path real = fs::weakly_canonical(file, ec);
    if (ec) continue;
    const fs::path inside = real.lexically_relative(canonicalRoot);
    if (inside.empty() || *inside.begin() == "..") continue;
    if (!fs::remove(file, ec)) continue;
    // The folders below `dir` that held it, while they are empty.
    for (fs::path below = rel.parent_path(); !below.empty(); below = below.parent_path()) {
      const fs::path folder = root / below;
      if (!fs::is_empty(folder, ec) || ec || !fs::remove(folder, ec)) break;
    }
  }
  fs::remove(list, ec);
}

void WriteReportFile(const std::string& dir, const std::string& rel, std::string_view bytes) {
  const fs::path path = fs::path(dir) / rel;
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  // One short line in one write to a file opened for appending: lines of
  // processes writing at once do not mix.
  const std::string listPath = (fs::path(dir) / kListName).string();
  const std::string line = Escape(fs::path(rel).generic_string()) + "\n";
  std::FILE* list = std::fopen(listPath.c_str(), "ab");
  if (!list) throw FileError("cannot write the list of report files " + listPath);
  std::setvbuf(list, nullptr, _IOFBF, line.size() + 1);
  const bool listed = std::fwrite(line.data(), 1, line.size(), list) == line.size();
  if (std::fclose(list) != 0 || !listed) throw FileError("cannot write the list of report files " + listPath);
  // Written in place, without waiting for the disk: a run writes hundreds
  // of these, each made anew by the next run, and one cut short is listed
  // already, so the next run removes it.
  std::FILE* out = std::fopen(path.string().c_str(), "wb");
  if (!out) throw FileError("cannot write " + path.string() + ": " + std::strerror(errno), path.string(), FileError::Op::Write, errno);
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  if (std::fclose(out) != 0 || !written)
    throw FileError("cannot write " + path.string() + ": " + std::strerror(errno), path.string(), FileError::Op::Write, errno);
}

}  // namespace qmt::cli
