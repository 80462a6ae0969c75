// The tables the program carries: built-in names, external value names,
// constants, the default colour list and the default macro.  They are packed
// at build time as string list tray streams (from src/host/tables/*.txt and
// src/host/default_macro.txt) and read back through the tray on first use.
#pragma once

#include <string>
#include <vector>

namespace qmt {

enum class EmbeddedTable { FuncLabel, ExtValue, Constant, Colors, Macro };

// The items of a table, code page 932.
const std::vector<std::string>& EmbeddedTableLines(EmbeddedTable table);

}  // namespace qmt
