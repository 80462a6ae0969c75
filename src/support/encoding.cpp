#include "support/encoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <mutex>

namespace qmt {
namespace {

// One iconv descriptor per direction, opened on first use.  iconv
// descriptors carry shift state, so each conversion resets it first.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw EncodingError(std::string("iconv cannot convert from ") + from + " to " + to);
    }
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts as much as it can.  Returns the number of input bytes consumed;
  // stops at the first byte sequence it cannot convert.
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

  std::mutex mutex;

 private:
  iconv_t cd_;
};

Converter& ToUtf8() {
  static Converter c("UTF-8", "CP932");
  return c;
}
Converter& FromUtf8() {
  static Converter c("CP932", "UTF-8");
  return c;
}

// Length of the UTF-8 sequence that starts with b (1 for a stray byte).
size_t Utf8Length(unsigned char b) {
  if (b >= 0xF0) return 4;
  if (b >= 0xE0) return 3;
  if (b >= 0xC0) return 2;
  return 1;
}

}  // namespace

std::string Cp932ToUtf8(std::string_view text) {
  Converter& c = ToUtf8();
  std::lock_guard lock(c.mutex);
  std::string out;
  out.reserve(text.size() * 3 / 2);
  while (!text.empty()) {
    size_t used = c.Convert(text, out);
    text.remove_prefix(used);
    if (!text.empty()) {
      out += "\xEF\xBF\xBD";  // U+FFFD for an undefined byte
      const bool pair = text.size() > 1 && IsLeadByte(static_cast<unsigned char>(text[0])) &&
                        IsTrailByte(static_cast<unsigned char>(text[1]));
      size_t skip = pair ? 2 : 1;
      text.remove_prefix(skip);
    }
  }
  return out;
}

bool TryUtf8ToCp932(std::string_view text, std::string& out, std::string& error) {
  Converter& c = FromUtf8();
  std::lock_guard lock(c.mutex);
  out.clear();
  out.reserve(text.size());
  size_t used = c.Convert(text, out);
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
