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

std::string WireDevice::EventText(StreamServer::Event event, const std::string& detail) {
  switch (event) {
    case StreamServer::Event::kClientConnected: return detail + " connected";
    case StreamServer::Event::kClientLeft: return detail + " left";
    case StreamServer::Event::kClientRefused: return detail + " refused: another client is being served";
    case StreamServer::Event::kLineCut:
      return "the client left in the middle of a line; its " + detail + " bytes are dropped";
    case StreamServer::Event::kLineDropped:
      return "a line of " + detail + " bytes is dropped: longer than the device's " +
             std::to_string(LineAssembler::kMaxLineBytes) + "-byte line limit";
  }
  return detail;
}

std::string WireDevice::EventNote(StreamServer::Event event, const std::string& detail) {
  switch (event) {
    case StreamServer::Event::kClientConnected: return Sjis("接続: ") + detail;
    case StreamServer::Event::kClientLeft: return Sjis("切断: ") + detail;
    case StreamServer::Event::kClientRefused: return Sjis("拒否: ") + detail + Sjis(" (別のクライアントを受信中)");
    case StreamServer::Event::kLineCut: return Sjis("行の途中で切断: ") + detail + Sjis(" バイトを破棄");
    case StreamServer::Event::kLineDropped: return LineTooLongMessage() + ": " + detail + Sjis(" バイトを破棄");
  }
  return detail;
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
