// Compiling a macro text with the host's tables, as the data module does,
// for the headless tool (qmt compile, qmt run) and tests.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qmt {

// The most a macro file may hold: the compiled P-code is at most 65,536
// bytes, and no macro whose code fits comes near this even with long
// comments, so a larger input (an endless stream, a file given by mistake)
// is refused rather than read to its end.
inline constexpr std::size_t kMacroFileLimit = std::size_t{16} << 20;

class NameTables;
class TScript;

// Splits text into lines at CR LF, CR or LF; a line end at the very end adds
// no empty line.  The one rule for lines of text the program is given:
// macro and list files, and command lines (qmt exec, the tool window's
// command test, the browser's command box), numbered from 1 in this order.
std::vector<std::string> SplitLines(std::string_view text);

// The lines joined as the compiler receives them: each followed by CR LF.
std::string JoinLinesCrLf(const std::vector<std::string>& lines);

// Compiles `lines` (code page 932) with `script` bound to `tables`, and
// returns the error log: each reported message, or the message of the error
// that stopped the compile.  An empty log means the image may be run.
std::vector<std::string> CompileMacroLines(TScript& script, const NameTables& tables,
                                           const std::vector<std::string>& lines);

}  // namespace qmt
