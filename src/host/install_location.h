// Whether a program runs installed or from where it was built.  An installed
// program keeps its macro and colour files in the user's configuration
// folder and never writes beside itself, whoever runs it: a system folder
// for programs is no place for one user's files, even when root could write
// there.
#pragma once

#include <string>

namespace qmt {

// True when the executable at `exePath` sits in a folder for installed
// programs: one named bin or sbin (/usr/bin, /usr/local/bin, an install
// prefix's bin/, ~/.local/bin), or the folder this build installs to.
bool IsInstalledProgram(const std::string& exePath);

}  // namespace qmt
