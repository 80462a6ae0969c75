#include "support/spliter.h"

#include <gtest/gtest.h>

#include "support/encoding.h"

namespace qmt {
namespace {

// The message a text raises, in UTF-8 (zero bytes shown as "\0").
template <typename Fn>
std::string MessageOf(const std::string& text, Fn fn) {
  TStringSpliter s(Sjis(text));
  try {
    fn(s);
  } catch (const SilentAbort& e) {
    std::string m = Cp932ToUtf8(e.message());
    for (std::size_t at; (at = m.find('\0')) != std::string::npos;) m.replace(at, 1, "\\0");
    return m;
  }
  return "(no error)";
}

TEST(Spliter, EvaluatesExpressions) {
  struct Case {
    const char* text;
    std::int64_t value;
  } cases[] = {
      {" 0xE0+0x1c", 252}, {" 0xE0     +3", 227}, {"           3", 3}, {" 0x60+0x0c+1", 109},
      {"$10*2-1", 31},     {"(1+2)*3", 9},        {"-5+2", -3},        {"2*3<4", 2},
      {"1+2<3", 2},        {"1<2<3", 1},          {" 12 abc", 12},     {"--5", 5},
      {"-(1+2)", -3},      {"6&3|8", 10},         {"7/-2", -3},        {"0x7FFFFFFFFFFFFFFF+1", INT64_MIN},
  };
  for (const Case& c : cases) {
    TStringSpliter s(c.text);
    EXPECT_EQ(s.Evaluate(), c.value) << c.text;
  }
}

TEST(Spliter, ReadNumberValueCountAndStop) {
  struct Case {
    const char* text;
    std::int64_t value;
    int count;
    std::uint8_t next;  // the character left current
  } cases[] = {
      {"0", 0, 1, 0},   {"0x", 0, 2, 0},      {"$", 0, 1, 0},      {"0X1F", 0, 1, 'X'},
      {"012", 12, 3, 0}, {"  +7,", 7, 1, ','}, {"$ff", 255, 3, 0},  {"--5", 5, 1, 0},
  };
  for (const Case& c : cases) {
    TStringSpliter s(c.text);
    EXPECT_EQ(s.ReadNumber(), c.value) << c.text;
    EXPECT_EQ(s.Count(), c.count) << c.text;
    EXPECT_EQ(s.Current(), c.next) << c.text;
  }
}

// The pair reading of the tool window: "16" alone gives both values.
TEST(Spliter, ReadsPairs) {
  auto pair = [](const char* text) {
    TStringSpliter s(text);
    std::int64_t a = s.ReadNumber(), b = a;
    s.SkipBlanks();
    if (s.Current() == ',') {
      s.TakeChar();
      s.SkipBlanks();
      b = s.ReadNumber();
    }
    return std::pair{a, b};
  };
  EXPECT_EQ(pair(" 0 , 0"), (std::pair<std::int64_t, std::int64_t>{0, 0}));
  EXPECT_EQ(pair("16,16"), (std::pair<std::int64_t, std::int64_t>{16, 16}));
  EXPECT_EQ(pair("16"), (std::pair<std::int64_t, std::int64_t>{16, 16}));
}

TEST(Spliter, Messages) {
  auto evaluate = [](TSpliter& s) { s.Evaluate(); };
  auto number = [](TSpliter& s) { s.ReadNumber(); };
  EXPECT_EQ(MessageOf("", number), "のStringSpliterにおいて数じゃない");
  EXPECT_EQ(MessageOf("", evaluate), "のStringSpliterにおいて数字ないかも");
  EXPECT_EQ(MessageOf("+-5", number), "+-5のStringSpliterにおいて数じゃない");
  EXPECT_EQ(MessageOf("+", number), "+のStringSpliterにおいて数じゃない");
  EXPECT_EQ(MessageOf("abc", evaluate), "abcのStringSpliterにおいて数字ないかも");
  EXPECT_EQ(MessageOf("(1+2", evaluate), "(1+2のStringSpliterにおいて)じゃなくて\\0を見つけた");
  EXPECT_EQ(MessageOf("(1+2x", evaluate), "(1+2xのStringSpliterにおいて)じゃなくてxを見つけた");
  EXPECT_EQ(MessageOf("", [](TSpliter& s) { s.TakeChar(); }),
            "のStringSpliterにおいて次の文字が無い");
  // Nine characters are quoted whole, ten are cut to six and "...".
  EXPECT_EQ(MessageOf("123456789", [](TSpliter& s) { s.ReadNumber(), s.TakeChar(); }),
            "123456789のStringSpliterにおいて次の文字が無い");
  EXPECT_EQ(MessageOf("(123456789", evaluate), "(12345...のStringSpliterにおいて)じゃなくて\\0を見つけた");
  // A division by zero is an error, not a crash.
  EXPECT_EQ(MessageOf("1/0", evaluate), "1/0のStringSpliterにおいて0で割った");
  EXPECT_EQ(MessageOf(std::string(300, '(') + "1", evaluate).find("括弧の入れ子が深すぎる") != std::string::npos,
            true);
}

TEST(Spliter, ResolverAndNames) {
  TSpliter::Resolver resolver = [](TSpliter&, const std::string& name, std::int64_t& v) {
    if (name != Sjis("赤@1")) return false;
    v = 0xE0;
    return true;
  };
  TStringSpliter s(Sjis("赤@1+3"));
  EXPECT_EQ(s.Evaluate(resolver), 0xE3);
  EXPECT_EQ(MessageOf("zz", [&](TSpliter& sp) { sp.Evaluate(resolver); }),
            "zzのStringSpliterにおいて数字ないかも");

  TStringSpliter names(Sjis("ab色_1-x"));
  std::string text;
  names.ReadWhile(TSpliter::CharSet().set('a').set('b').set('_').set('1'), text);
  EXPECT_EQ(text, Sjis("ab色_1"));
  EXPECT_EQ(names.Count(), 6);
  EXPECT_EQ(names.Current(), '-');
}

}  // namespace
}  // namespace qmt
