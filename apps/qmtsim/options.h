// qmtsim's command line, defined once: the parser takes it, and the manual
// page and completions are written from it at build time
// (qmtsim --generate-doc man|bash|zsh).
#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <string>

class QCoreApplication;

namespace qmt {

struct SimulatorCommandLine {
  SimulatorCommandLine();

  QCommandLineOption macro;
  QCommandLineOption port;
  QCommandLineOption listen;
  QCommandLineOption replies;
  QCommandLineOption scenario;
  QCommandLineOption fast;
  QCommandLineOption quit;
  QCommandLineOption screenshot;           // hidden: for scripts and tests
  QCommandLineOption step;                 // hidden
  QCommandLineOption quitAfterFirstPaint;  // hidden: start-up timing
  QCommandLineOption generateDoc;          // hidden

  // Every option above, in the order of the help.
  QList<QCommandLineOption> All() const {
    return {macro, port, listen, replies, scenario, fast, quit, screenshot, step, quitAfterFirstPaint, generateDoc};
  }

  // Sets up `parser` with these options, --help, --version and the FILE
  // argument.
  void SetUp(QCommandLineParser& parser) const;

  // The macro file: FILE or --macro FILE; empty when neither is given.
  // Both at once, or more than one FILE, leave `error` saying so.
  QString MacroFile(const QCommandLineParser& parser, QString& error) const;

  // The manual page or a completion script; `kind` is man, bash or zsh.
  std::string Document(const QString& kind) const;
};

// Whether the command line asks only for text (help, version, a document),
// which needs no display.
bool WantsTextOnly(int argc, char** argv);

// Whether it asks for --help-all, which lists the options of Qt's windowing
// as well: only a GUI application knows those.
bool WantsQtOptions(int argc, char** argv);

}  // namespace qmt
