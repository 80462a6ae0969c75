// links: qmt_runtime qmt_device
// The runner on arbitrary P-code images under the step budget.  The image is
// the input as it stands (header included), so any code start, any operand
// and every built-in id (FUNC 0-12 and beyond) is reachable; the lines the
// built-ins emit run on a device of the fuzzer's own.  The same image is then
// run a second time, as events re-enter a loaded macro with stale stacks.
#include <cstddef>
#include <cstdint>
#include <span>

#include "device/qmt3308.h"
#include "runtime/builtins.h"
#include "runtime/runner.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static qmt::TQMT3308* device = new qmt::TQMT3308;
  static qmt::TRuntimeState* state = new qmt::TRuntimeState;
  qmt::TRunner runner;
  runner.SetDevice(device);
  runner.onMessage = [](const std::string&) {};
  runner.onLine = [](std::string_view) {};
  if (!runner.LoadImage(std::span<const std::uint8_t>(data, size))) return 0;
  runner.Context().state = state;
  runner.labels = {"L=4"};
  runner.RunFrom();
  runner.RunFrom("L");
  return 0;
}
