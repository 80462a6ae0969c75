// qmtsim: the QMT3308 simulator window.  The display page, the keys, sliders
// and sensor panel of the pump panel, and the macro running behind them.
#include <QApplication>
#include <QCheckBox>
#include <QSlider>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QIcon>
#include <QSettings>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "device/qmt3308.h"
#include "host/config_files.h"
#include "host/data_module.h"
#include "host/line_tracer.h"
#include "host/simulator.h"
#include "host/simulator_binding.h"
#include "link/device_link.h"
#include "runtime/runner.h"
#include "support/encoding.h"
#include "ui/display_view.h"
#include "ui/main_window.h"
#include "ui/scr_tool.h"
#include "ui/scr_tool_band.h"
#include "ui/scr_tool_binding.h"
#include "ui/sensor_panel.h"
#include "ui/window_font.h"
#include "ui/window_settings.h"
#include "ui/about_box.h"
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

// Scripted inputs for unattended screenshots: "event:LABEL", "slider:NAME=V",
// "switch:NAME=0|1" and "show:sensors", applied in order through the controls
// once the macro has started.
void ApplyStep(qmt::TFDemo& window, qmt::TfSens& sensors, const QString& step) {
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
  QString name = arg.section('=', 0, 0);
  int value = arg.section('=', 1).toInt();
  if (kind == "slider") {
    if (auto s = qmt::Simulator::SliderByName(name.toStdString())) window.Track(*s)->setValue(value);
  } else if (kind == "switch") {
    int i = qmt::Simulator::SwitchByCaption(name.toStdString());
    if (i >= 0) sensors.Box(i)->setChecked(value != 0);
  }
}

// Host messages (file paths, port problems) are UTF-8; the message window
// takes code page 932.  A character code page 932 lacks is shown as "?".
std::string HostMessage(const std::string& utf8) {
  std::string cp932, error;
  if (qmt::TryUtf8ToCp932(utf8, cp932, error)) return cp932;
  std::string ascii;
  for (unsigned char c : utf8) ascii += c < 0x80 ? static_cast<char>(c) : '?';
  return ascii;
}

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
    // Help, version and the documents need no display.
    QCoreApplication core(argc, argv);
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
  QApplication::setWindowIcon(ProgramIcon());
  QApplication::setFont(qmt::JapaneseGothicFont(12));
  parser.process(app);
  QString macroError;
  const QString macroFile = options.MacroFile(parser, macroError);
  if (!macroError.isEmpty()) {
    std::fprintf(stderr, "%s\n", macroError.toLocal8Bit().constData());
    return 1;
  }
  const auto& portOpt = options.port;
  const auto& shotOpt = options.screenshot;
  const auto& stepOpt = options.step;

  qmt::TQMT3308& device = qmt::Device();
  qmt::TRunner runner;
  qmt::RunnerPort runnerPort(runner);
  qmt::ConfigFiles files =
      qmt::LocateConfigFiles(qmt::ExecutablePath(argv[0]), macroFile.toStdString());
  // The tool window comes before the data module, which reports to it.
  qmt::TdmToolHost toolHost(files);
  qmt::TfScrTool tool(toolHost);
  qmt::ToolWindowMessages messages(tool);
  qmt::TDM dm(tool);
  toolHost.SetDataModule(&dm);
  if (!files.note.empty()) messages.ShowRunMessage(HostMessage(files.note));
  if (!macroFile.isEmpty() && !QFileInfo::exists(macroFile))
    messages.ShowRunMessage(HostMessage(macroFile.toStdString() +
                                        " does not exist yet: the built-in macro runs, and saving the macro writes it"));
  std::string loadMessage = dm.DataModuleCreate(files.macroFile);
  if (!loadMessage.empty()) messages.ShowRunMessage(HostMessage(loadMessage));
  qmt::DataModuleMacroSource macro(dm);
  std::string linkMessage;
  std::unique_ptr<qmt::DeviceLink> link = qmt::OpenLink(parser.value(portOpt).toStdString(), linkMessage);
  qmt::LinkPort linkPort(*link);
  qmt::DevicePort display;
  qmt::Simulator sim({&runnerPort, &macro, &messages, &linkPort, &display});
  toolHost.SetSimulator(&sim);
  toolHost.SetLink(&linkPort);

  qmt::TFDemo window(sim, device);
  qmt::TfSens sensors(sim, &window);
  window.showSensorPanel = [&] {
    sensors.show();
    sensors.raise();
  };
  window.showToolWindow = [&] {
    tool.show();
    tool.raise();
    tool.activateWindow();
  };
  qmt::AttachLineTracer(*window.PaintBox1(), tool);
  // The mouse on the display drives the line tracer; it writes its line
  // calls to the tool window, which this program does not open yet.
  qmt::LineTracer tracer;
  QObject::connect(window.PaintBox1(), &qmt::DisplayView::DeviceMouse, &window,
                   [&](int kind, int x, int y, Qt::KeyboardModifiers, Qt::MouseButtons buttons) {
                     qmt::MouseButtons held{(buttons & Qt::LeftButton) != 0, (buttons & Qt::RightButton) != 0};
                     tracer.TraceLine(held, x, y, static_cast<qmt::MouseEventKind>(kind), *window.PaintBox1(),
                                      nullptr);
                   });
  if (!linkMessage.empty()) messages.ShowRunMessage(HostMessage(linkMessage));

  // The window's size, position, zoom and recent files; a scripted
  // screenshot neither reads nor changes them.
  QSettings store;
  qmt::WindowSettings settings(store);
  settings.AddFileMenu(window);
  qmt::AddHelpMenu(window);
  if (!parser.isSet(shotOpt)) {
    settings.Restore(window);
    if (!macroFile.isEmpty() && QFileInfo::exists(macroFile)) settings.AddRecentFile(macroFile);
    window.fileOpened = [&settings](const QString& path) { settings.AddRecentFile(path); };
    settings.SaveOnClose(window);
  }

  window.show();

  if (parser.isSet(shotOpt)) {
    QString file = parser.value(shotOpt);
    QStringList steps = parser.values(stepOpt);
    // Let the start-up run and a few ticks happen, apply the steps, let the
    // gauges catch up, then take the picture.
    QTimer::singleShot(300, &window, [&, steps] {
      for (const QString& s : steps) ApplyStep(window, sensors, s);
    });
    QTimer::singleShot(1200, &window, [&, file] {
      window.grab().save(file);
      if (sensors.isVisible()) sensors.grab().save(QFileInfo(file).path() + "/" + QFileInfo(file).completeBaseName() + "-sensors.png");
      if (tool.windowTitle() != "fScrTool") std::fprintf(stderr, "%s\n", tool.windowTitle().toStdString().c_str());
      app.quit();
    });
  }
  return app.exec();
}
