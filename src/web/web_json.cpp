#include "web/web_json.h"

#include <cstdio>

#include "host/simulator.h"
#include "support/encoding.h"

namespace qmt::web {

std::string JsonString(std::string_view raw) {
  const std::string text = ValidUtf8(raw);
  std::string out = "\"";
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += ch;
        }
    }
  }
  return out + "\"";
}

std::string OutcomeJson::Write(bool ok, const std::vector<ErrorLine>* errors, const std::vector<std::string>& messages,
                               const std::string& error, const std::string& fault, int frame) const {
  std::string out = std::string("{\"ok\":") + (ok ? "true" : "false");
  if (errors) {
    out += ",\"errors\":[";
    for (std::size_t i = 0; i < errors->size(); ++i)
      out += (i ? "," : "") + std::string("{\"line\":") + std::to_string((*errors)[i].line) +
             ",\"text\":" + JsonString((*errors)[i].text) + "}";
    out += "]";
  }
  out += ",\"messages\":[";
  for (std::size_t i = 0; i < messages.size(); ++i) out += (i ? "," : "") + JsonString(messages[i]);
  out += "]";
  if (!error.empty()) out += ",\"error\":" + JsonString(error);
  if (!fault.empty()) out += ",\"fault\":" + JsonString(fault);
  return out + ",\"frame\":" + std::to_string(frame) + "}";
}

std::string PanelJson() {
  std::string out = "{\"width\":640,\"height\":480,\"timerMs\":33,\"keys\":[";
  for (std::size_t i = 0; i < kKeys.size(); ++i) {
    const KeyInfo& k = kKeys[i];
    out += (i ? "," : "") + std::string("{\"control\":") + JsonString(k.control) +
           ",\"caption\":" + JsonString(k.caption) + ",\"label\":" + JsonString(k.label) +
           ",\"red\":" + (k.red ? "true" : "false") + "}";
  }
  out += "],\"sliders\":[";
  for (std::size_t i = 0; i < kSliders.size(); ++i) {
    const SliderInfo& s = kSliders[i];
    out += (i ? "," : "") + std::string("{\"control\":") + JsonString(s.control) + ",\"name\":" + JsonString(s.name) +
           ",\"caption\":" + JsonString(s.caption) + ",\"min\":0,\"max\":1000,\"arrowStep\":" +
           std::to_string(s.arrowStep) + ",\"pageStep\":" + std::to_string(s.pageStep) + "}";
  }
  out += "],\"switches\":[";
  for (std::size_t i = 0; i < kSwitches.size(); ++i) {
    const SwitchInfo& s = kSwitches[i];
    out += (i ? "," : "") + std::string("{\"control\":") + JsonString(s.control) +
           ",\"caption\":" + JsonString(s.caption) + "}";
  }
  return out + "]}";
}

std::string UnconvertibleText(std::string_view text, int firstLine) {
  int line = firstLine;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t n = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    const std::string_view ch = text.substr(i, n);
    std::string out, error;
    if (!TryUtf8ToCp932(ch, out, error)) {
      // Malformed UTF-8 has no character to show: the converter names it.
      if (ValidUtf8(ch) != ch) return std::to_string(line) + "行目: " + error;
      char32_t cp = n == 1 ? lead : lead & (0xFF >> (n + 1));
      for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(ch[k]) & 0x3F);
      char code[16];
      std::snprintf(code, sizeof code, "%04X", static_cast<unsigned>(cp));
      return std::to_string(line) + "行目の文字 U+" + code + " (" + std::string(ch) + ") はシフトJISで表せません";
    }
    if (ch == "\n") ++line;
    i += n;
  }
  return {};
}

}  // namespace qmt::web
