#include "lsp/server.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "support/encoding.h"

namespace qmt::lsp {
namespace {

using nlohmann::json;

// JSON-RPC and protocol error codes.
constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kInvalidParams = -32602;
constexpr int kInternalError = -32603;
constexpr int kServerNotInitialized = -32002;
constexpr int kRequestFailed = -32803;

struct Failure {
  int code;
  std::string message;
};

const char* const kTokenTypes[] = {"function", "event", "variable", "enumMember", "property", "macro"};
const char* const kTokenModifiers[] = {"declaration", "defaultLibrary"};

int TokenType(lang::NameKind k) {
  switch (k) {
    case lang::NameKind::kLabel: return 0;
    case lang::NameKind::kBuiltin: return 0;
    case lang::NameKind::kEventLabel: return 1;
    case lang::NameKind::kVariable: return 2;
    case lang::NameKind::kConstant: return 3;
    case lang::NameKind::kExternal: return 4;
    case lang::NameKind::kCommand: return 5;
    case lang::NameKind::kKeyword: return -1;  // the grammar colours them
  }
  return -1;
}

int CompletionKind(lang::Completion::Kind k) {
  switch (k) {
    case lang::Completion::Kind::kKeyword: return 14;
    case lang::Completion::Kind::kBuiltin: return 3;
    case lang::Completion::Kind::kLabel: return 18;
    case lang::Completion::Kind::kEventLabel: return 23;
    case lang::Completion::Kind::kVariable: return 6;
    case lang::Completion::Kind::kConstant: return 21;
    case lang::Completion::Kind::kExternal: return 10;
    case lang::Completion::Kind::kCommand: return 12;
  }
  return 1;
}

json Markdown(const std::string& text) { return {{"kind", "markdown"}, {"value", text}}; }

// A line or character of a position: a whole number from 0 to 2^31 - 1 (the
// protocol's uinteger), never narrowed into one.
int PositionField(const json& position, const char* field) {
  const json& v = position.at(field);
  if (!v.is_number_integer() || v.is_number_float())
    throw Failure{kInvalidParams, std::string("position ") + field + " must be a whole number, not " + v.dump()};
  if (v.is_number_unsigned() ? v.get<std::uint64_t>() > 0x7FFFFFFF
                             : v.get<std::int64_t>() < 0 || v.get<std::int64_t>() > 0x7FFFFFFF)
    throw Failure{kInvalidParams, std::string("position ") + field + " out of range (0 to 2147483647): " + v.dump()};
  return v.get<int>();
}

Position PositionOf(const json& position) {
  return {PositionField(position, "line"), PositionField(position, "character")};
}

}  // namespace

Server::Server(Sender send, std::chrono::milliseconds debounce) : send_(std::move(send)), debounce_(debounce) {}
Server::~Server() = default;

void Server::Reply(const json& id, const json& result) {
  send_(json{{"jsonrpc", "2.0"}, {"id", id}, {"result", result}}.dump(-1, ' ', false, json::error_handler_t::replace));
}

void Server::Error(const json& id, int code, const std::string& message) {
  send_(json{{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}}.dump(
      -1, ' ', false, json::error_handler_t::replace));
}

void Server::Log(const std::string& message) {
  send_(json{{"jsonrpc", "2.0"}, {"method", "window/logMessage"}, {"params", {{"type", 2}, {"message", message}}}}
            .dump(-1, ' ', false, json::error_handler_t::replace));
}

void Server::FramingError(const std::string& text) { Error(nullptr, kParseError, text); }

void Server::Handle(const std::string& body) {
  json message;
  try {
    message = json::parse(body);
  } catch (const json::exception& e) {
    Error(nullptr, kParseError, std::string("not JSON: ") + e.what());
    return;
  }
  if (!message.is_object()) {
    Error(nullptr, kInvalidRequest, "a message must be a JSON object");
    return;
  }
  const json id = message.contains("id") ? message["id"] : json();
  const bool hasId = message.contains("id");
  if (hasId && !id.is_number_integer() && !id.is_string()) {
    Error(nullptr, kInvalidRequest, "a request's id must be a number or a string");
    return;
  }
  if (!message.contains("method")) {
    if (!hasId) Error(nullptr, kInvalidRequest, "a message needs a method or an id");
    return;  // a response: this server sends no requests
  }
  if (!message["method"].is_string()) {
    if (hasId) Error(id, kInvalidRequest, "method must be a string");
    else Error(nullptr, kInvalidRequest, "method must be a string");
    return;
  }
  const std::string method = message["method"];
  const json params = message.contains("params") ? message["params"] : json::object();
  if (hasId) {
    Request(id, method, params);
  } else {
    try {
      Notification(method, params);
    } catch (const json::exception& e) {
      Log(method + ": bad parameters: " + e.what());
    } catch (const std::exception& e) {
      Log(method + ": " + e.what());
    }
  }
}

void Server::Request(const json& id, const std::string& method, const json& params) {
  if (method == "initialize") {
    if (initialized_) return Error(id, kInvalidRequest, "initialize was already received");
    units_ = Units::kUtf16;
    try {
      for (const json& e : params.at("capabilities").at("general").at("positionEncodings"))
        if (e == "utf-8") units_ = Units::kUtf8;
    } catch (const json::exception&) {
    }
    initialized_ = true;
    json legend = {{"tokenTypes", kTokenTypes}, {"tokenModifiers", kTokenModifiers}};
    json caps = {
        {"positionEncoding", units_ == Units::kUtf8 ? "utf-8" : "utf-16"},
        {"textDocumentSync", {{"openClose", true}, {"change", 2}, {"save", false}}},
        {"hoverProvider", true},
        {"completionProvider", {{"triggerCharacters", {"\"", " "}}}},
        {"signatureHelpProvider", {{"triggerCharacters", {"(", ","}}}},
        {"definitionProvider", true},
        {"referencesProvider", true},
        {"renameProvider", {{"prepareProvider", true}}},
        {"documentSymbolProvider", true},
        {"foldingRangeProvider", true},
        {"semanticTokensProvider", {{"legend", legend}, {"full", true}}},
    };
    return Reply(id, {{"capabilities", caps}, {"serverInfo", {{"name", "qmt lsp"}}}});
  }
  if (!initialized_) return Error(id, kServerNotInitialized, "the server is not initialized yet");
  if (shutdown_) return Error(id, kInvalidRequest, "the server is shut down");
  if (method == "shutdown") {
    shutdown_ = true;
    return Reply(id, nullptr);
  }
  try {
    Reply(id, Answer(method, params));
  } catch (const Failure& f) {
    Error(id, f.code, f.message);
  } catch (const json::exception& e) {
    Error(id, kInvalidParams, std::string("bad parameters: ") + e.what());
  } catch (const std::exception& e) {
    Error(id, kInternalError, e.what());
  }
}

void Server::Notification(const std::string& method, const json& params) {
  if (method == "exit") {
    finished_ = true;
    return;
  }
  if (!initialized_ || shutdown_) return;  // dropped, as the protocol says
  if (method == "textDocument/didOpen") {
    const json& doc = params.at("textDocument");
    const std::string uri = doc.at("uri");
    auto open = std::make_unique<Open>(units_, tables_);
    open->document.SetText(doc.at("text").get<std::string>());
    open->version = doc.value("version", 0LL);
    documents_[uri] = std::move(open);
    Publish(uri);
  } else if (method == "textDocument/didChange") {
    const std::string uri = params.at("textDocument").at("uri");
    auto it = documents_.find(uri);
    if (it == documents_.end()) return Log("didChange for a document that is not open: " + uri);
    Open& open = *it->second;
    const long long version = params.at("textDocument").value("version", open.version + 1);
    if (version <= open.version) Log("didChange out of order for " + uri + ": version " + std::to_string(version));
    // Every change is read before any is made: one that cannot be read
    // leaves the document as it was, and says so.
    struct Change {
      bool whole;
      Position start, end;
      std::string text;
    };
    std::vector<Change> changes;
    try {
      for (const json& change : params.at("contentChanges")) {
        Change c{!change.contains("range"), {}, {}, change.at("text").get<std::string>()};
        if (!c.whole) {
          c.start = PositionOf(change.at("range").at("start"));
          c.end = PositionOf(change.at("range").at("end"));
        }
        changes.push_back(std::move(c));
      }
    } catch (const Failure& f) {
      return Log("didChange for " + uri + " not applied: " + f.message);
    }
    for (const Change& c : changes) {
      if (c.whole) open.document.SetText(c.text);
      else open.document.Replace(c.start, c.end, c.text);
    }
    open.version = version;
    open.analysed = false;
    pending_[uri] = Clock::now() + debounce_;
  } else if (method == "textDocument/didClose") {
    const std::string uri = params.at("textDocument").at("uri");
    documents_.erase(uri);
    pending_.erase(uri);
    send_(json{{"jsonrpc", "2.0"},
               {"method", "textDocument/publishDiagnostics"},
               {"params", {{"uri", uri}, {"diagnostics", json::array()}}}}
              .dump());
  }
}

Server::Clock::time_point Server::NextWork() const {
  Clock::time_point first = Clock::time_point::max();
  for (const auto& [uri, due] : pending_) first = std::min(first, due);
  return first;
}

void Server::DoWork() {
  const auto now = Clock::now();
  std::vector<std::string> due;
  for (const auto& [uri, when] : pending_)
    if (when <= now) due.push_back(uri);
  for (const std::string& uri : due) Publish(uri);
}

lang::MacroModel& Server::Model(Open& open) {
  if (!open.analysed) {
    open.model.SetText(open.document.Cp932());
    open.analysed = true;
  }
  return open.model;
}

json Server::Range(const Open& open, const lang::Span& span) const {
  const int from = open.document.ToUnits(span.line, span.column);
  const int to = open.document.ToUnits(span.line, span.column + span.length);
  return {{"start", {{"line", span.line}, {"character", from}}}, {"end", {{"line", span.line}, {"character", to}}}};
}

void Server::Publish(const std::string& uri) {
  pending_.erase(uri);
  auto it = documents_.find(uri);
  if (it == documents_.end()) return;
  Open& open = *it->second;
  const lang::MacroModel& model = Model(open);
  json list = json::array();
  for (const Unmappable& u : open.document.UnmappableCharacters()) {
    list.push_back({{"range",
                     {{"start", {{"line", u.line}, {"character", u.character}}},
                      {"end", {{"line", u.line}, {"character", u.character + u.length}}}}},
                    {"severity", 1},
                    {"code", "not-cp932"},
                    {"source", "qmt"},
                    {"message", "「" + u.text + "」はコードページ 932 にない文字"}});
  }
  // The places in text order, so a long line is walked once however the
  // compiler ordered its messages; the messages keep their order.
  const std::vector<lang::Diagnostic>& diagnostics = model.Diagnostics();
  std::vector<std::size_t> order(diagnostics.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const lang::Span &x = diagnostics[a].span, &y = diagnostics[b].span;
    return x.line != y.line ? x.line < y.line : x.column < y.column;
  });
  std::vector<json> ranges(diagnostics.size());
  for (std::size_t i : order) ranges[i] = Range(open, diagnostics[i].span);
  for (std::size_t i = 0; i < diagnostics.size(); ++i) {
    const lang::Diagnostic& d = diagnostics[i];
    list.push_back({{"range", std::move(ranges[i])}, {"severity", 1}, {"code", d.code}, {"source", "qmt"}, {"message", d.message}});
  }
  send_(json{{"jsonrpc", "2.0"},
             {"method", "textDocument/publishDiagnostics"},
             {"params", {{"uri", uri}, {"version", open.version}, {"diagnostics", list}}}}
            .dump(-1, ' ', false, json::error_handler_t::replace));
}

