#include "host/debug_binding.h"

#include <string>
#include <utility>
#include <vector>

#include "compiler/script.h"
#include "host/data_module.h"
#include "host/name_tables.h"
#include "runtime/debugger.h"

namespace qmt {

DebugNames DebugNamesOf(const NameTables& tables) {
  return {[&tables](TScript& spare) { tables.Bind(spare, nullptr); }, tables.ExtValue(),
          [&tables](std::string_view name) { return tables.ExternalId(name); }};
}

DebugNames DebugNamesOf(TDM& dm) {
  return {[&dm](TScript& spare) {
            spare.OnConstLab = [&dm](std::string_view name, std::int16_t& dt) { return dm.Script1ConstLab(name, dt); };
            spare.OnExtLabel = [&dm](std::string_view name) { return dm.Script1ExtLabel(name); };
            spare.OnExtFunc = [&dm](std::string_view name) { return dm.Script1ExtFunc(name); };
          },
          dm.ExtValue.Items().Strings(), [&dm](std::string_view name) { return dm.Script1ExtLabel(name); }};
}

void BindDebugger(TDebugger& debugger, const TScript& compiled, TScript& spare, const DebugNames& names) {
  names.bind(spare);
  debugger.SetExpressionScript(&spare);
  std::vector<std::pair<std::string, int>> externals;
  for (std::size_t i = 0; i < names.externals.size(); ++i) {
    // The first line of a name is the one the compiler finds; an unused
    // slot of the table is a line of spaces.
    const std::string& name = names.externals[i];
    if (name.find_first_not_of(' ') != std::string::npos && names.externalId(name) == static_cast<int>(i))
      externals.emplace_back(name, static_cast<int>(i));
  }
  debugger.SetExternalNames(std::move(externals));
  debugger.SetDebugInfo(compiled.DebugInfo());
}

}  // namespace qmt
