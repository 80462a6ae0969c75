// The simulator program put together: the data module, the windows, the
// runner, the port link and the line tracer, wired as start-up wires them.
// qmtsim's main builds one of these; tests build it too, so that they see
// the program as the user does.
#pragma once

#include <QString>
#include <memory>
#include <string>

#include "host/config_files.h"
#include "host/data_module.h"
#include "host/program_macro.h"
#include "host/scenario_machine.h"
#include "host/simulator.h"
#include "host/simulator_binding.h"
#include "link/device_link.h"
#include "runtime/runner.h"
#include "ui/main_window.h"
#include "ui/scenario_session.h"
#include "ui/scr_tool.h"
#include "ui/scr_tool_band.h"
#include "ui/scr_tool_binding.h"
#include "ui/sensor_panel.h"

class QCoreApplication;

namespace qmt {

struct SimulatorOptions {
  std::string macroFile;  // --macro; empty: the program's own macro file
  std::string port;       // --port
};

class SimulatorApp {
 public:
  // `files` says where the macro and colour files live (LocateConfigFiles).
  SimulatorApp(const ConfigFiles& files, const SimulatorOptions& options);

  TFDemo& Window() { return window_; }
  TfScrTool& Tool() { return tool_; }
  TfSens& Sensors() { return sensors_; }
  TDM& DataModule() { return dm_; }
  RubberBand& Band() { return *band_; }
  ScenarioSession& Scenarios() { return *scenarios_; }
  const ConfigFiles& Files() const { return files_; }

 private:
  // Says at start which files are in use when they are not beside the
  // program, on the message line, without bringing the tool window up.
  void ReportFiles();
  void LoadMacro();
  void ShowStartMessage(const QString& message);

  ConfigFiles files_;
  SimulatorOptions options_;
  // The macro and colour files as start reads them, before the windows.
  ProgramMacroSource start_;
  TRunner runner_;
  RunnerPort runnerPort_{runner_};
  // Scenarios read the lines and messages of the main runner through a tap.
  ScenarioTap tap_{runnerPort_};
  // The tool window comes before the data module, which reports to it.
  TdmToolHost toolHost_{files_, start_.colors};
  TfScrTool tool_{toolHost_};
  ToolWindowMessages messages_{tool_};
  TDM dm_{tool_};
  DataModuleMacroSource macro_{dm_};
  LinkProblem linkProblem_;
  std::unique_ptr<DeviceLink> link_;
  LinkPort linkPort_;
  DevicePort display_;
  Simulator sim_;
  TFDemo window_;
  TfSens sensors_;
  RubberBand* band_ = nullptr;
  std::unique_ptr<ScenarioSession> scenarios_;
};

// Qt's own texts (standard buttons, file dialogs) in Japanese, from Qt's
// translations.  False when the translation is not installed.
bool InstallJapaneseTranslation(QCoreApplication& app);

}  // namespace qmt
