// A character-by-character scanner with a small integer expression
// evaluator.  Evaluates the right-hand sides of named constants such as
// " 0xE0+0x1c" and reads number pairs such as "16,16".
#pragma once

#include <bitset>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace qmt {

// The application's silent abort: an error the top-level handler does not
// display.  The message is code page 932 and may hold any byte, zero
// included; use message() rather than what() when that matters.
class SilentAbort : public std::runtime_error {
 public:
  explicit SilentAbort(std::string message)
      : std::runtime_error(message), message_(std::move(message)) {}
  const std::string& message() const { return message_; }

 private:
  std::string message_;
};

class TSpliter {
 public:
  using CharSet = std::bitset<256>;
  // Resolves a name met by Evaluate: returns true and sets `value` when it
  // knows the name.
  using Resolver = std::function<bool(TSpliter& spliter, const std::string& name, std::int64_t& value)>;

  virtual ~TSpliter() = default;

  // Moves the cursor one character forward.
  virtual void NextChar() = 0;
  // Raises SilentAbort with `message` (derived classes add context).
  virtual void Error(const std::string& message);

  std::uint8_t Current() const { return ch_; }
  bool AtEnd() const { return atEnd_; }
  // Characters taken by the last number or name read.
  std::int32_t Count() const { return count_; }

  // The current character, then the cursor moves on; an error at the end.
  std::uint8_t TakeChar();
  void SkipBlanks();
  // One number: optional signs, "$" or "0x" hexadecimal, or decimal.
  // Stops at the first character that does not fit.  Values wrap modulo 2^64.
  std::int64_t ReadNumber();
  // A name of characters in `set` and double-byte characters.
  void ReadWhile(const CharSet& set, std::string& text);
  // One expression from the cursor; stops at the first character that is no
  // operator.  Without a resolver, names are errors.
  std::int64_t Evaluate(const Resolver& resolver = nullptr);

 protected:
  std::uint8_t ch_ = 0;
  bool atEnd_ = false;
  std::int32_t count_ = 0;

 private:
  // Error, guaranteed not to return.
  [[noreturn]] void Fail(const std::string& message);
  std::int64_t Expression(const Resolver& resolver, int depth);
  std::int64_t Term(const Resolver& resolver, int depth);
  std::int64_t Comparison(const Resolver& resolver, int depth);
  std::int64_t Operand(const Resolver& resolver, int depth);
};

// The scanner over a text held in memory.
class TStringSpliter : public TSpliter {
 public:
  explicit TStringSpliter(std::string text);

  void NextChar() override;
  // Prefixes the message with an excerpt of the text: the whole text when
  // shorter than 10 characters, else its first 6 and "...".
  void Error(const std::string& message) override;

  std::int32_t Position() const { return position_; }

 private:
  std::string text_;
  std::int32_t position_ = 0;
};

}  // namespace qmt
