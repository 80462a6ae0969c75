#include "host/debug_binding.h"

#include <string>
#include <utility>
#include <vector>

#include "compiler/script.h"
#include "host/name_tables.h"
#include "runtime/debugger.h"

namespace qmt {

void BindDebugger(TDebugger& debugger, const TScript& compiled, TScript& spare, const NameTables& tables) {
  tables.Bind(spare, nullptr);
  debugger.SetExpressionScript(&spare);
  std::vector<std::pair<std::string, int>> externals;
  const std::vector<std::string>& names = tables.ExtValue();
  for (std::size_t i = 0; i < names.size(); ++i) {
    // The first line of a name is the one the compiler finds.
    if (!names[i].empty() && tables.ExternalId(names[i]) == static_cast<int>(i))
      externals.emplace_back(names[i], static_cast<int>(i));
  }
  debugger.SetExternalNames(std::move(externals));
  debugger.SetDebugInfo(compiled.DebugInfo());
}

}  // namespace qmt
