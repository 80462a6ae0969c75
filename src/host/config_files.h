// The two configuration files: the macro file and the colour file.  They sit
// beside the program, named after it: the executable's full path with its
// extension removed, followed by "Macro.txt" or "Color.txt".  When the
// program's folder is not writable (an installed binary), they are saved in
// the user's configuration directory instead, under the same names; until
// the user has saved a copy there, the files shipped beside the program are
// read.
//
// Both are code page 932 text, one list item per line, each line ended by
// CR LF; reading splits at CR LF, CR or LF.
#pragma once

#include <string>
#include <vector>

namespace qmt {

struct ConfigFiles {
  // Where the files are saved, and read from when they exist.
  std::string macroFile;
  std::string colorFile;
  // The copies beside a program whose folder is not writable: read while the
  // saved file does not exist.  Empty when the files are beside the program
  // (or the macro file is named by --macro).
  std::string shippedMacroFile;
  std::string shippedColorFile;
  // The configuration directory the files are saved in; empty when they are
  // beside the program.
  std::string configDir;
  // Empty when the files are beside the program; otherwise a sentence (UTF-8)
  // saying where they are kept and why, for the program to show.
  std::string note;
  // The program is installed (IsInstalledProgram): its files are in the
  // configuration folder whether or not it could write its own folder.
  bool installed = false;
  // True at an installed program's first start, when its configuration
  // folder has just been made: the note is shown then, and not again.
  bool firstStart = false;

  // The files to read at start: the saved copy when there is one (whatever
  // it is, so that a broken one is reported), else the shipped one.
  std::string MacroFileToRead() const;
  std::string ColorFileToRead() const;
};

// The path rule: `exePath` without its extension (of the last path
// component only), followed by `suffix`.  "/opt/qmt/sim.exe" + "Macro.txt"
// gives "/opt/qmt/simMacro.txt"; "/usr/bin/qmt" gives "/usr/bin/qmtMacro.txt".
std::string ConfigFileBeside(const std::string& exePath, const std::string& suffix);

// The running program's full path (from /proc/self/exe); `fallback` (argv[0])
// when that cannot be read.
std::string ExecutablePath(const std::string& fallback);

// The user's configuration directory for this program: $XDG_CONFIG_HOME/qmt3308,
// else $HOME/.config/qmt3308.  Empty when neither variable is set.
std::string UserConfigDir();

// Where the files of the program at `exePath` live.  `macroOverride`, when
// not empty, names the macro file (the --macro option of both programs); the
// colour file still follows the rule.  An installed program
// (IsInstalledProgram) keeps its files in the configuration folder even when
// it could write its own folder; its first start makes that folder and says
// so in `note`, later starts say nothing.
ConfigFiles LocateConfigFiles(const std::string& exePath, const std::string& macroOverride = "");

// The choice itself, the one place that decides where the files live, given
// whether the program's folder is writable and the user's configuration
// directory (files stay beside the program when that directory is empty).
// An installed program uses the configuration directory even when its folder
// is writable; `configDirExists` false makes that its first start, and only
// then does it carry a note.
ConfigFiles ChooseConfigFiles(const std::string& exePath, const std::string& macroOverride, bool folderWritable,
                              const std::string& configDir, bool installed = false, bool configDirExists = true);

// Reads a list file.  Raises FileError naming the file when it cannot be read.
std::vector<std::string> ReadListFile(const std::string& path);

// Writes a list file, each item followed by CR LF, through a temporary file
// and a rename, creating the file's folder when it is missing: a failed save
// leaves the old file as it was.  Raises FileError naming the file.
void WriteListFile(const std::string& path, const std::vector<std::string>& lines);

}  // namespace qmt
