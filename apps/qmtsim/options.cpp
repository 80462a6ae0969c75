#include "options.h"

#include <algorithm>

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>

#include "host/program_manual.h"
#include "support/command_docs.h"
#include "support/version.h"

namespace qmt {
namespace {

const char* const kFileHelp = "Macro file (code page 932) to open, as --macro FILE.";

// Completion follows the value's name, as qmt's does (SetValueKind).
OptionDoc Describe(const QCommandLineOption& o) {
  OptionDoc doc;
  for (const QString& n : o.names()) doc.names.push_back((n.size() == 1 ? "-" : "--") + n.toStdString());
  doc.valueName = o.valueName().toStdString();
  doc.help = o.description().toStdString();
  SetValueKind(doc, doc.valueName, false);
  return doc;
}

OptionDoc Flag(std::vector<std::string> names, std::string help) {
  OptionDoc doc;
  doc.names = std::move(names);
  doc.help = std::move(help);
  return doc;
}

// The options of `qmtsim --help-all` that are not among `own`: Qt's, which
// no API lists, read from the program's own output.  Lines read
// "  -x, --name <value>  Text", the text going on in deeper-indented lines.
std::vector<OptionDoc> QtOptions(const std::vector<OptionDoc>& own) {
  QProcess child;
  child.start(QCoreApplication::applicationFilePath(), {"--help-all"});
  if (!child.waitForFinished(60000) || child.exitStatus() != QProcess::NormalExit) return {};
  const QStringList lines = QString::fromUtf8(child.readAllStandardOutput()).split('\n');
  static const QRegularExpression head(R"(^  (-\w+, )?(--[\w-]+)( <([^>]+)>)?  +(.*)$)");
  std::vector<OptionDoc> out;
  bool continuing = false;
  for (const QString& line : lines) {
    const QRegularExpressionMatch m = head.match(line);
    if (m.hasMatch()) {
      continuing = false;
      const std::string name = m.captured(2).toStdString();
      const bool known = std::any_of(own.begin(), own.end(), [&](const OptionDoc& o) {
        return std::find(o.names.begin(), o.names.end(), name) != o.names.end();
      });
      if (known) continue;
      OptionDoc doc;
      if (!m.captured(1).isEmpty()) doc.names.push_back(m.captured(1).chopped(2).toStdString());
      doc.names.push_back(name);
      doc.valueName = m.captured(4).toStdString();
      doc.kind = doc.valueName.empty() ? ValueKind::kNone : ValueKind::kText;
      doc.help = m.captured(5).toStdString();
      out.push_back(doc);
      continuing = true;
    } else if (continuing && line.startsWith("      ") && !line.trimmed().isEmpty()) {
      out.back().help += " " + line.trimmed().toStdString();
    } else {
      continuing = false;
    }
  }
  return out;
}

}  // namespace

SimulatorCommandLine::SimulatorCommandLine()
    : macro("macro", "Macro file (code page 932) to run instead of the default.", "FILE"),
      port("port",
           "Port of the real device: none, virtual, ppdev[:DEV], direct[:ADDR], lp:DEV, tcp:HOST:PORT, file:PATH.",
           "PORT"),
      listen("listen",
             "Be the device on the wire as well: execute the lines a client sends to ADDRESS, tcp:[HOST:]PORT "
             "(HOST 127.0.0.1 unless named) or pty[:LINK]; the address is printed on standard output.",
             "ADDRESS"),
      replies("replies", "With --listen: answer each line with \"ok\" or the device's message."),
      scenario("scenario", "Replay a scenario file in the window once the macro has started.", "FILE"),
      fast("fast", "With --scenario: replay as fast as possible instead of at real speed."),
      quit("quit", "With --scenario: quit after the replay, with status 0 when it passed, else 1."),
      screenshot("screenshot", "Save a picture of the window to FILE and quit.", "FILE"),
      step("step", "Scripted input (with or without --screenshot).", "STEP"),
      quitAfterFirstPaint("quit-after-first-paint", "Quit once the display has been painted (start-up timing)."),
      generateDoc("generate-doc", "Print the manual page or a completion script.", "man|bash|zsh") {
  for (QCommandLineOption* o : {&screenshot, &step, &quitAfterFirstPaint, &generateDoc})
    o->setFlags(QCommandLineOption::HiddenFromHelp);
}

void SimulatorCommandLine::SetUp(QCommandLineParser& parser) const {
  parser.setApplicationDescription("The QMT3308 simulator window");
  parser.addHelpOption();
  parser.addVersionOption();
  for (const QCommandLineOption& o : All()) parser.addOption(o);
  parser.addPositionalArgument("FILE", kFileHelp, "[FILE]");
}

QString SimulatorCommandLine::MacroFile(const QCommandLineParser& parser, QString& error) const {
  const QStringList files = parser.positionalArguments();
  if (files.size() > 1) {
    error = "qmtsim: one macro file at most, not " + files.join(' ');
    return {};
  }
  if (!files.isEmpty() && parser.isSet(macro)) {
    error = "qmtsim: give the macro file either as FILE or with --macro, not both";
    return {};
  }
  return files.isEmpty() ? parser.value(macro) : files.first();
}

std::string SimulatorCommandLine::Document(const QString& kind) const {
  CommandDoc doc;
  doc.name = "qmtsim";
  doc.summary = "the QMT3308 simulator window";
  doc.options = {Flag({"-h", "--help"}, "Print the options and exit."),
                 Flag({"--help-all"}, "Print the options, Qt's included, and exit."),
                 Flag({"-v", "--version"}, "Print the version and exit.")};
  for (const QCommandLineOption& o : All())
    if (!(o.flags() & QCommandLineOption::HiddenFromHelp)) doc.options.push_back(Describe(o));
  OptionDoc file;
  file.names = {"FILE"};
  file.valueName = "FILE";
  file.kind = ValueKind::kFile;
  file.help = kFileHelp;
  doc.positionals = {file};
  if (kind == "bash") return WriteBashCompletion(doc);
  if (kind == "zsh") return WriteZshCompletion(doc);

  ManPage page;
  page.program = doc;
  page.date = ManPageDate();
  page.version = VersionLine("qmtsim");
  page.overview = {
      "qmtsim shows the display of a simulated QMT3308, a 640 x 480, 8-bit-colour display device with four video "
      "pages built into a pump control panel, with the panel around it: the keys, the sliders for the analogue "
      "inputs, the sensor panel's switches and the 33 ms timer. Every input raises an event of the macro, which "
      "the program compiles into P-code and runs; the command lines it sends are drawn on the emulated device "
      "and, when the check box for the real device is ticked, sent to the device on the parallel port.",
      "The tool window (the button \"色(デバッグ)\") holds the macro editor with compile-and-go, the command test "
      "page, the P-code listing, the label, variable and colour lists, the palette editor, the video-page files, "
      "the bitmap converter and the line tracer.",
      "Files dropped on the window: .bmp, .jpg and .jpeg pictures are drawn on the display page in the nearest "
      "palette colours; a .txt file replaces the macro and restarts it. The window keeps its size, position, zoom "
      "and the files opened last between starts; the File menu lists those files.",
      "Without a display qmtsim says so and exits; qmt(1) runs macros without a window."};
  page.sections = ProgramFilesSections("qmtsim");
  ManSection qt;
  qt.title = "Qt options";
  qt.paragraphs = {"The window also takes the options of Qt, the toolkit it is built with, which "
                   "qmtsim --help-all lists; some of them only on some platforms."};
  qt.options = QtOptions(doc.options);
  if (!qt.options.empty()) page.sections.insert(page.sections.begin(), qt);
  page.seeAlso = {"qmt(1)"};
  return WriteManPage(page);
}

bool WantsTextOnly(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-h" || a == "--help" || a == "--help-all" || a == "-v" || a == "--version" ||
        a.starts_with("--generate-doc"))
      return true;
  }
  return false;
}

bool WantsQtOptions(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == "--help-all") return true;
  return false;
}

}  // namespace qmt
