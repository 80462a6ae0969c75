// links: qmt_dap
// Whole debug sessions: initialize and launch on a small macro (with events
// or a scenario), then requests of every kind with arguments the input picks
// from numbers at the edges of their ranges, odd strings and wrong types,
// with the session's work done between them, so that breakpoints are hit,
// the stack is read and the steps run.
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include <nlohmann/json.hpp>

#include "dap/session.h"

namespace {

using Json = nlohmann::json;

const char kMacro[] =
    "x = 1\r\nGOSUB sub\r\nz = twice(x, 3)\r\nEXIT\r\nsub:\r\n  y = x + 41\r\n  EXIT\r\n"
    "twice:\r\n  RET @0 * 2 + @1\r\nonKEY:\r\n  z = y * 2\r\n  q = 10 / (z - 84)\r\n  EXIT\r\n";
const char kScenario[] = "key onKEY\r\nexpect line DS1\r\ntick 3\r\n";

std::string WriteTemp(const char* text, const char* suffix) {
  std::string path = std::string("/tmp/fuzz_dap_session_XXXXXX") + suffix;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s", path.c_str());
  const int fd = mkstemps(buffer, static_cast<int>(std::string(suffix).size()));
  if (fd < 0) return path;
  FILE* f = fdopen(fd, "wb");
  std::fputs(text, f);
  std::fclose(f);
  return buffer;
}

const std::string& MacroPath() {
  static const std::string path = WriteTemp(kMacro, ".txt");
  return path;
}
const std::string& ScenarioPath() {
  static const std::string path = WriteTemp(kScenario, ".scn");
  return path;
}

Json Value(FuzzedDataProvider& in) {
  static const long long kNumbers[] = {0, 1, 2, 3, 5, 6, 9, -1, INT_MIN, INT_MAX, 2147483648LL, 1LL << 40,
                                       LLONG_MIN, LLONG_MAX};
  static const char* const kStrings[] = {"x", "y", "@0", "@1", "x / 0", "x +", "(", ")", "f(1)", "0", "y = 3",
                                         "\xe6\xbc\xa2", "\xff", "", "message", "anPRES", "DTIME1"};
  switch (in.ConsumeIntegralInRange(0, 7)) {
    case 0: return in.PickValueInArray(kNumbers);
    case 1: return in.ConsumeIntegral<std::int64_t>();
    case 2: return std::numeric_limits<std::uint64_t>::max() - in.ConsumeIntegralInRange<std::uint64_t>(0, 3);
    case 3: return std::string(in.PickValueInArray(kStrings));
    case 4: return in.ConsumeRandomLengthString(16);
    case 5: return in.ConsumeBool();
    case 6: return Json();
    default: return Json::array({in.PickValueInArray(kNumbers)});
  }
}

// Mostly sensible arguments, any of which the input may replace.
Json Arguments(FuzzedDataProvider& in, Json args, const char* const* names, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    if (in.ConsumeIntegralInRange(0, 3) == 0) args[names[i]] = Value(in);
  return args;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  qmt::dap::Session session([](const std::string& body) { (void)Json::parse(body); });
  long long seq = 0;
  auto send = [&](const std::string& command, const Json& args) {
    Json request = {{"seq", ++seq}, {"type", "request"}, {"command", command}};
    if (!args.is_null()) request["arguments"] = args;
    session.Handle(request.dump(-1, ' ', false, Json::error_handler_t::replace));
  };
  {
    static const char* const kNames[] = {"linesStartAt1"};
    send("initialize", Arguments(in, Json::object(), kNames, 1));
  }
  {
    static const char* const kNames[] = {"program", "events", "scenario", "stopOnEntry", "noDebug", "showLines",
                                          "utf8"};
    Json args = {{"program", MacroPath()}, {"stopOnEntry", in.ConsumeBool()}};
    if (in.ConsumeBool()) {
      args["scenario"] = ScenarioPath();
    } else {
      args["events"] = Json::array({"onKEY", "onKEY", "none"});
    }
    send("launch", Arguments(in, args, kNames, 7));
  }
  for (int i = 0; i < 64 && in.remaining_bytes() > 0; ++i) {
    switch (in.ConsumeIntegralInRange(0, 13)) {
      case 0: {
        static const char* const kNames[] = {"source", "breakpoints"};
        Json list = Json::array();
        const int n = in.ConsumeIntegralInRange(0, 3);
        for (int b = 0; b < n; ++b) {
          static const char* const kBp[] = {"line", "condition"};
          Json bp = {{"line", in.ConsumeIntegralInRange(0, 14)}};
          if (in.ConsumeBool()) bp["condition"] = "y > 0";
          list.push_back(Arguments(in, bp, kBp, 2));
        }
        send("setBreakpoints",
             Arguments(in, {{"source", {{"path", MacroPath()}}}, {"breakpoints", list}}, kNames, 2));
        break;
      }
      case 1: {
        static const char* const kNames[] = {"filters"};
        send("setExceptionBreakpoints", Arguments(in, {{"filters", Json::array({"message"})}}, kNames, 1));
        break;
      }
      case 2: send("configurationDone", Json()); break;
      case 3: case 4: {
        static const char* const kNames[] = {"threadId", "startFrame", "levels"};
        send("stackTrace", Arguments(in, {{"threadId", 1}}, kNames, 3));
        break;
      }
      case 5: {
        static const char* const kNames[] = {"frameId"};
        send("scopes", Arguments(in, {{"frameId", 1}}, kNames, 1));
        break;
      }
      case 6: {
        static const char* const kNames[] = {"variablesReference"};
        send("variables", Arguments(in, {{"variablesReference", in.ConsumeIntegralInRange(1, 7)}}, kNames, 1));
        break;
      }
      case 7: {
        static const char* const kNames[] = {"variablesReference", "name", "value"};
        send("setVariable", Arguments(in, {{"variablesReference", 1}, {"name", "x"}, {"value", "2"}}, kNames, 3));
        break;
      }
      case 8: {
        static const char* const kNames[] = {"expression", "frameId", "context"};
        send("evaluate", Arguments(in, {{"expression", "x + y"}, {"frameId", 1}}, kNames, 3));
        break;
      }
      case 9: {
        static const char* const kCommands[] = {"continue", "next", "stepIn", "stepOut", "pause", "threads"};
        static const char* const kNames[] = {"threadId"};
        send(in.PickValueInArray(kCommands), Arguments(in, {{"threadId", 1}}, kNames, 1));
        break;
      }
      case 10: {
        // A request the input writes itself.
        send(in.ConsumeRandomLengthString(24), in.ConsumeBool() ? Json::object({{"x", Value(in)}}) : Json());
        break;
      }
      case 11: session.FramingError("cut"); break;
      default:
        for (int w = 0; w < 4 && session.HasWork(); ++w) session.DoWork();
        break;
    }
    if (session.Finished()) break;
  }
  if (in.ConsumeBool()) {
    send("disconnect", Json());
  } else {
    session.ClientGone();
  }
  return 0;
}
