// The simulator window's frame cost: a slider moves, the model ticks until
// the gauge it marked has been drawn on the device, and Qt repaints the
// display widget.  The counters show how much of the widget each frame
// repaints, which should be the gauge's rectangle, not the whole page.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEvent>
#include <QPaintEvent>
#include <QSlider>

#include "device/qmt3308.h"
#include "host/data_module.h"
#include "host/simulator.h"
#include "host/simulator_binding.h"
#include "link/device_link.h"
#include "runtime/runner.h"
#include "ui/display_view.h"
#include "ui/main_window.h"

namespace {

// Counts the paint events a widget receives and the pixels they cover.
class PaintMeter : public QObject {
 public:
  explicit PaintMeter(QWidget& widget) { widget.installEventFilter(this); }
  std::int64_t paints = 0;
  std::int64_t pixels = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      ++paints;
      for (const QRect& r : static_cast<QPaintEvent*>(event)->region()) pixels += std::int64_t(r.width()) * r.height();
    }
    return QObject::eventFilter(watched, event);
  }
};

// The real model over the built-in macro behind the simulator window, as
// qmtsim puts them together without a device on the port, with the window's
// own timer stopped: ticks come only from the benchmark.
struct Window {
  qmt::HeadlessToolWindow tool;
  qmt::TDM dm{tool};
  qmt::DataModuleMacroSource source{dm};
  qmt::TRunner runner;
  qmt::RunnerPort runnerPort{runner};
  std::string linkMessage;
  std::unique_ptr<qmt::DeviceLink> link = qmt::OpenLink("none", linkMessage);
  qmt::LinkPort linkPort{*link};
  qmt::DevicePort display;
  qmt::Simulator sim{{&runnerPort, &source, nullptr, &linkPort, &display}};
  qmt::TFDemo window{sim, qmt::Device()};

  explicit Window(int zoom) {
    window.Timer1().stop();
    window.PaintBox1()->SetZoom(zoom);
    window.adjustSize();
    window.show();  // the first show starts the macro: screen A
    QCoreApplication::processEvents();
  }
};

void BM_Window_SliderToPaint(benchmark::State& state) {
  Window w(static_cast<int>(state.range(0)));
  if (!w.dm.MacroReady()) {
    state.SkipWithError("the built-in macro does not compile");
    return;
  }
  // The rotation gauge is in screen A's left-hand window, which stays in
  // view when the enlarged page scrolls on a small screen.
  QSlider* slider = w.window.Track(qmt::Slider::Rot);
  const std::uint8_t bit = qmt::kGaugeRot;
  PaintMeter meter(*w.window.PaintBox1());
  std::uint64_t clock = 0;
  std::int64_t ticks = 0;
  int value = 300;
  for (auto _ : state) {
    value = 1000 - value;
    slider->setValue(value);
    // The gauges take turns, one per tick.  Each move comes right after the
    // pressure gauge's turn, so it waits all five ticks: the slowest case.
    for (int i = 0; i < 5 && (w.sim.GaugeDirty() & bit); ++i, ++ticks) w.sim.Timer1Timer(clock += 33);
    QCoreApplication::processEvents();
  }
  if (w.sim.GaugeDirty() & bit) state.SkipWithError("the gauge was never drawn");
  if (meter.paints < static_cast<std::int64_t>(state.iterations()))
    state.SkipWithError("a slider move did not repaint the display");
  const auto perIteration = benchmark::Counter::kAvgIterations;
  state.counters["ticks"] = benchmark::Counter(static_cast<double>(ticks), perIteration);
  state.counters["paints"] = benchmark::Counter(static_cast<double>(meter.paints), perIteration);
  state.counters["painted_px"] = benchmark::Counter(static_cast<double>(meter.pixels), perIteration);
  QSize size = w.window.PaintBox1()->size();
  state.counters["widget_px"] = size.width() * size.height();
}
BENCHMARK(BM_Window_SliderToPaint)->ArgName("zoom")->Arg(1)->Arg(3)->Unit(benchmark::kMicrosecond);

}  // namespace
