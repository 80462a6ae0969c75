#include "host/scenario_update.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "host/scenario.h"
#include "host/scenario_machine.h"
#include "support/file_io.h"

namespace qmt {
namespace {

namespace fs = std::filesystem;

std::string FileKey(const std::string& path) {
  std::error_code ec;
  std::string key = fs::weakly_canonical(path, ec).string();
  if (ec) key = fs::absolute(path, ec).lexically_normal().string();
  return key;
}

// The nearest folder holding both paths; the scenario's own folder when
// that would be the root of the file system.
fs::path CommonFolder(const std::string& scenario, const std::string& file) {
  std::error_code ec;
  const fs::path a = fs::weakly_canonical(fs::absolute(scenario, ec).parent_path(), ec);
  const fs::path b = fs::weakly_canonical(fs::absolute(file, ec).parent_path(), ec);
  fs::path common;
  auto ia = a.begin(), ib = b.begin();
  for (; ia != a.end() && ib != b.end() && *ia == *ib; ++ia, ++ib) common /= *ia;
  if (common.empty() || common == common.root_path()) return a;
  return common;
}

}  // namespace

SharedFileDisagrees::SharedFileDisagrees(std::string path, std::string other)
    : std::runtime_error(other + " checks " + path + " too and sees something else; accepting would make it fail"),
      path_(std::move(path)),
      other_(std::move(other)) {}

std::string CheckPlace(const TakenWrite& t) {
  return t.scenario + " line " + std::to_string(t.write.line) + " (" + MessageText(t.write.step) + ")";
}

bool SameFile(const std::string& a, const std::string& b) { return FileKey(a) == FileKey(b); }

std::vector<UpdatedFile> WriteBaselines(const std::vector<TakenWrite>& writes) {
  // One group a file, however its checks spell it.
  std::vector<std::vector<const TakenWrite*>> groups;
  std::map<std::string, std::size_t> index;
  for (const TakenWrite& t : writes) {
    auto [it, added] = index.emplace(FileKey(t.write.path), groups.size());
    if (added) groups.emplace_back();
    groups[it->second].push_back(&t);
  }
  std::vector<UpdatedFile> out;
  for (const auto& group : groups) {
    const auto named = std::find_if(group.begin(), group.end(), [](const TakenWrite* t) { return t->named; });
    if (named == group.end()) continue;
    const TakenWrite& first = **named;
    UpdatedFile f;
    f.path = first.write.path;
    RemoveStaleTemporaries(f.path);
    const TakenWrite* changed = nullptr;
    const TakenWrite* other = nullptr;
    for (const TakenWrite* t : group) {
      if (t->write.changed && !changed) changed = t;
      if (t->write.seen != first.write.seen && !other) other = t;
      if (t->named && std::find(f.scenarios.begin(), f.scenarios.end(), t->scenario) == f.scenarios.end())
        f.scenarios.push_back(t->scenario);
    }
    if (other) {
      f.kind = UpdatedFile::Kind::kConflict;
      f.text = CheckPlace(first) + " and " + CheckPlace(*other) + (other->named ? "" : ", not named,") + " see different " +
               (f.path.ends_with(".png") ? "screens" : "lines") + "; nothing written for it";
      out.push_back(std::move(f));
      continue;
    }
    if (!changed) continue;
    try {
      std::error_code ec;
      const fs::path parent = fs::path(f.path).parent_path();
      if (!parent.empty()) fs::create_directories(parent, ec);
      WriteFileAtomic(f.path, changed->write.bytes);
      f.kind = changed->write.exists ? UpdatedFile::Kind::kUpdated : UpdatedFile::Kind::kNew;
      f.text = changed->write.change;
    } catch (const std::exception& e) {
      f.kind = UpdatedFile::Kind::kError;
      f.text = e.what();
    }
    out.push_back(std::move(f));
  }
  return out;
}

std::string UpdatedFileLine(const UpdatedFile& file) {
  switch (file.kind) {
    case UpdatedFile::Kind::kNew: return "new " + file.path;
    case UpdatedFile::Kind::kUpdated: return "updated " + file.path + ": " + file.text;
    case UpdatedFile::Kind::kConflict:
    case UpdatedFile::Kind::kError: break;
  }
  return "ERROR " + file.path + ": " + file.text;
}

std::vector<TakenWrite> ChecksOfSharedFiles(const std::vector<FileOfScenario>& files,
                                            const std::vector<std::string>& skip, const CompiledMacro& macro,
                                            const std::atomic<bool>* stop) {
  std::set<std::string> wanted, skipped, roots;
  for (const FileOfScenario& f : files) {
    wanted.insert(FileKey(f.file));
    roots.insert(CommonFolder(f.scenario, f.file).string());
  }
  for (const std::string& s : skip) skipped.insert(FileKey(s));
  // Each scenario file once, however many of the folders hold it.
  std::vector<std::string> found;
  std::set<std::string> seen;
  for (const std::string& root : roots) {
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
      if (!it->is_regular_file(ec) || it->path().extension() != ".scn") continue;
      const std::string key = FileKey(it->path().string());
      if (skipped.count(key) || !seen.insert(key).second) continue;
      // Named as the user would: below the current folder, from there.
      fs::path name = it->path().lexically_normal();
      const fs::path below = name.lexically_relative(fs::current_path(ec));
      if (!ec && !below.empty() && *below.begin() != "..") name = below;
      found.push_back(name.generic_string());
    }
  }
  std::sort(found.begin(), found.end());
  std::vector<TakenWrite> out;
  for (const std::string& file : found) {
    if (stop && stop->load()) break;
    try {
      const Scenario scenario = ReadScenario(file);
      const bool checks = std::any_of(scenario.steps.begin(), scenario.steps.end(), [&](const ScenarioStep& s) {
        return !s.path.empty() && wanted.count(FileKey(s.path));
      });
      if (!checks) continue;
      ScenarioOptions options;
      options.update = true;
      options.stop = stop;
      ScenarioReport report = RunScenario(scenario, macro, options);
      for (BaselineWrite& w : report.writes)
        if (wanted.count(FileKey(w.path))) out.push_back({file, std::move(w), false});
    } catch (const std::exception&) {
      // A scenario that cannot be read or run fails on its own.
    }
  }
  return out;
}

}  // namespace qmt
