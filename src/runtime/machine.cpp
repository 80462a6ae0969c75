// Machine set-up and error names; Step itself is inline (step.h).
#include "runtime/machine.h"

#include <array>

#include "support/encoding.h"

namespace qmt {
namespace {

std::int16_t GetExternalCell(void* user, std::uint8_t id) {
  return static_cast<TRuntimeContext*>(user)->externals[id];
}

void PutExternalCell(void* user, std::uint8_t id, std::int16_t value) {
  static_cast<TRuntimeContext*>(user)->externals[id] = value;
}

}  // namespace

void InitMachine(TMachine& machine, const TCodeArea& code) {
  machine.code = code.data();
  machine.stopped = 0;
  machine.PC = static_cast<std::uint16_t>(code[0] | (code[1] << 8));
  machine.SP = 0;
  machine.FP = 0;
  machine.AC = 0;
  machine.RSP = 0;
}

void InitContext(TRuntimeContext& context, const TCodeArea& code, std::int16_t* externals) {
  TMachine& m = context.machine;
  m.getExternal = GetExternalCell;
  m.putExternal = PutExternalCell;
  m.callFunction = CallBuiltin;
  m.user = &context;
  context.externals = externals;
  InitMachine(m, code);
}

const std::string& ErrorName(std::uint16_t code) {
  static const std::array<std::string, 13> names = {
      std::string(),
      Sjis("引数の数が合わない"),
      Sjis("未定義関数"),
      Sjis("未定義命令"),
      Sjis("textコマンドの異常"),
      Sjis("パラメータが無い"),
      Sjis("スタックあふれ"),
      Sjis("スタック不足"),
      Sjis("リターンスタックあふれ"),
      Sjis("リターンスタック不足"),
      Sjis("引数番号の異常"),
      Sjis("ゼロ除算"),
      Sjis("コマンド行が長すぎる"),
  };
  return code < names.size() ? names[code] : names[0];
}

}  // namespace qmt
