#include "ui/simulator_app.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <filesystem>

#include "device/qmt3308.h"
#include "support/encoding.h"
#include "ui/debug_panel.h"
#include "ui/display_view.h"
#include "ui/file_messages.h"
#include "ui/link_messages.h"

namespace qmt {

namespace {

// The message line takes code page 932; a character it lacks (in a file
// name, say) is shown as "?".
std::string ToCp932(const QString& text) {
  std::string cp932, error;
  if (TryUtf8ToCp932(text.toStdString(), cp932, error)) return cp932;
  QString plain;
  for (QChar c : text) {
    std::string one;
    plain += TryUtf8ToCp932(QString(c).toStdString(), one, error) ? c : QChar('?');
  }
  std::string out;
  TryUtf8ToCp932(plain.toStdString(), out, error);
  return out;
}

// The window's sentence for a file it could not use at start.
QString StartProblemText(const ProgramFileProblem& p) {
  if (p.kind == ProgramFileProblem::Kind::kMissing)
    return QString::fromUtf8("%1 はまだありません。組み込みのマクロで動き、保存するとこのファイルに書き込みます")
        .arg(QString::fromStdString(p.path));
  const QString why = p.kind == ProgramFileProblem::Kind::kEncoding
                          ? QString::fromUtf8(p.reason)
                          : FileErrorText(FileError(p.reason, p.path, p.op, p.code));
  return why + (p.file == ProgramFileProblem::File::kMacro ? QString::fromUtf8("。組み込みのマクロを使います")
                                                           : QString::fromUtf8("。組み込みの色の一覧を使います"));
}

}  // namespace

SimulatorApp::SimulatorApp(const ConfigFiles& files, const SimulatorOptions& options)
    : files_(files),
      options_(options),
      start_(ReadProgramMacro(files, options.macroFile, false, MacroUse::kEdit)),
      link_(OpenLink(options.port, linkProblem_)),
      linkPort_(*link_),
      sim_(Simulator::Ports{&tap_, &macro_, &messages_, &linkPort_, &display_}),
      window_(sim_, Device()),
      sensors_(sim_, &window_) {
  toolHost_.SetDataModule(&dm_);
  toolHost_.SetSimulator(&sim_);
  // The debugger sits on the main runner from the start: without
  // breakpoints it costs nothing.
  InstallDebugPanel(tool_, runner_, sim_, dm_);
  toolHost_.SetLink(&linkPort_);
  // Closing the main window ends the program, whatever else is open.
  tool_.setAttribute(Qt::WA_QuitOnClose, false);

  ReportFiles();
  LoadMacro();
  if (linkProblem_) ShowStartMessage(LinkProblemMessage(linkProblem_));

  window_.showSensorPanel = [this] {
    sensors_.show();
    sensors_.raise();
  };
  window_.showToolWindow = [this] {
    tool_.show();
    tool_.raise();
    tool_.activateWindow();
  };
  // The mouse on the display drives the tool window's line tracer, the one
  // tracer of the program.
  band_ = AttachLineTracer(*window_.PaintBox1(), tool_);
  scenarios_ = std::make_unique<ScenarioSession>(window_, sensors_, Device(), tap_,
                                                 [this] { ResetForScenario(runner_, Device(), sim_); });
  // The review runs scenarios against the macro the window runs.
  scenarios_->SetMacroSource([this] {
    CompiledMacro m{dm_.Script1.Code(), {}};
    dm_.Script1.ListLabels(m.labels);
    return m;
  });
}

void SimulatorApp::ReportFiles() {
  if (files_.configDir.empty()) return;
  // An installed program always keeps its files there: it says so at its
  // first start only.
  if (files_.installed && !files_.firstStart) return;
  const QString builtIn = QString::fromUtf8("組み込み");
  const QString reason = files_.installed
                            ? QString::fromUtf8("プログラムが %3 にインストールされているため")
                            : QString::fromUtf8("プログラムのフォルダ %3 に書き込めないため");
  const QString text =
      (QString::fromUtf8("使用中のファイル: マクロ %1、色 %2（") + reason + QString::fromUtf8("、保存先は %4）"))
          .arg(start_.macroFile.empty() ? builtIn : QString::fromStdString(start_.macroFile),
               start_.colorFile.empty() ? builtIn : QString::fromStdString(start_.colorFile),
               QString::fromStdString(std::filesystem::path(files_.shippedColorFile).parent_path().string()),
               QString::fromStdString(files_.configDir));
  tool_.SetMessage(ToCp932(text));
}

void SimulatorApp::LoadMacro() {
  dm_.DataModuleCreate();
  if (start_.macro) dm_.Macro.Items().Assign(*start_.macro);
  for (const ProgramFileProblem& p : start_.problems) {
    // A file the first save will make is no problem: the message line only.
    if (p.kind == ProgramFileProblem::Kind::kMissing)
      tool_.SetMessage(ToCp932(StartProblemText(p)));
    else
      ShowStartMessage(StartProblemText(p));
  }
}

void SimulatorApp::ShowStartMessage(const QString& message) { messages_.ShowRunMessage(ToCp932(message)); }

bool InstallJapaneseTranslation(QCoreApplication& app) {
  auto* translator = new QTranslator(&app);
  if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), "qtbase", "_",
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  QCoreApplication::installTranslator(translator);
  QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
  return true;
}

}  // namespace qmt
