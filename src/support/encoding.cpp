#include "support/encoding.h"

#include <algorithm>
#include <cstdio>

#include "support/cp932_table.h"

namespace qmt {
namespace {

// Length of the UTF-8 sequence that starts with b (1 for a stray byte).
size_t Utf8Length(unsigned char b) {
  if (b >= 0xF0) return 4;
  if (b >= 0xE0) return 3;
  if (b >= 0xC0) return 2;
  return 1;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// One well-formed UTF-8 sequence at the start of `text`: its character and
// length, or length 0 when the bytes are no such sequence (a stray or
// missing continuation byte, an overlong form, a surrogate, beyond U+10FFFF).
struct Utf8Char {
  char32_t c = 0;
  size_t length = 0;
};

Utf8Char ReadUtf8(std::string_view text) {
  const auto b0 = static_cast<unsigned char>(text[0]);
  if (b0 < 0x80) return {b0, 1};
  size_t length;
  char32_t c;
  char32_t least;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2, c = b0 & 0x1F, least = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3, c = b0 & 0x0F, least = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4, c = b0 & 0x07, least = 0x10000;
  } else {
    return {};
  }
  if (text.size() < length) return {};
  for (size_t i = 1; i < length; ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if ((b & 0xC0) != 0x80) return {};
    c = c << 6 | (b & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return {};
  return {c, length};
}

// The code page 932 code of a character, or -1.
int EncodeCp932(char32_t c) {
  if (c > 0xFFFF) return -1;
  const std::uint16_t* begin = cp932::kEncode;
  size_t lo = 0, hi = cp932::kEncodeCount;
  while (lo < hi) {
    const size_t mid = (lo + hi) / 2;
    if (begin[2 * mid] < c) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo < cp932::kEncodeCount && begin[2 * lo] == c) return begin[2 * lo + 1];
  return -1;
}

}  // namespace

char32_t DecodeCp932(std::uint16_t code, char32_t undefined) {
  std::uint16_t c;
  if (code < 0x100) {
    c = cp932::kSingle[code];
  } else {
    const auto lead = static_cast<std::uint8_t>(code >> 8);
    if (!IsLeadByte(lead)) return undefined;
    c = cp932::kPairs[cp932::LeadIndex(lead) * 256 + (code & 0xFF)];
  }
  return c == cp932::kUndefined ? undefined : char32_t{c};
}

std::string Cp932ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 3 / 2);
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    std::uint16_t c = cp932::kUndefined;
    size_t length = 1;
    if (!IsLeadByte(b)) {
      c = cp932::kSingle[b];
    } else if (i + 1 < text.size()) {
      c = cp932::kPairs[cp932::LeadIndex(b) * 256 + static_cast<unsigned char>(text[i + 1])];
      length = 2;
    }
    if (c != cp932::kUndefined) {
      AppendUtf8(out, c);
      i += length;
      continue;
    }
    // U+FFFD for an undefined byte; a lead byte takes a trail byte with it.
    out += "\xEF\xBF\xBD";
    const bool pair = i + 1 < text.size() && IsLeadByte(b) && IsTrailByte(static_cast<unsigned char>(text[i + 1]));
    i += pair ? 2 : 1;
  }
  return out;
}

namespace {

bool Utf8ToCp932Into(std::string_view text, std::string& out, std::string& error, bool keptBytes) {
  out.clear();
  out.reserve(text.size());
  size_t used = 0;
  while (used < text.size()) {
    const Utf8Char u = ReadUtf8(text.substr(used));
    if (u.length != 0 && u.c >= cp932::kIgnoredFirst && u.c <= cp932::kIgnoredLast) {
      used += u.length;
      continue;
    }
    if (keptBytes && u.length != 0 && u.c >= kKeptByteFirst && u.c <= kKeptByteLast) {
      out += static_cast<char>(u.c - kKeptByteFirst);
      used += u.length;
      continue;
    }
    const int code = u.length == 0 ? -1 : EncodeCp932(u.c);
    if (code < 0) break;
    if (code > 0xFF) out += static_cast<char>(code >> 8);
    out += static_cast<char>(code & 0xFF);
    used += u.length;
  }
  if (used == text.size()) return true;
  size_t line = 1;
  for (size_t i = 0; i < used; ++i) line += text[i] == '\n';
  size_t len = std::min(Utf8Length(static_cast<unsigned char>(text[used])), text.size() - used);
  std::string ch(text.substr(used, len));
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

}  // namespace

bool TryUtf8ToCp932(std::string_view text, std::string& out, std::string& error) {
  return Utf8ToCp932Into(text, out, error, false);
}

bool TryUtf8ToCp932Kept(std::string_view text, std::string& out, std::string& error) {
  return Utf8ToCp932Into(text, out, error, true);
}

std::string Cp932ToUtf8Kept(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 3 / 2);
  const auto keep = [&out](unsigned char b) { AppendUtf8(out, kKeptByteFirst + b); };
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b == 0) {
      keep(b);
      ++i;
      continue;
    }
    std::uint16_t code = b;
    size_t length = 1;
    if (IsLeadByte(b) && i + 1 < text.size() && IsTrailByte(static_cast<unsigned char>(text[i + 1]))) {
      code = static_cast<std::uint16_t>(b << 8 | static_cast<unsigned char>(text[i + 1]));
      length = 2;
    }
    const char32_t c = IsLeadByte(b) && length == 1 ? 0xFFFF : DecodeCp932(code, 0xFFFF);
    // Only a character that the code page writes back as these very bytes
    // is shown as itself.
    if (c != 0xFFFF && EncodeCp932(c) == code) {
      AppendUtf8(out, c);
    } else {
      for (size_t k = 0; k < length; ++k) keep(static_cast<unsigned char>(text[i + k]));
    }
    i += length;
  }
  return out;
}

bool LooksLikeUtf8(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return true;
  bool beyondAscii = false;
  for (size_t i = 0; i < bytes.size();) {
    const Utf8Char u = ReadUtf8(bytes.substr(i));
    if (u.length == 0) return false;
    beyondAscii = beyondAscii || u.length > 1;
    i += u.length;
  }
  return beyondAscii;
}

std::string Utf8ToCp932(std::string_view text) {
  std::string out, error;
  if (!TryUtf8ToCp932(text, out, error)) throw EncodingError(error);
  return out;
}

std::string ValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    std::size_t n = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    bool ok = n > 0 && i + n <= text.size();
    for (std::size_t k = 1; ok && k < n; ++k) ok = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    if (ok && n >= 3) {
      // Overlong forms, surrogates and code points past U+10FFFF.
      const unsigned char d = static_cast<unsigned char>(text[i + 1]);
      if ((c == 0xE0 && d < 0xA0) || (c == 0xED && d >= 0xA0) || (c == 0xF0 && d < 0x90) || (c == 0xF4 && d >= 0x90))
        ok = false;
    }
    if (ok) {
      out.append(text.substr(i, n));
      i += n;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

}  // namespace qmt
