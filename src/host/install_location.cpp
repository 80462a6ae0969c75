#include "host/install_location.h"

#include <filesystem>

namespace qmt {

bool IsInstalledProgram(const std::string& exePath) {
  const std::filesystem::path folder = std::filesystem::path(exePath).lexically_normal().parent_path();
  const std::string name = folder.filename().string();
  if (name == "bin" || name == "sbin") return true;
#ifdef QMT_INSTALL_BINDIR
  if (!folder.empty() && folder == std::filesystem::path(QMT_INSTALL_BINDIR).lexically_normal()) return true;
#endif
  return false;
}

}  // namespace qmt
