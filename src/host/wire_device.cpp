#include "host/wire_device.h"

#include "support/encoding.h"

namespace qmt {

WireDevice::WireDevice(StreamServer& server, TQMT3308& device, bool replies)
    : server_(server), device_(device), replies_(replies) {
  server_.SetLineHandler([this](std::string_view line) { Execute(line); });
  server_.SetEventHandler([this](StreamServer::Event e, const std::string& detail) { Event(e, detail); });
}

const std::string& WireDevice::LineTooLongMessage() {
  static const std::string s = Sjis("コマンド行が長すぎる");
  return s;
}

void WireDevice::Execute(std::string_view line) {
  ++lines_;
  bool ok = device_.ExecuteLine(line);
  if (!ok) ++errors_;
  if (replies_) {
    if (ok) {
      server_.Reply("ok\r\n");
    } else {
      server_.Reply(device_.LastError());
      server_.Reply("\r\n");
    }
  }
  if (lineReport_) lineReport_(line, ok ? nullptr : &device_.LastError());
}

void WireDevice::Event(StreamServer::Event event, const std::string& detail) {
  if (event == StreamServer::Event::kLineCut) ++dropped_;
  if (event == StreamServer::Event::kLineDropped) {
    ++dropped_;
    if (replies_) {
      server_.Reply(LineTooLongMessage());
      server_.Reply("\r\n");
    }
  }
  if (eventReport_) eventReport_(event, detail);
}

}  // namespace qmt
