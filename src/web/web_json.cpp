#include "web/web_json.h"

#include <cstdio>

#include "host/simulator.h"
#include "host/unconvertible_text.h"
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

std::string UnconvertibleText(std::string_view text, int firstLine, bool keptBytes) {
  return qmt::UnconvertibleText(text, firstLine, true, keptBytes);
}

}  // namespace qmt::web
