// Shared helpers for the runtime tests: a context over a private code area
// and built-in state whose lines are recorded, and a compiler set up with
// the built-in names.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "compiler/script.h"
#include "runtime/builtins.h"
#include "runtime/machine.h"
#include "support/encoding.h"

namespace qmt::testing {

inline const std::vector<std::string>& BuiltinNames() {
  static const std::vector<std::string> names = {"d",      "s",   "c",  "box", "text",    "line",    "arc",
                                                 "needle", "MulDiv", "num", "GI", "CirFill", "SelPanel"};
  return names;
}

// External names used by the tests; their ids are their positions.
inline const std::vector<std::string>& ExternalNames() {
  static const std::vector<std::string> names = {"DTIME1", "DTIME2", "DTIME3", "X3", "X4", "anPRES"};
  return names;
}

// Compiles macro text (UTF-8, lines joined with CR LF) with the test name
// tables; fails the test on any compile error.
inline TAByte CompileMacro(const std::string& utf8, TScript* keep = nullptr) {
  TScript local;
  TScript& script = keep ? *keep : local;
  auto position = [](const std::vector<std::string>& list, std::string_view name) {
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (list[i] == name) return static_cast<int>(i);
    }
    return -1;
  };
  script.OnExtFunc = [&](std::string_view name) { return position(BuiltinNames(), name); };
  script.OnExtLabel = [&](std::string_view name) { return position(ExternalNames(), name); };
  std::vector<std::string> errors;
  script.OnErrorMsg = [&](int line, const std::string& msg) {
    errors.push_back(std::to_string(line) + ":" + Cp932ToUtf8(msg));
  };
  std::string text;
  for (char c : Sjis(utf8)) {
    if (c == '\n') text += '\r';
    text += c;
  }
  script.Compile(text);
  EXPECT_TRUE(errors.empty()) << errors.front();
  return script.Code();
}

// A runtime context of its own: code area, externals, built-in state, and a
// sink that records every line.
class ContextFixture : public ::testing::Test {
 protected:
  ContextFixture() {
    code->fill(0);
    code->at(0) = 4;
    InitContext(context, *code, externals.data());
    context.state = state.get();
    context.owner = &lines;
    context.sink = [](void* owner, int length, const char* bytes) {
      auto* out = static_cast<std::vector<std::string>*>(owner);
      out->push_back(length > 0 ? std::string(bytes, static_cast<std::size_t>(length)) : std::string(bytes));
    };
  }

  // Places a string in the code area and returns its offset.
  std::int16_t Str(const std::string& bytes) {
    const std::uint16_t at = nextString;
    std::memcpy(code->data() + at, bytes.data(), bytes.size());
    (*code)[at + bytes.size()] = 0;
    nextString = static_cast<std::uint16_t>(at + bytes.size() + 1);
    return static_cast<std::int16_t>(at);
  }

  std::int16_t Call(TBuiltin builtin, std::initializer_list<std::int16_t> args) {
    return builtin(context, static_cast<int>(args.size()), args.begin());
  }
  std::int16_t Call(TBuiltin builtin, const std::vector<std::int16_t>& args) {
    return builtin(context, static_cast<int>(args.size()), args.data());
  }

  // Loads an image into the context's code area and resets the machine.
  void Load(const TAByte& image) {
    code->fill(0);
    std::memcpy(code->data(), image.data(), image.size());
    InitMachine(context.machine, *code);
  }

  // Steps until the program stops, an error is set or `limit` steps ran.
  int RunToEnd(int limit = 100000) {
    int steps = 0;
    while (steps < limit && !Step(context) && context.errorCode == 0) ++steps;
    return steps;
  }

  std::unique_ptr<TCodeArea> code = std::make_unique<TCodeArea>();
  std::unique_ptr<TRuntimeState> state = std::make_unique<TRuntimeState>();
  std::array<std::int16_t, kExternalCount> externals{};
  TRuntimeContext context;
  std::vector<std::string> lines;
  std::uint16_t nextString = 0x100;
};

}  // namespace qmt::testing
