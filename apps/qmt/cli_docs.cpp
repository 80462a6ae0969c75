#include "cli_docs.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "host/program_manual.h"
#include "support/version.h"

namespace qmt::cli {
namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The value's name as the help shows it: the option text, else the type
// without its validators ("INT" of "INT:INT in [1 - 100]").
std::string ValueName(const CLI::Option& o) {
  if (o.get_positional()) return Upper(o.get_name(true));
  if (!o.get_option_text().empty()) return o.get_option_text();
  std::string type = o.get_type_name();
  return type.substr(0, type.find(':'));
}

OptionDoc DescribeOption(const CLI::Option& o) {
  OptionDoc doc;
  doc.help = o.get_description();
  doc.required = o.get_required();
  doc.defaultValue = o.get_default_str();
  const bool flag = !o.get_positional() && o.get_expected_max() == 0;
  doc.repeatable = !flag && (o.get_multi_option_policy() == CLI::MultiOptionPolicy::TakeAll || o.get_expected_max() > 1);
  if (o.get_positional()) {
    doc.names = {Upper(o.get_name(true))};
  } else {
    for (const std::string& s : o.get_snames()) doc.names.push_back("-" + s);
    for (const std::string& l : o.get_lnames()) doc.names.push_back("--" + l);
  }
  if (flag) return doc;
  doc.valueName = ValueName(o);
  // Completion follows the value's name (SetValueKind).  A positional is
  // named by its option text when it has one ("FILE|DIR ...").
  const std::string v = o.get_positional() && !o.get_option_text().empty() ? o.get_option_text() : doc.valueName;
  SetValueKind(doc, v, std::find(doc.names.begin(), doc.names.end(), "--port") != doc.names.end());
  return doc;
}

ManPage QmtManual(const CLI::App& app) {
  ManPage page;
  page.program = DescribeApp(app);
  // The help's first line reads "qmt - what it is"; the manual's NAME line
  // adds the name itself.
  const std::string prefix = page.program.name + " - ";
  if (page.program.summary.starts_with(prefix)) page.program.summary.erase(0, prefix.size());
  page.date = ManPageDate();
  page.version = VersionLine("qmt");
  page.overview = {
      "qmt does what the simulator window qmtsim does, without a display: it runs device command lines on an "
      "emulated QMT3308 (a 640 x 480, 8-bit-colour display device with four video pages), compiles macros into "
      "P-code, runs them with the panel's inputs and events, writes the pages as bitmaps or PNG pictures, and "
      "sends command lines to a real device on the parallel port.",
      "Input is code page 932 (Shift-JIS), as the device uses; --utf8 converts UTF-8 input, and a character code "
      "page 932 cannot hold is reported, never dropped. Messages go to standard error in UTF-8.",
      "A macro file, or standard input read as one, is at most 16 MiB (far more than any macro whose P-code fits "
      "the 65,536-byte code area); a command file, a scenario and any other file read whole is at most 256 MiB. "
      "A longer input, such as /dev/zero, is refused as soon as the read passes the limit (\"File too large\"). "
      "The program's own macro file (--macro, the debugger's program) must be a file: a FIFO or a device is "
      "refused, naming it.",
      "Output files (--png, --pages, --gif, --image, --junit, ...) replace a regular file in one step, never "
      "leaving it half written; a symbolic link is followed to its file. A character device or a FIFO is written "
      "into and stays what it is (--png /dev/stdout works; --png /dev/null leaves /dev/null alone); a block "
      "device or a socket is refused. A write that fails, standard output's included (a full disk, /dev/full), "
      "fails the command with the reason."};
  page.sections = ProgramFilesSections("qmt");
  page.seeAlso = {"qmtsim(1)"};
  return page;
}

}  // namespace

CommandDoc DescribeApp(const CLI::App& app) {
  CommandDoc doc;
  doc.name = app.get_name();
  doc.summary = app.get_description();
  doc.description = app.get_footer();
  for (const CLI::Option* o : app.get_options()) {
    if (o->get_group().empty()) continue;
    (o->get_positional() ? doc.positionals : doc.options).push_back(DescribeOption(*o));
  }
  for (const CLI::App* sub : app.get_subcommands({})) {
    if (sub->get_group().empty()) continue;
    doc.subcommands.push_back(DescribeApp(*sub));
  }
  return doc;
}

void AddGenerateDocOption(CLI::App& app) {
  app.add_option_function<std::string>(
         "--generate-doc",
         [&app](const std::string& kind) {
           std::string text;
           if (kind == "man") text = WriteManPage(QmtManual(app));
           else if (kind == "bash") text = WriteBashCompletion(DescribeApp(app));
           else if (kind == "zsh") text = WriteZshCompletion(DescribeApp(app));
           std::fwrite(text.data(), 1, text.size(), stdout);
           throw CLI::Success();
         })
      ->check(CLI::IsMember({"man", "bash", "zsh"}))
      ->group("");
}

}  // namespace qmt::cli
