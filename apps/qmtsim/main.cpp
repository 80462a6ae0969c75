// qmtsim: the QMT3308 simulator window.  The display page, the keys, sliders
// and sensor panel of the pump panel, and the macro running behind them.
#include <QApplication>
#include <QCheckBox>
#include <QSlider>
#include <QCommandLineParser>
#include <QEvent>
#include <QFileInfo>
#include <QIcon>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <Qsci/qsciscintilla.h>
#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <memory>

#include "device/qmt3308.h"
#include "host/config_files.h"
#include "host/editor_recovery.h"
#include "host/simulator.h"
#include "link/stream_server.h"
#include "support/encoding.h"
#include "ui/display_view.h"
#include "ui/main_window.h"
#include "ui/reference_pane.h"
#include "ui/scr_tool.h"
#include "ui/scenario_session.h"
#include "ui/sensor_panel.h"
#include "ui/simulator_app.h"
#include "ui/window_font.h"
#include "ui/window_settings.h"
#include "ui/about_box.h"
#include "ui/macro_editor.h"
#include "ui/wire_listener.h"
#include "options.h"
#include "support/version.h"

namespace {

bool HaveDisplay() {
  for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* s = std::getenv(v);
    if (s && *s) return true;
  }
  return false;
}

// Scripted inputs for unattended screenshots and tests: "event:LABEL",
// "slider:NAME=V", "switch:NAME=0|1", "show:sensors", "show:tool", "f1:LINE:COLUMN", "zoom:N",
// "break:LINE" (a breakpoint in the macro editor, lines from 1),
// "newline:LINE" (an empty line typed before LINE, not compiled) and
// "close:main", applied in order through the controls once the macro has
// started.
void ApplyStep(qmt::TFDemo& window, qmt::TfSens& sensors, qmt::TfScrTool& tool, const QString& step) {
  QString kind = step.section(':', 0, 0);
  QString arg = step.section(':', 1);
  std::string label, error;
  if (kind == "event" && qmt::TryUtf8ToCp932(arg.toStdString(), label, error)) {
    window.Model().ReadInputs();
    window.Model().RaiseEvent(label);
    return;
  }
  if (kind == "show" && arg == "sensors") {
    sensors.show();
    return;
  }
  if (kind == "show" && arg == "tool") {
    tool.show();
    return;
  }
  if (kind == "zoom") {
    window.SetZoom(arg.toInt());
    return;
  }
  if (kind == "break") {
    tool.Editor1->ToggleBreakpoint(arg.toInt() - 1);
    return;
  }
  if (kind == "f1") {
    // F1 in the macro editor at LINE:COLUMN, both counted from 1.
    const int line = arg.section(':', 0, 0).toInt() - 1;
    const int column = arg.section(':', 1, 1).toInt() - 1;
    tool.PageControl1->setCurrentWidget(tool.TabMacro);
    tool.Editor1->Text()->setCursorPosition(line, column);
    tool.Editor1->Text()->ensureLineVisible(line);
    QString text = tool.Editor1->Text()->text(line);
    while (text.endsWith(u'\n') || text.endsWith(u'\r')) text.chop(1);
    tool.ReferenceDock->ShowAt(text, column);
    return;
  }
  if (kind == "newline") {
    tool.Editor1->Text()->insertAt("\r\n", arg.toInt() - 1, 0);
    return;
  }
  if (kind == "close" && arg == "main") {
    window.close();
    return;
  }
  QString name = arg.section('=', 0, 0);
  int value = arg.section('=', 1).toInt();
  if (kind == "slider") {
    if (auto s = qmt::Simulator::SliderByName(name.toStdString())) window.Track(*s)->setValue(value);
  } else if (kind == "switch") {
    int i = qmt::Simulator::SwitchByCaption(name.toStdString());
    if (i >= 0) sensors.Box(i)->setChecked(value != 0);
  }
}

// SIGINT, SIGTERM and SIGHUP (the terminal it was started from closed)
// while listening end the program as closing the window does, so the
// pseudo-terminal's link is removed.
volatile std::sig_atomic_t stopSignal = 0;
void OnStopSignal(int sig) { stopSignal = sig; }

