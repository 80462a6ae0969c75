// qmtsim: the QMT3308 simulator window.  The display page, the keys, sliders
// and sensor panel of the pump panel, and the macro running behind them.
#include <QApplication>
#include <QCheckBox>
#include <QSlider>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "device/qmt3308.h"
#include "host/config_files.h"
#include "host/data_module.h"
#include "host/editor_recovery.h"
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

}  // namespace

int main(int argc, char** argv) {
  if (!HaveDisplay()) {
    std::fputs("qmtsim: no display available (DISPLAY and WAYLAND_DISPLAY are unset); "
               "use `qmt run` to run macros without a window\n",
               stderr);
    return 1;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("qmtsim");
  QApplication::setFont(qmt::JapaneseGothicFont(12));

  QCommandLineParser parser;
  parser.setApplicationDescription("The QMT3308 simulator window");
  parser.addHelpOption();
  QCommandLineOption macroOpt("macro", "Macro file (code page 932) to run instead of the default.", "FILE");
  QCommandLineOption portOpt("port", "Port of the real device: none, virtual, ppdev[:DEV], direct[:ADDR].",
                             "PORT");
  QCommandLineOption shotOpt("screenshot", "Save a picture of the window to FILE and quit.", "FILE");
  shotOpt.setFlags(QCommandLineOption::HiddenFromHelp);
  QCommandLineOption stepOpt("step", "Scripted input before --screenshot.", "STEP");
  stepOpt.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(macroOpt);
  parser.addOption(portOpt);
  parser.addOption(shotOpt);
  parser.addOption(stepOpt);
  parser.process(app);

  qmt::TQMT3308& device = qmt::Device();
  qmt::TRunner runner;
  qmt::RunnerPort runnerPort(runner);
  qmt::ConfigFiles files =
      qmt::LocateConfigFiles(qmt::ExecutablePath(argv[0]), parser.value(macroOpt).toStdString());
  // The tool window comes before the data module, which reports to it.
  qmt::TdmToolHost toolHost(files);
  qmt::TfScrTool tool(toolHost);
  qmt::ToolWindowMessages messages(tool);
  qmt::TDM dm(tool);
  toolHost.SetDataModule(&dm);
  if (!files.note.empty()) messages.ShowRunMessage(HostMessage(files.note));
  if (parser.isSet(macroOpt) && !QFileInfo::exists(parser.value(macroOpt)))
    messages.ShowRunMessage(HostMessage(parser.value(macroOpt).toStdString() +
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

  window.show();

  if (!parser.isSet(shotOpt)) {
    // The editor's text survives a crash: kept aside while modified, offered
    // back once the windows are up.
    tool.EnableRecovery(qmt::RecoveryFilePath(files.macroFile, qmt::UserConfigDir()));
    QTimer::singleShot(0, &tool, [&tool] { tool.OfferRecovery(); });
  }

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
