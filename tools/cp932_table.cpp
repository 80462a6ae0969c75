// Build step: asks the C library's iconv, once, how code page 932 ("CP932")
// maps to Unicode and back, and writes the answer as a C++ source of arrays
// (see src/support/cp932_table.h), so that the programs convert from a table
// of their own and need no iconv when they run.
//
//   qmt_cp932_table OUT.cpp
//
// Decoding: every single byte and every pair of bytes whose first byte is
// not a one-byte character.  Encoding: every Unicode scalar value.  The
// program refuses to write a table when iconv's code page breaks an
// assumption the converters rely on (every character in the Basic
// Multilingual Plane, two-byte characters only after lead bytes, one range
// of characters that are accepted and written as nothing).
#include <iconv.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::uint16_t kUndefined = 0xFFFF;

bool IsLeadByte(unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  // All of `in` converted, or false.
  bool Convert(const void* in, std::size_t length, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char src[8];
    std::memcpy(src, in, length);
    char dst[32];
    char* s = src;
    char* d = dst;
    std::size_t sLeft = length, dLeft = sizeof dst;
    const std::size_t r = iconv(cd_, &s, &sLeft, &d, &dLeft);
    if (r == static_cast<std::size_t>(-1) || sLeft != 0) return false;
    out.assign(dst, d - dst);
    return true;
  }

 private:
  iconv_t cd_;
};

// One Unicode character from the bytes, or kUndefined.
std::uint32_t DecodeOne(Iconv& decoder, const unsigned char* bytes, std::size_t length) {
  std::string out;
  if (!decoder.Convert(bytes, length, out) || out.size() != 4) return kUndefined;
  std::uint32_t c;
  std::memcpy(&c, out.data(), 4);
  return c;
}

void Fail(const std::string& why) {
  std::fprintf(stderr, "qmt_cp932_table: %s\n", why.c_str());
  std::exit(1);
}

void WriteArray(std::FILE* f, const char* declaration, const std::vector<std::uint16_t>& values) {
  std::fprintf(f, "%s = {", declaration);
  for (std::size_t i = 0; i < values.size(); ++i) std::fprintf(f, "%s0x%04X,", i % 12 == 0 ? "\n " : "", values[i]);
  std::fprintf(f, "\n};\n\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: qmt_cp932_table OUT.cpp\n");
    return 2;
  }
  Iconv decoder("UTF-32LE", "CP932");
  Iconv encoder("CP932", "UTF-32LE");
  if (!decoder.ok() || !encoder.ok()) Fail("iconv has no code page CP932");

  std::vector<std::uint16_t> single(256, kUndefined);
  for (unsigned b = 0; b < 256; ++b) {
    const unsigned char bytes[1] = {static_cast<unsigned char>(b)};
    const std::uint32_t c = DecodeOne(decoder, bytes, 1);
    if (c != kUndefined && IsLeadByte(b)) Fail("a lead byte is a character of its own");
    if (c != kUndefined && c > 0xFFFF) Fail("a character outside the Basic Multilingual Plane: " + std::to_string(c));
    if (c != kUndefined) single[b] = static_cast<std::uint16_t>(c);
  }
  // 60 lead bytes, 256 second bytes each.
  std::vector<std::uint16_t> pairs;
  for (unsigned lead = 0x80; lead < 0x100; ++lead) {
    for (unsigned trail = 0; trail < 256; ++trail) {
      const unsigned char bytes[2] = {static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)};
      std::uint32_t c = DecodeOne(decoder, bytes, 2);
      if (!IsLeadByte(lead)) {
        // Two one-byte characters at most; a pair that is one character
        // would need a lead byte.
        if (c != kUndefined) Fail("a two-byte character after a byte that is no lead byte");
        continue;
      }
      if (c != kUndefined && c > 0xFFFF) Fail("a character outside the Basic Multilingual Plane: " + std::to_string(c));
      pairs.push_back(static_cast<std::uint16_t>(c));
    }
  }
  // Unicode -> code page 932, sorted by Unicode.
  // Characters that iconv accepts and writes nothing for (the language
  // tags): one range of them, or none.
  std::vector<std::uint16_t> encode;
  std::uint32_t ignoredFirst = 1, ignoredLast = 0;
  for (std::uint32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c < 0xE000) continue;
    std::string out;
    if (!encoder.Convert(&c, 4, out)) continue;
    if (out.empty()) {
      if (ignoredFirst > ignoredLast) {
        ignoredFirst = ignoredLast = c;
      } else if (c == ignoredLast + 1) {
        ignoredLast = c;
      } else {
        Fail("characters written as nothing in more than one range");
      }
      continue;
    }
    if (c > 0xFFFF) Fail("a character outside the Basic Multilingual Plane: " + std::to_string(c));
    if (out.size() == 1) {
      encode.push_back(static_cast<std::uint16_t>(c));
      encode.push_back(static_cast<unsigned char>(out[0]));
    } else if (out.size() == 2 && IsLeadByte(static_cast<unsigned char>(out[0]))) {
      encode.push_back(static_cast<std::uint16_t>(c));
      encode.push_back(static_cast<std::uint16_t>(static_cast<unsigned char>(out[0]) << 8 |
                                                  static_cast<unsigned char>(out[1])));
    } else {
      Fail("an encoding that is neither one byte nor a lead byte and one more");
    }
  }

  std::FILE* f = std::fopen(argv[1], "w");
  if (f == nullptr) Fail(std::string("cannot write ") + argv[1]);
  std::fprintf(f, "// Written by qmt_cp932_table from iconv's CP932 at build time.\n");
  std::fprintf(f, "#include \"support/cp932_table.h\"\n\nnamespace qmt::cp932 {\n\n");
  WriteArray(f, "extern const std::uint16_t kSingle[256]", single);
  WriteArray(f, "extern const std::uint16_t kPairs[kLeadBytes * 256]", pairs);
  WriteArray(f, "extern const std::uint16_t kEncode[]", encode);
  std::fprintf(f, "extern const std::size_t kEncodeCount = %zu;\n", encode.size() / 2);
  std::fprintf(f, "extern const char32_t kIgnoredFirst = 0x%X;\nextern const char32_t kIgnoredLast = 0x%X;\n", ignoredFirst,
               ignoredLast);
  std::fprintf(f, "\n}  // namespace qmt::cp932\n");
  if (std::fclose(f) != 0) Fail(std::string("cannot write ") + argv[1]);
  return 0;
}
