// qmt_ui_bench: the windows' benchmarks.  The QApplication lives for the
// whole run; without a platform chosen by the user it is the offscreen one,
// so the figures do not depend on a display server.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "ui/window_font.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setFont(qmt::JapaneseGothicFont(12));
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
