// The program's version, and the git revision it was built from.  Both come
// from the build: the version from the project, the revision from the
// checkout at build time.
#pragma once

#include <string>

namespace qmt {

// "0.1".
const char* ProgramVersion();
// The abbreviated commit hash, with "-dirty" when tracked files had changes;
// empty when the program was not built from a git checkout.
const char* ProgramRevision();

// "<program> <version>" followed by " (git <revision>)" when there is one:
// the line both programs print for --version.
std::string VersionLine(const std::string& program);

}  // namespace qmt