Server::Open* Server::Find(const json& params) {
  const std::string uri = params.at("textDocument").at("uri");
  auto it = documents_.find(uri);
  if (it == documents_.end()) throw Failure{kInvalidParams, "the document is not open: " + uri};
  return it->second.get();
}

std::pair<int, int> Server::At(Open& open, const json& params) const {
  const Position p = PositionOf(params.at("position"));
  return {p.line, open.document.ToCp932(p.line, p.character)};
}

json Server::Answer(const std::string& method, const json& params) {
  const std::string prefix = "textDocument/";
  if (method.compare(0, prefix.size(), prefix) != 0) throw Failure{kMethodNotFound, "unknown method " + method};
  const std::string what = method.substr(prefix.size());
  static const char* const known[] = {"hover", "completion", "signatureHelp", "definition", "references",
                                      "prepareRename", "rename", "documentSymbol", "foldingRange",
                                      "semanticTokens/full"};
  if (std::find(std::begin(known), std::end(known), what) == std::end(known))
    throw Failure{kMethodNotFound, "unknown method " + method};
  Open& open = *Find(params);
  lang::MacroModel& model = Model(open);
  const std::string uri = params.at("textDocument").at("uri");

  if (what == "hover") {
    auto [line, col] = At(open, params);
    auto h = model.HoverAt(line, col);
    if (!h) return nullptr;
    return {{"contents", Markdown(h->markdown)}, {"range", Range(open, h->span)}};
  }
  if (what == "completion") {
    auto [line, col] = At(open, params);
    json items = json::array();
    for (const lang::Completion& c : model.CompleteAt(line, col)) {
      json item = {{"label", c.label}, {"kind", CompletionKind(c.kind)}};
      if (!c.detail.empty()) item["detail"] = c.detail;
      if (!c.documentation.empty()) item["documentation"] = Markdown(c.documentation);
      if (!c.snippet.empty()) {
        item["insertText"] = c.snippet;
        item["insertTextFormat"] = 2;
      }
      items.push_back(std::move(item));
    }
    return {{"isIncomplete", false}, {"items", items}};
  }
  if (what == "signatureHelp") {
    auto [line, col] = At(open, params);
    auto s = model.SignatureAt(line, col);
    if (!s) return nullptr;
    json parameters = json::array();
    for (const std::string& p : s->parameters) parameters.push_back({{"label", p}});
    return {{"signatures", {{{"label", s->label}, {"documentation", Markdown(s->documentation)}, {"parameters", parameters}}}},
            {"activeSignature", 0},
            {"activeParameter", s->activeParameter}};
  }
  if (what == "definition") {
    auto [line, col] = At(open, params);
    auto span = model.Definition(line, col);
    if (!span) return nullptr;
    return {{"uri", uri}, {"range", Range(open, *span)}};
  }
  if (what == "references") {
    auto [line, col] = At(open, params);
    const bool declarations = params.value("/context/includeDeclaration"_json_pointer, true);
    json out = json::array();
    for (const lang::Occurrence& o : model.References(line, col))
      if (declarations || !o.definition) out.push_back({{"uri", uri}, {"range", Range(open, o.span)}});
    return out;
  }
  if (what == "prepareRename" || what == "rename") {
    auto [line, col] = At(open, params);
    std::string why;
    if (!model.CanRename(line, col, why)) throw Failure{kRequestFailed, why};
    if (what == "prepareRename") return Range(open, model.NameAt(line, col)->span);
    const std::string newName = params.at("newName");
    std::string name, error;
    if (!TryUtf8ToCp932(newName, name, error)) throw Failure{kRequestFailed, "the new name is not code page 932: " + error};
    if (!model.CanRenameTo(line, col, name, why)) throw Failure{kRequestFailed, why};
    json edits = json::array();
    for (const lang::Occurrence& o : model.References(line, col))
      edits.push_back({{"range", Range(open, o.span)}, {"newText", newName}});
    return {{"changes", {{uri, edits}}}};
  }
  if (what == "documentSymbol") {
    json out = json::array();
    for (const lang::Symbol& s : model.Symbols()) {
      const int endCol = open.document.ToUnits(s.endLine, 1 << 30);
      json range = {{"start", {{"line", s.selection.line}, {"character", 0}}},
                    {"end", {{"line", s.endLine}, {"character", endCol}}}};
      json sym = {{"name", s.name}, {"kind", s.event ? 24 : 12}, {"range", range}, {"selectionRange", Range(open, s.selection)}};
      if (s.event) sym["detail"] = "イベント";
      out.push_back(std::move(sym));
    }
    return out;
  }
  if (what == "foldingRange") {
    json out = json::array();
    for (const lang::Symbol& s : model.Symbols())
      if (s.endLine > s.selection.line) out.push_back({{"startLine", s.selection.line}, {"endLine", s.endLine}});
    return out;
  }
  // semanticTokens/full
  json data = json::array();
  int lastLine = 0, lastChar = 0;
  for (const lang::Occurrence& o : model.Occurrences()) {
    const int type = TokenType(o.kind);
    if (type < 0) continue;
    const int from = open.document.ToUnits(o.span.line, o.span.column);
    const int to = open.document.ToUnits(o.span.line, o.span.column + o.span.length);
    if (to <= from) continue;
    const int modifiers = (o.definition ? 1 : 0) | (o.kind == lang::NameKind::kBuiltin ? 2 : 0);
    data.push_back(o.span.line - lastLine);
    data.push_back(o.span.line == lastLine ? from - lastChar : from);
    data.push_back(to - from);
    data.push_back(type);
    data.push_back(modifiers);
    lastLine = o.span.line;
    lastChar = from;
  }
  return {{"data", data}};
}

}  // namespace qmt::lsp
