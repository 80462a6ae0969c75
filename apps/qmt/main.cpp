// qmt: the QMT3308 simulator without a display.  Command lines, macros,
// pages and the device link, for scripts and tests.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <vector>

#include "cli_docs.h"
#include "command.h"
#include "device/escape.h"
#include "support/encoding.h"
#include "support/file_io.h"
#include "support/version.h"

namespace qmt::cli {
namespace {

struct Entry {
  int order;
  CommandSetup setup;
};

std::vector<Entry>& Registry() {
  static std::vector<Entry> entries;
  return entries;
}

}  // namespace

Command::Command(int order, CommandSetup setup) {
  Registry().push_back({order, std::move(setup)});
}

void PrintError(const std::string& cp932) {
  std::string text = Cp932ToUtf8(cp932);
  text += '\n';
  std::fwrite(text.data(), 1, text.size(), stderr);
}

void PrintLine(const std::string& cp932) {
  std::string text = Cp932ToUtf8(cp932);
  text += '\n';
  std::fwrite(text.data(), 1, text.size(), stdout);
}

std::string ShownLine(std::string_view bytes) {
  constexpr std::size_t kShown = 80;
  std::string text = EscapeForDisplay(bytes.substr(0, kShown));
  if (bytes.size() > kShown) text += "... (" + std::to_string(bytes.size()) + " bytes)";
  return text;
}

std::string ReadInput(const std::string& file, bool utf8, std::size_t limit) {
  const std::string bytes = file.empty() || file == "-" ? ReadStandardInput(limit) : ReadFile(file, limit);
  return utf8 ? Utf8ToCp932(WithoutUtf8Bom(bytes)) : bytes;
}

// What a command printed is part of its result: standard output that could
// not take it all (a full disk, /dev/full, a closed descriptor) fails the
// command, with the reason.  A reader that left (EPIPE) was told already
// by the command or ended it by SIGPIPE.
int CheckedStatus(const std::string& command, int status) {
  errno = 0;
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
  const int err = errno;
  if (err != EPIPE)
    std::fprintf(stderr, "qmt %s: cannot write standard output%s%s\n", command.c_str(), err != 0 ? ": " : "",
                 err != 0 ? std::strerror(err) : "");
  return status == 0 ? 1 : status;
}

}  // namespace qmt::cli

int main(int argc, char** argv) {
  using namespace qmt::cli;
  CLI::App app{"qmt - the QMT3308 display simulator and macro tool, without a display", "qmt"};
  app.require_subcommand(1);
  app.set_help_all_flag("--help-all", "Show the help of every command");
  app.set_version_flag("--version", qmt::VersionLine("qmt"), "Print the version and exit");

  auto entries = Registry();
  std::stable_sort(entries.begin(), entries.end(),
                   [](const Entry& a, const Entry& b) { return a.order < b.order; });
  std::vector<std::pair<CLI::App*, std::function<int()>>> commands;
  for (auto& e : entries) {
    size_t before = app.get_subcommands({}).size();
    auto run = e.setup(app);
    auto subs = app.get_subcommands({});
    if (subs.size() > before) commands.emplace_back(subs.back(), std::move(run));
  }
  AddGenerateDocOption(app);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // A bad option or value, in every command: status 2 (the option
    // library's own codes, 105 and up, are not this program's).
    return app.exit(e) == 0 ? 0 : 2;
  }
  for (auto& [sub, run] : commands) {
    if (sub->parsed()) {
      int status = 1;
      try {
        status = run();
      } catch (const std::exception& e) {
        // File and encoding errors carry UTF-8 text already.
        std::fprintf(stderr, "qmt %s: %s\n", sub->get_name().c_str(), e.what());
      }
      return CheckedStatus(sub->get_name(), status);
    }
  }
  return 0;
}
