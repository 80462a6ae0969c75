// qmt compile: compiles a macro file with the host's name tables, prints the
// error log, and on success the listings and the image asked for.
#include <memory>
#include <string>
#include <vector>

#include "command.h"
#include "compiler/script.h"
#include "host/macro_compile.h"
#include "host/name_tables.h"
#include "support/file_io.h"

namespace qmt::cli {
namespace {

// A fatal message carries its context lines after CR LF: one output line
// each.
void PrintErrorLines(const std::string& message) {
  for (const std::string& line : SplitLines(message)) PrintError(line);
}

static Command reg(20, [](CLI::App& app) {
  auto* sub = app.add_subcommand(
      "compile",
      "Compile a macro file into P-code; errors go to standard error (exit status 1)");
  auto file = std::make_shared<std::string>("-");
  auto utf8 = std::make_shared<bool>(false);
  auto list = std::make_shared<bool>(false);
  auto labels = std::make_shared<bool>(false);
  auto vars = std::make_shared<bool>(false);
  auto image = std::make_shared<std::string>();
  sub->add_option("file", *file, "Macro file, '-' for standard input")->capture_default_str();
  sub->add_flag("--utf8", *utf8, "The input is UTF-8 rather than code page 932");
  sub->add_flag("--list", *list, "Print the P-code listing");
  sub->add_flag("--labels", *labels, "Print the labels as name=address");
  sub->add_flag("--vars", *vars, "Print the local variables as name=slot");
  sub->add_option("--image", *image, "Write the P-code image to this file")->option_text("FILE");
  return [=]() -> int {
    std::vector<std::string> lines = SplitLines(ReadInput(*file, *utf8, kMacroFileLimit));
    NameTables tables;
    TScript script;
    std::vector<std::string> errors = CompileMacroLines(script, tables, lines);
    if (!errors.empty()) {
      for (const std::string& e : errors) PrintErrorLines(e);
      return 1;
    }
    std::vector<std::string> out;
    if (*list) script.ListCode(out);
    if (*labels) script.ListLabels(out);
    if (*vars) script.ListVariables(out);
    for (const std::string& line : out) PrintLine(line);
    if (!image->empty()) {
      const TAByte& code = script.Code();
      WriteFileAtomic(*image, std::string_view(reinterpret_cast<const char*>(code.data()), code.size()));
    }
    return 0;
  };
});

}  // namespace
}  // namespace qmt::cli
