// qmt exec: runs a file of command lines on the device and writes the pages.
#include <string>
#include <string_view>
#include <vector>

#include "command.h"
#include "device/escape.h"
#include "device/qmt3308.h"
#include "host/macro_compile.h"
#include "host/page_files.h"
#include "support/file_io.h"

namespace {

// Runs each line of `text` (escaped form, lines ending in LF, CR LF or CR);
// prints "N: message" for each line that fails.  Returns the number of
// failures.
int RunLines(qmt::TQMT3308& device, std::string_view text) {
  int failures = 0;
  const std::vector<std::string> lines = qmt::SplitLines(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].empty()) continue;  // blank lines separate groups of commands
    if (!device.ExecuteLine(qmt::Unescape(lines[i]))) {
      ++failures;
      qmt::cli::PrintError(std::to_string(i + 1) + ": " + device.LastError());
    }
  }
  return failures;
}

qmt::cli::Command reg(10, [](CLI::App& app) {
  auto* sub = app.add_subcommand("exec", "Run device command lines on a fresh device and write its pages");
  sub->footer(
      "Each input line is one command line, such as DS0, ER, LA0,0,639,479,1 or CW'TEXT'. A byte may be\n"
      "written as %hh (two hexadecimal digits). Blank lines are skipped. A failing line prints\n"
      "\"N: message\" to standard error and the run goes on; the exit status is 1 when any line failed.");
  struct Options {
    std::string file = "-";
    bool utf8 = false;
    std::string pages;
    std::string png;
  };
  auto opt = std::make_shared<Options>();
  sub->add_option("FILE", opt->file, "Command file (code page 932 bytes); - or nothing reads standard input");
  sub->add_flag("--utf8", opt->utf8, "The command file is UTF-8; convert it to code page 932 first");
  sub->add_option("--pages", opt->pages, "Write the four video pages as DIR/VRAM0.bmp ... DIR/VRAM3.bmp")
      ->option_text("DIR");
  sub->add_option("--png", opt->png, "Write the display page as a PNG picture")->option_text("FILE");
  return [opt] {
    std::string text = qmt::cli::ReadInput(opt->file, opt->utf8, qmt::kReadLimit);
    qmt::TQMT3308& device = qmt::Device();
    int failures = RunLines(device, text);
    qmt::WritePageFiles(device, opt->pages, opt->png);
    return failures > 0 ? 1 : 0;
  };
});

}  // namespace
