// TScript stages 2 and 3: constant folding, and the generator that resolves
// names and labels and writes the image.
#include <cstdio>

#include "compiler/opcodes.h"
#include "compiler/script.h"
#include "support/encoding.h"

namespace qmt {
namespace {

struct Messages {
  std::string divideByZero = Sjis("定数の割り算で0で割っている");
  std::string duplicate = Sjis("で既に定義済");
  std::string variable = Sjis("変数 ");
  std::string undefinedTail = Sjis(" が未定義");
  std::string label = Sjis("ラベル ");
  std::string tooManyLocals = Sjis(" で変数の数が256を超えた");
  std::string external = Sjis("外部変数 ");
  std::string externalId = Sjis(" の番号が255を超えた");
  std::string function = Sjis("関数");
  std::string functionId = Sjis("の番号が65535を超えた");
  std::string tooManyArgs = Sjis("の引数が255個を超えた");
  std::string argNumber = Sjis("の番号が255を超えた");
  std::string tooLarge = Sjis("P-codeが65536バイトを超えた");
};
const Messages& Msg() {
  static const Messages m;
  return m;
}

void PutWord(TAByte& image, std::size_t at, std::uint32_t value) {
  image[at] = static_cast<std::uint8_t>(value);
  image[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace

// Folding replaces "number number op" by one number until nothing changes.
// The matches of that pattern never overlap, so folding each operator as it
// is appended to the list reaches the same list as repeated passes over the
// whole list.  A division by zero is left unfolded and raised once the text
// has been read, so that a reading error further on still comes first.
void TScript::FoldLast() {
  std::size_t n = tokens_.size();
  if (n < 3 || tokens_[n - 2].Kind != tok::kNum || tokens_[n - 3].Kind != tok::kNum) return;
  const TScrItem& op = tokens_[n - 1];
  std::int32_t a = tokens_[n - 3].Value;
  std::int32_t b = tokens_[n - 2].Value;
  std::int32_t r = 0;
  switch (op.Kind) {
    case '*': r = a * b; break;
    case '+': r = a + b; break;
    case '-': r = a - b; break;
    default:
      if (b == 0) {
        if (divideByZeroLine_ < 0) {
          divideByZeroLine_ = op.Line;
          divideByZeroAt_ = op;
          divideByZeroAt_.Text = {};
        }
        return;
      }
      r = a / b;  // truncates toward zero; -32768 / -1 wraps below
      break;
  }
  tokens_[n - 3].Value = static_cast<std::int16_t>(static_cast<std::uint16_t>(r));
  tokens_.resize(n - 2);
}

void TScript::FoldError() const {
  char head[24];
  std::snprintf(head, sizeof head, "%3d,", divideByZeroLine_);
  ScriptMessage m;
  m.code = MessageCode::kDivideByZero;
  m.fatal = true;
  m.line = divideByZeroLine_;
  m.text = head + Msg().divideByZero;
  Place(m, &divideByZeroAt_, 0);
  throw ScriptAbort(std::move(m));
}

// Reports the first string or instruction that ends where the final zero
// byte no longer fits below 65536.
void TScript::ReportTooLarge() {
  std::size_t end = 4;
  const TScrItem* culprit = nullptr;
  for (const TScrItem& t : tokens_) {
    if (t.Kind != tok::kStr) continue;
    end += t.Text.size() + 1;
    if (end >= kMaxImageSize) {
      culprit = &t;
      break;
    }
  }
  for (std::size_t i = 0; !culprit && i < tokens_.size(); ++i) {
    const TScrItem& t = tokens_[i];
    if (t.Kind == tok::kLabel || t.Kind == tok::kLineEnd) continue;
    if (static_cast<std::size_t>(t.Address) + InstructionLength(t.Kind) >= kMaxImageSize) culprit = &t;
  }
  const TScrItem& at = culprit ? *culprit : tokens_.back();
  // A string's text is its decoded copy: the place is where it starts.
  TScrItem place = at;
  place.Text = {};
  Report(place, MessageCode::kTooLarge, {}, Msg().tooLarge);
}

void TScript::Report(const TScrItem& at, MessageCode code, std::vector<std::string> args, const std::string& text) {
  char head[24];
  std::snprintf(head, sizeof head, "%3d:", at.Line);
  ScriptMessage m;
  m.code = code;
  m.line = at.Line;
  m.args = std::move(args);
  m.text = head + text;
  Place(m, &at, 0);
  if (!OnErrorMsg && !OnMessage) throw ScriptAbort(std::move(m));
  if (OnMessage) OnMessage(m);
  if (OnErrorMsg) OnErrorMsg(m.line, m.text);
}

int TScript::LookupExtLabel(std::string_view name) const {
  return OnExtLabel ? OnExtLabel(name) : -1;
}

int TScript::LookupExtFunc(std::string_view name) const {
  return OnExtFunc ? OnExtFunc(name) : -1;
}

TAByte TScript::Generate() {
  const Messages& m = Msg();
  const int count = static_cast<int>(tokens_.size());
  int localCount = 0;
  // The token list is long and each pass walks it through memory, so the
  // passes note what later steps need: the Get and Set tokens (backwards),
  // and the tokens whose operand is patched.
  std::vector<int>& names = scratchNames_;
  std::vector<int>& patches = scratchPatches_;
  names.clear();
  patches.clear();
  std::size_t stringBytes = 0, codeBytes = 0;

  // 1. Backwards: labels, IF targets, calls, assigned variables.
  int nextLineEnd = -1;
  for (int i = count - 1; i >= 0; --i) {
    TScrItem& t = tokens_[i];
    switch (t.Kind) {
      case tok::kLineEnd:
        nextLineEnd = i;
        continue;  // writes nothing
      case tok::kLabel: {
        auto [it, fresh] = labelIndex_.try_emplace(t.Text, static_cast<int>(labels_.size()));
        if (!fresh) Report(t, MessageCode::kDuplicateLabel, {std::string(t.Text), std::to_string(labels_[it->second].line)},
                           std::to_string(labels_[it->second].line) + m.duplicate);
        labels_.push_back({std::string(t.Text), t.Line, i});
        continue;  // writes nothing
      }
      case tok::kIf:
        t.Target = nextLineEnd;
        break;
      case tok::kCall: {
        if (t.ArgCount > 255) Report(t, MessageCode::kTooManyArguments, {std::string(t.Text)}, m.function + std::string(t.Text) + m.tooManyArgs);
        int id = LookupExtFunc(t.Text);
        if (id >= 0) {
          if (id > 0xFFFF) Report(t, MessageCode::kFunctionId, {std::string(t.Text)}, m.function + std::string(t.Text) + m.functionId);
          t.Kind = tok::kFunc;
          t.Value = static_cast<std::int16_t>(static_cast<std::uint16_t>(id));
        }
        break;
      }
      case tok::kSet: {
        names.push_back(i);
        auto [it, fresh] = variableIndex_.try_emplace(t.Text, static_cast<int>(variables_.size()));
        if (!fresh) break;
        int id = LookupExtLabel(t.Text);
        if (id >= 0) {
          if (id > 255) Report(t, MessageCode::kExternalId, {std::string(t.Text)}, m.external + std::string(t.Text) + m.externalId);
          variables_.push_back({std::string(t.Text), true, id});
        } else {
          if (localCount == 256) Report(t, MessageCode::kTooManyVariables, {std::string(t.Text)}, m.variable + std::string(t.Text) + m.tooManyLocals);
          variables_.push_back({std::string(t.Text), false, localCount++});
        }
        break;
      }
      case tok::kIdent:
        names.push_back(i);
        break;
      case tok::kStr:
        stringBytes += t.Text.size() + 1;
        break;
      case tok::kGetArg:
      case tok::kSetArg:
        if (static_cast<std::uint16_t>(t.Value) > 255)
          Report(t, MessageCode::kArgumentNumber, {"@" + std::to_string(t.Value)},
                 std::string("@").append(std::to_string(t.Value)).append(m.argNumber));
        break;
      default:
        break;
    }
    // Resolving names below keeps every instruction's length.
    codeBytes += InstructionLength(t.Kind);
  }

  // 2. Backwards: resolve every Get and Set.
  for (int i : names) {
    TScrItem& t = tokens_[i];
    bool isSet = t.Kind == tok::kSet;
    auto found = variableIndex_.find(t.Text);
    if (found != variableIndex_.end()) {
      const VariableEntry& v = variables_[found->second];
      if (v.external) t.Kind = isSet ? tok::kSetExt : tok::kGetExt;
      t.Value = static_cast<std::int16_t>(v.slot);
      continue;
    }
    int id = LookupExtLabel(t.Text);
    if (id >= 0) {
      if (id > 255) Report(t, MessageCode::kExternalId, {std::string(t.Text)}, m.external + std::string(t.Text) + m.externalId);
      t.Kind = isSet ? tok::kSetExt : tok::kGetExt;
      t.Value = static_cast<std::int16_t>(id);
    } else {
      Report(t, MessageCode::kUndefinedVariable, {std::string(t.Text)}, m.variable + std::string(t.Text) + m.undefinedTail);
    }
  }

  // 3-6. Header, string area and instructions, in one forward pass: the
  // image's length is known, so each string goes to its place in the string
  // area as its token is met.
  const std::size_t codeStart = 4 + stringBytes;
  TAByte image(codeStart + codeBytes + 1);
  std::uint8_t* out = image.data();
  PutWord(image, 2, static_cast<std::uint32_t>(localCount));
  PutWord(image, 0, static_cast<std::uint32_t>(codeStart));
  std::size_t stringAt = 4;
  std::size_t at = codeStart;
  for (int i = 0; i < count; ++i) {
    TScrItem& t = tokens_[i];
    t.Address = static_cast<std::int32_t>(at);
    std::uint8_t* p = out + at;
    switch (t.Kind) {
      case tok::kLabel:
      case tok::kLineEnd:
        continue;
      case tok::kStr:
        t.Value = static_cast<std::int16_t>(static_cast<std::uint16_t>(stringAt));
        std::copy(t.Text.begin(), t.Text.end(), out + stringAt);
        stringAt += t.Text.size() + 1;  // the zero byte is already there
        break;
      case tok::kGoto:
      case tok::kGosub:
      case tok::kCall:
      case tok::kIf:
        patches.push_back(i);
        break;
      default:
        break;
    }
    p[0] = t.Kind;
    std::uint16_t operand = static_cast<std::uint16_t>(t.Value);
    switch (InstructionLength(t.Kind)) {
      case 3:
        p[1] = static_cast<std::uint8_t>(operand);
        p[2] = static_cast<std::uint8_t>(operand >> 8);
        at += 3;
        break;
      case 4:
        p[1] = static_cast<std::uint8_t>(operand);
        p[2] = static_cast<std::uint8_t>(operand >> 8);
        p[3] = static_cast<std::uint8_t>(t.ArgCount);
        at += 4;
        break;
      case 2:
        p[1] = static_cast<std::uint8_t>(operand);
        at += 2;
        break;
      default:
        at += 1;
        break;
    }
  }

  // 7. The end of code is the zero byte already at the end.  Addresses are
  // 16 bits: the whole image must fit in 65536 bytes.
  if (image.size() > kMaxImageSize) ReportTooLarge();

  // 8. Jump and call targets.  An undefined label leaves the operand 0.
  for (int i : patches) {
    const TScrItem& t = tokens_[i];
    switch (t.Kind) {
      case tok::kGoto:
      case tok::kGosub:
      case tok::kCall: {
        auto found = labelIndex_.find(t.Text);
        if (found == labelIndex_.end()) {
          Report(t, MessageCode::kUndefinedLabel, {std::string(t.Text)}, m.label + std::string(t.Text) + m.undefinedTail);
          PutWord(image, t.Address + 1, 0);
        } else {
          PutWord(image, t.Address + 1,
                  static_cast<std::uint32_t>(tokens_[labels_[found->second].token].Address));
        }
        break;
      }
      case tok::kIf:
        PutWord(image, t.Address + 1,
                t.Target >= 0 ? static_cast<std::uint32_t>(tokens_[t.Target].Address) : 0);
        break;
      default:
        break;
    }
  }
  return image;
}

}  // namespace qmt
