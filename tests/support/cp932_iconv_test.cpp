// The code page 932 table against iconv's CP932, which it was made from:
// the converters built on the table must give what the same converters built
// on iconv gave, code for code, error for error.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <string>

#include "support/encoding.h"

namespace qmt {
namespace {

// The converters as they were written over iconv.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() { iconv_close(cd_); }
  // Converts as much as it can; returns the number of input bytes consumed.
  size_t Convert(std::string_view in, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buffer[1024];
    while (srcLeft > 0) {
      char* dst = buffer;
      size_t dstLeft = sizeof buffer;
      size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      out.append(buffer, dst - buffer);
      if (r == static_cast<size_t>(-1) && errno != E2BIG) break;
    }
    return in.size() - srcLeft;
  }

 private:
  iconv_t cd_;
};

std::string ReferenceToUtf8(std::string_view text) {
  static Iconv c("UTF-8", "CP932");
  std::string out;
  while (!text.empty()) {
    text.remove_prefix(c.Convert(text, out));
    if (!text.empty()) {
      out += "\xEF\xBF\xBD";
      const bool pair = text.size() > 1 && IsLeadByte(static_cast<unsigned char>(text[0])) &&
                        IsTrailByte(static_cast<unsigned char>(text[1]));
      text.remove_prefix(pair ? 2 : 1);
    }
  }
  return out;
}

size_t Utf8Length(unsigned char b) { return b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1; }

bool ReferenceToCp932(std::string_view text, std::string& out, std::string& error) {
  static Iconv c("CP932", "UTF-8");
  out.clear();
  const size_t used = c.Convert(text, out);
  if (used == text.size()) return true;
  size_t line = 1;
  for (size_t i = 0; i < used; ++i) line += text[i] == '\n';
  const size_t len = std::min(Utf8Length(static_cast<unsigned char>(text[used])), text.size() - used);
  const std::string ch(text.substr(used, len));
  char where[64];
  std::snprintf(where, sizeof where, " (line %zu)", line);
  if (len == 1 && static_cast<unsigned char>(ch[0]) >= 0x80) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(ch[0]));
    error = std::string("malformed UTF-8 byte ") + hex + where;
  } else {
    error = "character \"" + ch + "\" cannot be written in code page 932" + where;
  }
  return false;
}

std::string Hex(std::string_view bytes) {
  std::string s;
  char b[4];
  for (unsigned char c : bytes) std::snprintf(b, sizeof b, "%02X ", c), s += b;
  return s;
}

void ExpectSameEncoding(const std::string& utf8) {
  std::string out, error, refOut, refError;
  const bool ok = TryUtf8ToCp932(utf8, out, error);
  const bool refOk = ReferenceToCp932(utf8, refOut, refError);
  ASSERT_EQ(ok, refOk) << Hex(utf8);
  if (ok) {
    ASSERT_EQ(out, refOut) << Hex(utf8);
  } else {
    ASSERT_EQ(error, refError) << Hex(utf8);
  }
}

std::string Utf8(char32_t c) {
  std::string s;
  if (c < 0x80) {
    s += static_cast<char>(c);
  } else if (c < 0x800) {
    s += static_cast<char>(0xC0 | c >> 6);
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    s += static_cast<char>(0xE0 | c >> 12);
    s += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | c >> 18);
    s += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    s += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  }
  return s;
}

// Every single byte and every pair of bytes, alone and between other text.
TEST(Cp932Table, DecodesEveryCodeAsIconvDoes) {
  for (unsigned a = 0; a < 256; ++a) {
    const std::string one(1, static_cast<char>(a));
    ASSERT_EQ(Cp932ToUtf8(one), ReferenceToUtf8(one)) << Hex(one);
    for (unsigned b = 0; b < 256; ++b) {
      const std::string two{static_cast<char>(a), static_cast<char>(b)};
      ASSERT_EQ(Cp932ToUtf8(two), ReferenceToUtf8(two)) << Hex(two);
      const std::string framed = "x" + two + "\x82";
      ASSERT_EQ(Cp932ToUtf8(framed), ReferenceToUtf8(framed)) << Hex(framed);
    }
  }
}

// One character at a time, as the device decodes text for its glyphs.
TEST(Cp932Table, DecodesSingleCharactersAsIconvDoes) {
  Iconv c("UTF-32LE", "CP932");
  for (unsigned code = 0; code < 0x10000; ++code) {
    if (code >= 0x100 && !IsLeadByte(code >> 8)) continue;
    std::string bytes = code < 0x100 ? std::string(1, static_cast<char>(code))
                                     : std::string{static_cast<char>(code >> 8), static_cast<char>(code)};
    std::string out;
    const bool whole = c.Convert(bytes, out) == bytes.size() && out.size() == 4;
    const char32_t expected = whole ? static_cast<char32_t>(static_cast<unsigned char>(out[0]) |
                                                            static_cast<unsigned char>(out[1]) << 8 |
                                                            static_cast<unsigned char>(out[2]) << 16)
                                    : U'\uFFFF';
    ASSERT_EQ(DecodeCp932(static_cast<std::uint16_t>(code), U'\uFFFF'), expected) << std::hex << code;
  }
}

TEST(Cp932Table, EncodesEveryCharacterAsIconvDoes) {
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c < 0xE000) continue;
    ExpectSameEncoding(Utf8(c));
  }
  // Whatever stops the conversion, it stops at the same place with the
  // same message: after some text, on the second line.
  for (char32_t c : {U'あ', U'😀', U'\u00A5', U'\u203E', U'\uFF5E', U'\u301C', U'\u2225', U'\uE000', U'\U000E0041'})
    ExpectSameEncoding("ab\ncd" + Utf8(c) + "e");
}

// Malformed UTF-8: stray and missing continuation bytes, overlong forms,
// surrogates, beyond U+10FFFF, cut off at the end.
TEST(Cp932Table, RefusesMalformedUtf8AsIconvDoes) {
  for (unsigned a = 0x80; a < 256; ++a) {
    ExpectSameEncoding(std::string("ok\n") + static_cast<char>(a));
    for (unsigned b = 0; b < 256; ++b) ExpectSameEncoding({static_cast<char>(a), static_cast<char>(b), 'z'});
  }
  for (const char* bad : {"\xE0\x80\x80", "\xE0\x9F\xBF", "\xED\xA0\x80", "\xED\xBF\xBF", "\xF0\x80\x80\x80",
                          "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xF8\x88\x80\x80\x80",
                          "\xFC\x84\x80\x80\x80\x80", "\xE3\x81", "\xF0\x9F\x98", "\xE3\x81z", "\xC0\xAF",
                          "\xC1\xBF", "\xE3\x81\x82\xE3"}) {
    ExpectSameEncoding(bad);
    ExpectSameEncoding(std::string("x\n") + bad + "y");
  }
}

// Runs of random bytes, weighted towards lead and trail bytes.
TEST(Cp932Table, DecodesRandomTextAsIconvDoes) {
  std::mt19937 random(932);
  std::uniform_int_distribution<int> length(1, 12), kind(0, 3), any(0, 255), lead(0x81, 0x9F), trail(0x40, 0xFC);
  for (int i = 0; i < 50000; ++i) {
    std::string text;
    for (int n = length(random); n > 0; --n) {
      const int k = kind(random);
      text += static_cast<char>(k == 0 ? any(random) : k == 1 ? lead(random) : k == 2 ? trail(random) : 'A' + n);
    }
    ASSERT_EQ(Cp932ToUtf8(text), ReferenceToUtf8(text)) << Hex(text);
  }
}

}  // namespace
}  // namespace qmt
