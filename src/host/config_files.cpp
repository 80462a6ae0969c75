#include "host/config_files.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "host/install_location.h"
#include "host/macro_compile.h"
#include "support/file_io.h"

namespace qmt {

namespace fs = std::filesystem;

std::string ConfigFileBeside(const std::string& exePath, const std::string& suffix) {
  std::size_t slash = exePath.rfind('/');
  std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  std::size_t dot = exePath.rfind('.');
  std::string base = exePath;
  // Only a dot inside the file name starts an extension; a name that is all
  // extension (".qmt") keeps it.
  if (dot != std::string::npos && dot > nameStart) base = exePath.substr(0, dot);
  return base + suffix;
}

std::string ExecutablePath(const std::string& fallback) {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec && !self.empty()) return self.string();
  fs::path abs = fs::absolute(fallback, ec);
  return ec ? fallback : abs.lexically_normal().string();
}

std::string UserConfigDir() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return (fs::path(xdg) / "qmt3308").string();
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return (fs::path(home) / ".config" / "qmt3308").string();
  return "";
}

ConfigFiles LocateConfigFiles(const std::string& exePath, const std::string& macroOverride) {
  fs::path folder = fs::path(exePath).parent_path();
  if (folder.empty()) folder = ".";
  // An installed program writes nothing beside itself, whoever runs it.
  const bool installed = IsInstalledProgram(exePath);
  const bool writable = access(folder.c_str(), W_OK) == 0;
  const std::string configDir = UserConfigDir();
  std::error_code ec;
  const bool configDirExists = !configDir.empty() && fs::exists(configDir, ec);
  ConfigFiles files = ChooseConfigFiles(exePath, macroOverride, writable, configDir, installed, configDirExists);
  if (files.firstStart) {
    // Made now, so that the next start is not a first one; when it cannot be
    // made the note still says where the files will go.
    fs::create_directories(configDir, ec);
  }
  return files;
}

ConfigFiles ChooseConfigFiles(const std::string& exePath, const std::string& macroOverride, bool folderWritable,
                              const std::string& configDir, bool installed, bool configDirExists) {
  ConfigFiles files;
  files.macroFile = ConfigFileBeside(exePath, "Macro.txt");
  files.colorFile = ConfigFileBeside(exePath, "Color.txt");
  if ((installed || !folderWritable) && !configDir.empty()) {
    fs::path folder = fs::path(exePath).parent_path();
    files.configDir = configDir;
    files.installed = installed;
    if (macroOverride.empty()) files.shippedMacroFile = files.macroFile;
    files.shippedColorFile = files.colorFile;
    files.macroFile = (fs::path(configDir) / fs::path(files.macroFile).filename()).string();
    files.colorFile = (fs::path(configDir) / fs::path(files.colorFile).filename()).string();
    const std::string what = macroOverride.empty() ? "the macro and colour files are" : "the colour file is";
    if (!installed) {
      files.note = what + " kept in " + configDir + " because the program's folder " + folder.string() +
                   " is not writable";
    } else if (!configDirExists) {
      files.firstStart = true;
      files.note = what + " kept in " + configDir + ", since the program is installed in " + folder.string();
    }
  }
  if (!macroOverride.empty()) files.macroFile = macroOverride;
  return files;
}

namespace {

std::string SavedOrShipped(const std::string& saved, const std::string& shipped) {
  std::error_code ec;
  if (shipped.empty() || fs::exists(fs::symlink_status(saved, ec)) || !fs::exists(shipped, ec)) return saved;
  return shipped;
}

}  // namespace

std::string ConfigFiles::MacroFileToRead() const { return SavedOrShipped(macroFile, shippedMacroFile); }

std::string ConfigFiles::ColorFileToRead() const { return SavedOrShipped(colorFile, shippedColorFile); }

std::vector<std::string> ReadListFile(const std::string& path) { return SplitLines(ReadFile(path)); }

void WriteListFile(const std::string& path, const std::vector<std::string>& lines) {
  fs::path folder = fs::path(path).parent_path();
  if (!folder.empty()) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec)
      throw FileError("cannot write " + path + ": cannot create " + folder.string() + ": " + ec.message(), path,
                      FileError::Op::Write, ec.category() == std::generic_category() || ec.category() == std::system_category() ? ec.value() : 0);
  }
  WriteFileAtomic(path, JoinLinesCrLf(lines));
}

}  // namespace qmt
