#include "host/scenario_update.h"

#include <filesystem>
#include <map>

#include "host/scenario.h"
#include "support/file_io.h"

namespace qmt {
namespace {

std::string Where(const TakenWrite& t) {
  return t.scenario + " line " + std::to_string(t.write.line) + " (" + MessageText(t.write.step) + ")";
}

}  // namespace

std::vector<UpdatedFile> WriteBaselines(const std::vector<TakenWrite>& writes) {
  // One group a file, however its checks spell it.
  std::vector<std::vector<const TakenWrite*>> groups;
  std::map<std::string, std::size_t> index;
  for (const TakenWrite& t : writes) {
    std::error_code ec;
    std::string key = std::filesystem::weakly_canonical(t.write.path, ec).string();
    if (ec) key = std::filesystem::absolute(t.write.path, ec).lexically_normal().string();
    auto [it, added] = index.emplace(key, groups.size());
    if (added) groups.emplace_back();
    groups[it->second].push_back(&t);
  }
  std::vector<UpdatedFile> out;
  for (const auto& group : groups) {
    const TakenWrite& first = *group.front();
    UpdatedFile f;
    f.path = first.write.path;
    const TakenWrite* changed = nullptr;
    const TakenWrite* other = nullptr;
    for (const TakenWrite* t : group) {
      if (t->write.changed && !changed) changed = t;
      if (t->write.seen != first.write.seen && !other) other = t;
      if (f.scenarios.empty() || f.scenarios.back() != t->scenario) f.scenarios.push_back(t->scenario);
    }
    if (other) {
      f.kind = UpdatedFile::Kind::kConflict;
      f.text = Where(first) + " and " + Where(*other) + " see different " +
               (f.path.ends_with(".png") ? "screens" : "lines") + "; nothing written for it";
      out.push_back(std::move(f));
      continue;
    }
    if (!changed) continue;
    try {
      std::error_code ec;
      const std::filesystem::path parent = std::filesystem::path(f.path).parent_path();
      if (!parent.empty()) std::filesystem::create_directories(parent, ec);
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

}  // namespace qmt
