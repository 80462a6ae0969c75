// qmt's manual page and shell completions come from the same CLI::App that
// parses its command line: the build runs `qmt --generate-doc KIND` and
// installs what it prints.
#pragma once

#include <CLI/CLI.hpp>

#include "support/command_docs.h"

namespace qmt::cli {

// The command line `app` defines, sub-commands included; hidden options
// are left out.
CommandDoc DescribeApp(const CLI::App& app);

// Adds the hidden option --generate-doc man|bash|zsh, which prints the
// manual page or a completion script for every command `app` has by then.
void AddGenerateDocOption(CLI::App& app);

}  // namespace qmt::cli
