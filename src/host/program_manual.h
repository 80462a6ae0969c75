// What the manual pages of both programs say about their files and their
// environment, kept beside the code that decides where the files live; and
// how both programs' options complete.
#pragma once

#include <string>
#include <vector>

#include "support/command_docs.h"

namespace qmt {

// FILES and ENVIRONMENT for the program called `program` ("qmt", "qmtsim").
std::vector<ManSection> ProgramFilesSections(const std::string& program);

// How an option's value completes, from the value's name, so that a new
// option named FILE, DIR, PORT or ADDRESS completes like the others without
// being listed anywhere: a port (`port`: the option is --port) or an address
// offers the examples, a file or folder the file names; no name is a flag.
void SetValueKind(OptionDoc& doc, const std::string& valueName, bool port);

}  // namespace qmt
