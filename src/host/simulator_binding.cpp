#include "host/simulator_binding.h"

#include "device/qmt3308.h"

namespace qmt {

void RunnerPort::SetHandlers(Handler message, Handler line) {
  runner_.onMessage = std::move(message);
  if (line) {
    runner_.onLine = [line = std::move(line)](std::string_view l) { line(std::string(l)); };
  } else {
    runner_.onLine = nullptr;
  }
}

void RunnerPort::RunFrom(std::optional<std::string_view> label) {
  if (label)
    runner_.RunFrom(*label);
  else
    runner_.RunFrom();
}

std::uint8_t* DevicePort::DisplayPagePixels() { return Device().DisplayPageBytes(); }

void DevicePort::DisplayPageChanged() {
  TQMT3308& device = Device();
  device.NotifyPageChanged(device.DisplayPage());
}

}  // namespace qmt
