// qmt send: command lines to the real device (or the virtual one), each as
// the link sends it: byte by byte with the handshake, then a carriage
// return.
#include <memory>
#include <string>

#include "command.h"
#include "device/escape.h"
#include "link_setup.h"
#include "support/file_io.h"

namespace qmt::cli {
namespace {

static Command reg(40, [](CLI::App& app) {
  auto* sub = app.add_subcommand(
      "send",
      "Send command lines (one a line, %hh for a raw byte) to the device on the port; "
      "stops at the first line the device does not take");
  auto file = std::make_shared<std::string>("-");
  auto port = std::make_shared<std::string>();
  auto pages = std::make_shared<std::string>();
  auto utf8 = std::make_shared<bool>(false);
  sub->add_option("file", *file, "File of command lines, '-' for standard input")
      ->capture_default_str();
  sub->add_option("--port", *port,
                  "none, virtual, ppdev[:/dev/parportN], direct[:0x378], lp:/dev/usb/lp0 (a printer-class "
                  "device, such as a USB-to-parallel cable), tcp:HOST:PORT (qmt serve, qmtsim --listen or a "
                  "network adapter) or file:PATH "
                  "(default: QMT_PORT, else /dev/parport0 when it can be claimed, else none)");
  sub->add_option("--device-pages", *pages,
                  "With --port virtual: save the virtual device's pages as DIR/VRAM0.bmp ... VRAM3.bmp")
      ->option_text("DIR");
  sub->add_flag("--utf8", *utf8, "The input is UTF-8 rather than code page 932");
  return [=]() -> int {
    std::string text = ReadInput(*file, *utf8, kReadLimit);
    LinkSetup setup = OpenCliLink(*port);
    if (!pages->empty() && !setup.device) {
      PrintError("qmt send: --device-pages needs --port virtual (the port is " +
                 setup.link->Name() + ")");
      return 1;
    }
    int lineNo = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
      std::size_t end = text.find('\n', pos);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(pos, end - pos);
      pos = end + 1;
      ++lineNo;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      // Blank lines carry no command.
      if (line.empty()) continue;
      std::string bytes = Unescape(line);
      if (!setup.link->SendLine(bytes)) {
        std::string problem = setup.link->Problem();
        PrintError("qmt send: line " + std::to_string(lineNo) + ": " + ShownLine(bytes) +
                   ": the device did not answer (port " + setup.link->Name() +
                   (problem.empty() ? "" : ": " + problem) + ")");
        return 1;
      }
    }
    if (!pages->empty()) SaveDevicePages(setup, *pages);
    return 0;
  };
});

}  // namespace
}  // namespace qmt::cli
