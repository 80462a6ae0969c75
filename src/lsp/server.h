// The language server: the Language Server Protocol's messages (JSON) over
// the language engine.  It takes one message body at a time and answers
// through the sender; diagnostics after an edit wait for a quiet moment
// (DoWork), so typing is not slowed by them.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "host/name_tables.h"
#include "lang/macro_model.h"
#include "lsp/document.h"

namespace qmt::lsp {

class Server {
 public:
  using Clock = std::chrono::steady_clock;
  using Sender = std::function<void(const std::string& body)>;

  explicit Server(Sender send, std::chrono::milliseconds debounce = std::chrono::milliseconds(200));
  ~Server();

  void Handle(const std::string& body);
  // A framing error of the reader: answered as a parse error.
  void FramingError(const std::string& text);

  // Diagnostics waiting to be published, and when the first is due.
  bool HasWork() const { return !pending_.empty(); }
  Clock::time_point NextWork() const;
  void DoWork();

  bool Finished() const { return finished_; }
  // 0 after shutdown then exit, 1 for an exit without shutdown.
  int ExitCode() const { return shutdown_ ? 0 : 1; }

 private:
  struct Open {
    Document document;
    long long version = 0;
    lang::MacroModel model;
    bool analysed = false;
    Open(Units units, const NameTables& tables) : document(units), model(tables) {}
  };

  void Request(const nlohmann::json& id, const std::string& method, const nlohmann::json& params);
  void Notification(const std::string& method, const nlohmann::json& params);
  nlohmann::json Answer(const std::string& method, const nlohmann::json& params);
  void Reply(const nlohmann::json& id, const nlohmann::json& result);
  void Error(const nlohmann::json& id, int code, const std::string& message);
  void Log(const std::string& message);
  void Publish(const std::string& uri);

  Open* Find(const nlohmann::json& params);
  lang::MacroModel& Model(Open& open);
  nlohmann::json Range(const Open& open, const lang::Span& span) const;
  // A position of the request, in the model's terms.
  std::pair<int, int> At(Open& open, const nlohmann::json& params) const;

  Sender send_;
  std::chrono::milliseconds debounce_;
  NameTables tables_;
  Units units_ = Units::kUtf16;
  bool initialized_ = false;
  bool shutdown_ = false;
  bool finished_ = false;
  std::map<std::string, std::unique_ptr<Open>> documents_;
  std::map<std::string, Clock::time_point> pending_;
};

}  // namespace qmt::lsp
