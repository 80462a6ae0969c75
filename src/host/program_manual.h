// What the manual pages of both programs say about their files and their
// environment, kept beside the code that decides where the files live.
#pragma once

#include <string>
#include <vector>

#include "support/command_docs.h"

namespace qmt {

// FILES and ENVIRONMENT for the program called `program` ("qmt", "qmtsim").
std::vector<ManSection> ProgramFilesSections(const std::string& program);

}  // namespace qmt
