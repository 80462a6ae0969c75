// The debugger bound to a compile: its line table, and the names the macro
// was compiled with for the debugger's expressions and its externals scope.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qmt {

class NameTables;
class TDM;
class TDebugger;
class TScript;

// The names a compile resolved, as a source the debugger can use: the
// headless tool's tables and the window's data module both provide one.
struct DebugNames {
  // Wires a spare script's lookups of constants, externals and built-ins.
  std::function<void(TScript& spare)> bind;
  // The external table's lines, and the id the compiler finds for a name.
  std::vector<std::string> externals;
  std::function<int(std::string_view name)> externalId;
};

// The names of `tables`, which must outlive the debugger's use of them.
DebugNames DebugNamesOf(const NameTables& tables);
// The names of the data module (its tables and colour list), which must
// outlive the debugger's use of them.
DebugNames DebugNamesOf(TDM& dm);

// Gives `debugger` the line table and names of `compiled`, the external
// names of `names`, and `spare` (bound to `names`) for its expressions.
// `spare` must outlive the debugger's use of it.
void BindDebugger(TDebugger& debugger, const TScript& compiled, TScript& spare, const DebugNames& names);

}  // namespace qmt