// For start-up timing: quits once the display has been painted for the first
// time, or with status 1 when no frame comes within ten seconds.
class QuitAfterFirstPaint : public QObject {
 public:
  explicit QuitAfterFirstPaint(QWidget& display) : QObject(&display) {
    display.installEventFilter(this);
    QTimer::singleShot(10000, this, [] {
      std::fputs("qmtsim: no frame painted within 10 s\n", stderr);
      QCoreApplication::exit(1);
    });
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    // The paint itself goes on; the quit waits until it is done.
    if (event->type() == QEvent::Paint && !seen_) {
      seen_ = true;
      QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool seen_ = false;
};

// The theme's icon when the program is installed, else the one built in.
QIcon ProgramIcon() {
  QIcon builtIn;
  for (int size : {16, 32, 48, 64, 128, 256}) builtIn.addFile(QString(":/icons/qmtsim-%1.png").arg(size));
  return QIcon::fromTheme("qmtsim", builtIn);
}

}  // namespace

int main(int argc, char** argv) {
  const qmt::SimulatorCommandLine options;
  QCommandLineParser parser;
  options.SetUp(parser);
  if (qmt::WantsTextOnly(argc, argv)) {
    // Help, version and the documents need no display.  --help-all also
    // lists the options of Qt's windowing, which only a GUI application
    // adds: one on the offscreen platform, which needs no display either.
    std::unique_ptr<QCoreApplication> app;
    if (qmt::WantsQtOptions(argc, argv)) {
      qputenv("QT_QPA_PLATFORM", "offscreen");
      app = std::make_unique<QApplication>(argc, argv);
    } else {
      app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication& core = *app;
    QCoreApplication::setApplicationName("qmtsim");
    QCoreApplication::setApplicationVersion(QString::fromStdString(qmt::VersionLine("qmtsim")).section(' ', 1));
    parser.process(core);
    if (parser.isSet(options.generateDoc)) {
      const QString kind = parser.value(options.generateDoc);
      if (kind != "man" && kind != "bash" && kind != "zsh") {
        std::fprintf(stderr, "qmtsim: --generate-doc takes man, bash or zsh, not %s\n", kind.toLocal8Bit().constData());
        return 1;
      }
      std::string text = options.Document(kind);
      std::fwrite(text.data(), 1, text.size(), stdout);
    }
    return 0;
  }
  if (!HaveDisplay()) {
    std::fputs("qmtsim: no display available (DISPLAY and WAYLAND_DISPLAY are unset); "
               "use `qmt run` to run macros without a window\n",
               stderr);
    return 1;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("qmtsim");
  QApplication::setOrganizationName("qmt3308");
  QApplication::setApplicationVersion(QString::fromStdString(qmt::VersionLine("qmtsim")).section(' ', 1));
  QApplication::setDesktopFileName("qmtsim");
  QApplication::setFont(qmt::JapaneseGothicFont(12));
  // The windows speak Japanese; so do Qt's own buttons and dialogs.
  qmt::InstallJapaneseTranslation(app);
  parser.process(app);
  QString macroError;
  const QString macroFile = options.MacroFile(parser, macroError);
  if (!macroError.isEmpty()) {
    std::fprintf(stderr, "%s\n", macroError.toLocal8Bit().constData());
    return 1;
  }

  qmt::SimulatorOptions simOptions;
  simOptions.macroFile = macroFile.toStdString();
  simOptions.port = parser.value(options.port).toStdString();
  qmt::SimulatorApp program(qmt::LocateConfigFiles(qmt::ExecutablePath(argv[0]), simOptions.macroFile), simOptions);
  qmt::TFDemo& window = program.Window();
  qmt::TfSens& sensors = program.Sensors();
  qmt::TfScrTool& tool = program.Tool();

  std::unique_ptr<qmt::WireListener> listener;
  if (parser.isSet(options.listen)) {
    std::string error;
    auto server = qmt::StreamServer::Listen(parser.value(options.listen).toStdString(), error);
    if (!server) {
      std::fprintf(stderr, "qmtsim: %s\n", error.c_str());
      return 1;
    }
    listener = std::make_unique<qmt::WireListener>(std::move(server), qmt::Device(), parser.isSet(options.replies), &tool);
    listener->report = [](const std::string& text) { std::fprintf(stderr, "qmtsim: %s\n", text.c_str()); };
    tool.addDockWidget(Qt::BottomDockWidgetArea, listener->LogDock());
    // Caught before the address is out: a client that reads it may signal.
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
    std::signal(SIGHUP, OnStopSignal);
    std::printf("%s\n", listener->Address().c_str());
    std::fflush(stdout);
    auto* stopCheck = new QTimer(&window);
    QObject::connect(stopCheck, &QTimer::timeout, &app, [] {
      if (stopSignal != 0) QApplication::quit();
    });
    stopCheck->start(50);
  }

  qmt::ScenarioSession& scenarios = program.Scenarios();
  int replayStatus = 0;
  QObject::connect(&scenarios, &qmt::ScenarioSession::finished, &window, [&](bool passed, const QString& line) {
    std::fprintf(stdout, "%s\n", line.toStdString().c_str());
    std::fflush(stdout);
    replayStatus = passed ? 0 : 1;
    if (parser.isSet(options.quit)) app.exit(replayStatus);
    window.statusBar()->showMessage(line);
  });

  if (parser.isSet(options.quitAfterFirstPaint)) new QuitAfterFirstPaint(*window.PaintBox1());
  window.show();

  QApplication::setWindowIcon(ProgramIcon());
  // The window's size, position, zoom and recent files; a scripted
  // screenshot neither reads nor changes them.
  QSettings store;
  qmt::WindowSettings settings(store);
  settings.AddFileMenu(window);
  qmt::AddHelpMenu(window);
  qmt::AddHelpMenu(tool);
  if (!parser.isSet(options.screenshot)) {
    settings.Restore(window);
    if (!macroFile.isEmpty() && QFileInfo::exists(macroFile)) settings.AddRecentFile(macroFile);
    window.fileOpened = [&settings](const QString& path) { settings.AddRecentFile(path); };
    settings.SaveOnClose(window);
  }

  if (parser.isSet(options.scenario)) {
    QString file = parser.value(options.scenario);
    bool fast = parser.isSet(options.fast);
    QTimer::singleShot(0, &window, [&, file, fast] {
      QString error;
      if (!scenarios.StartReplay(file, fast, &error)) {
        std::fprintf(stderr, "qmtsim: %s\n", error.toStdString().c_str());
        if (parser.isSet(options.quit)) app.exit(2);
        if (window.showMessage) window.showMessage(error);
      }
    });
  }

  // Let the start-up run and a few ticks happen, apply the steps, let the
  // gauges catch up, then take the picture.
  const QStringList steps = parser.values(options.step);
  if (!steps.isEmpty()) {
    QTimer::singleShot(300, &window, [&, steps] {
      for (const QString& s : steps) ApplyStep(window, sensors, tool, s);
    });
  }

  if (!parser.isSet(options.screenshot)) {
    // The editor's text survives a crash: kept aside while modified, offered
    // back once the windows are up.
    tool.EnableRecovery(qmt::RecoveryFilePath(program.Files().macroFile, qmt::UserConfigDir()));
    QTimer::singleShot(0, &tool, [&tool] { tool.OfferRecovery(); });
  }
  if (parser.isSet(options.screenshot)) {
    QString file = parser.value(options.screenshot);
    QTimer::singleShot(1200, &window, [&, file] {
      window.grab().save(file);
      if (sensors.isVisible()) sensors.grab().save(QFileInfo(file).path() + "/" + QFileInfo(file).completeBaseName() + "-sensors.png");
      if (tool.isVisible()) tool.grab().save(QFileInfo(file).path() + "/" + QFileInfo(file).completeBaseName() + "-tool.png");
      const std::string message = tool.Message();
      if (!message.empty() && message != "fScrTool") std::fprintf(stderr, "%s\n", qmt::Cp932ToUtf8(message).c_str());
      app.quit();
    });
  }
  return app.exec();
}
