// The debugger bound to a compile made with the host's tables.
#pragma once

namespace qmt {

class NameTables;
class TDebugger;
class TScript;

// Gives `debugger` the line table and names of `compiled`, the external
// names of `tables`, and `spare` (bound to `tables`) for its expressions.
// `spare` and `tables` must outlive the debugger's use of them.
void BindDebugger(TDebugger& debugger, const TScript& compiled, TScript& spare, const NameTables& tables);

}  // namespace qmt
