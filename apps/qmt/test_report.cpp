// qmt test's reports: JUnit XML for CI systems, and an HTML page that shows
// each failure's pictures side by side.  The page carries its own style and
// script, so it opens offline in any browser.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "host/scenario_runner.h"
#include "support/encoding.h"
#include "support/file_io.h"
#include "test_run.h"

namespace qmt::cli {
namespace {

namespace fs = std::filesystem;

std::string XmlEscape(std::string_view text) {
  // A scenario in another encoding puts its bytes in messages: the report
  // stays UTF-8.
  const std::string s = ValidUtf8(text);
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      case '\n': out += "&#10;"; break;
      default:
        // Control characters are not allowed in XML 1.0.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
          out += '?';
        } else {
          out += c;
        }
    }
  }
  return out;
}

// A relative path as a URL: every byte but the unreserved ones and '/'
// percent-encoded.
std::string UrlPath(std::string_view path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

void WriteWithFolder(const std::string& path, const std::string& text) {
  std::error_code ec;
  fs::path parent = fs::path(path).parent_path();
  if (!parent.empty()) fs::create_directories(parent, ec);
  WriteFileAtomic(path, text);
}

const char* kStyle = R"(
body { font-family: sans-serif; margin: 1.5em; color: #222; }
h1 { font-size: 1.4em; }
.summary span { margin-right: 1em; }
.passed { color: #176f2c; } .failed, .errors { color: #b3261e; }
table.cases { border-collapse: collapse; margin-bottom: 2em; }
table.cases td { padding: 0.15em 0.8em; border-bottom: 1px solid #ddd; }
section.case { border-top: 2px solid #b3261e; padding-top: 0.5em; margin-bottom: 2.5em; }
section.case h2 { font-size: 1.15em; margin: 0.2em 0; }
code, pre { font-family: monospace; }
.message { white-space: pre-wrap; }
.pictures { display: flex; flex-wrap: wrap; gap: 12px; align-items: flex-start; }
.pictures figure { margin: 0; }
.shot { position: relative; width: 640px; height: 480px; border: 1px solid #888; cursor: zoom-in; overflow: hidden; }
.shot.zoomed { width: 1280px; height: 960px; cursor: zoom-out; }
.shot img { position: absolute; left: 0; top: 0; width: 100%; height: 100%; image-rendering: pixelated; display: block; }
.missing { width: 640px; height: 480px; border: 1px dashed #888; display: flex; align-items: center; justify-content: center; color: #666; }
.mark { position: absolute; transform: translate(-50%, -50%); box-sizing: border-box; pointer-events: none;
  width: max(calc(var(--w) + 12px), 26px); height: max(calc(var(--h) + 12px), 26px); border-radius: 4px;
  border: 3px solid #ffea00; outline: 2px solid #000; box-shadow: inset 0 0 0 1px #000; }
.nomarks .mark { display: none; }
.compare { margin-top: 0.8em; }
.compare input[type=range] { width: 642px; display: block; }
pre.lines { background: #f6f6f6; padding: 0.5em; overflow-x: auto; max-height: 40em; }
pre.lines .del { background: #fde2e1; display: block; }
pre.lines .add { background: #dcf5dc; display: block; }
pre.lines .gap { color: #777; display: block; }
)";

// The slider shows the actual page over the baseline up to its position;
// the button shows one or the other whole.  A click on a picture zooms it
// to twice its size and back; the marks around the differences can be
// hidden.
const char* kScript = R"(
for (const c of document.querySelectorAll('.compare')) {
  const over = c.querySelector('img.over');
  const range = c.querySelector('input[type=range]');
  const label = c.querySelector('.showing');
  const show = (v) => {
    over.style.clipPath = 'inset(0 ' + (100 - v) + '% 0 0)';
    label.textContent = v == 0 ? 'baseline' : v == 100 ? 'actual' : 'actual left of ' + v + '%, baseline right';
  };
  range.addEventListener('input', () => show(Number(range.value)));
  c.querySelector('button').addEventListener('click', () => {
    range.value = Number(range.value) == 100 ? 0 : 100;
    show(Number(range.value));
  });
  show(Number(range.value));
}
for (const shot of document.querySelectorAll('.shot')) {
  shot.addEventListener('click', () => shot.classList.toggle('zoomed'));
}
for (const box of document.querySelectorAll('input.marks')) {
  const section = box.closest('section');
  box.addEventListener('change', () => section.classList.toggle('nomarks', !box.checked));
}
)";

// Rings around the places where the pages differ, placed in fractions of
// the page so that they stay on them at any size, and never smaller than a
// few screen pixels.
std::string Marks(const std::vector<PageRect>& marks) {
  std::string out;
  char style[160];
  for (const PageRect& r : marks) {
    std::snprintf(style, sizeof style, "left:%.4f%%;top:%.4f%%;--w:%.4f%%;--h:%.4f%%", (r.x + r.w / 2.0) * 100 / 640,
                  (r.y + r.h / 2.0) * 100 / 480, r.w * 100.0 / 640, r.h * 100.0 / 480);
    out += std::string("<div class=\"mark\" style=\"") + style + "\"></div>";
  }
  return out;
}

// A picture at its own size (a click zooms it), its marks, and a link to
// the file.
std::string Picture(const std::string& path, const char* what, const std::vector<PageRect>& marks) {
  if (path.empty()) return std::string("<figure><div class=\"missing\">no ") + what + "</div><figcaption>" + what + "</figcaption></figure>";
  const std::string url = XmlEscape(UrlPath(path));
  return std::string("<figure><div class=\"shot\" title=\"click to zoom\"><img class=\"") + what + "\" src=\"" + url +
         "\" alt=\"" + what + "\">" + Marks(marks) + "</div><figcaption>" + what + " · <a href=\"" + url +
         "\">full size</a></figcaption></figure>";
}

}  // namespace

std::string HtmlAnchor(std::size_t index) { return "case-" + std::to_string(index + 1); }

void WriteJunit(const std::string& path, const std::vector<Case>& cases, const std::vector<Outcome>& outcomes,
                double seconds, const std::string& html) {
  int failures = 0, errors = 0;
  for (const Outcome& o : outcomes) {
    failures += o.status == Outcome::kFailed;
    errors += o.status == Outcome::kError;
  }
  // Failures link to their place in the HTML report, relative to this file.
  std::string link;
  if (!html.empty()) {
    std::error_code ec;
    const fs::path from = fs::absolute(fs::path(path), ec).parent_path();
    fs::path to = fs::absolute(fs::path(html) / "index.html", ec).lexically_normal();
    fs::path rel = to.lexically_relative(from);
    link = (rel.empty() ? to : rel).generic_string();
  }
  char head[512];
  std::time_t now = std::time(nullptr);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", std::gmtime(&now));
  std::snprintf(head, sizeof head,
                "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                "<testsuites name=\"qmt test\" tests=\"%zu\" failures=\"%d\" errors=\"%d\" time=\"%.3f\">\n"
                "  <testsuite name=\"qmt test\" tests=\"%zu\" failures=\"%d\" errors=\"%d\" skipped=\"0\" "
                "time=\"%.3f\" timestamp=\"%s\">\n",
                cases.size(), failures, errors, seconds, cases.size(), failures, errors, seconds, stamp);
  std::string xml = head;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Outcome& o = outcomes[i];
    fs::path dir = fs::path(cases[i].name).parent_path();
    std::string classname = "scenarios";
    if (!dir.empty()) {
      std::string d = dir.generic_string();
      std::replace(d.begin(), d.end(), '/', '.');
      classname += "." + d;
    }
    char time[32];
    std::snprintf(time, sizeof time, "%.3f", o.seconds);
    xml += "    <testcase name=\"" + XmlEscape(cases[i].name) + "\" classname=\"" + XmlEscape(classname) +
           "\" file=\"" + XmlEscape(cases[i].file) + "\" time=\"" + time + "\"";
    if (o.status == Outcome::kPassed) {
      xml += "/>\n";
      continue;
    }
    const char* tag = o.status == Outcome::kFailed ? "failure" : "error";
    std::string body = o.text;
    if (!o.detail.empty()) body += "\n" + o.detail;
    if (!link.empty()) body += "\nHTML report: " + link + "#" + HtmlAnchor(i);
    xml += ">\n";
    if (!link.empty())
      xml += "      <properties><property name=\"html\" value=\"" + XmlEscape(link + "#" + HtmlAnchor(i)) +
             "\"/></properties>\n";
    xml += "      <" + std::string(tag) + " message=\"" + XmlEscape(o.text) + "\">" + XmlEscape(body) + "</" + tag +
           ">\n    </testcase>\n";
  }
  xml += "  </testsuite>\n</testsuites>\n";
  WriteWithFolder(path, xml);
}

void WriteHtmlReport(const std::string& dir, const std::vector<Case>& cases, const std::vector<Outcome>& outcomes,
                     double seconds, const std::string& macroName) {
  int passed = 0, failed = 0, errors = 0;
  for (const Outcome& o : outcomes) {
    passed += o.status == Outcome::kPassed;
    failed += o.status == Outcome::kFailed;
    errors += o.status == Outcome::kError;
  }
  char time[64];
  std::snprintf(time, sizeof time, "%.2f s", seconds);
  std::string h = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>qmt test: " +
                  std::to_string(passed) + " passed, " + std::to_string(failed + errors) +
                  " failed</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n<h1>qmt test</h1>\n";
  if (!macroName.empty()) h += "<p>testing " + XmlEscape(macroName) + "</p>\n";
  h += "<p class=\"summary\" id=\"summary\"><span class=\"passed\">" + std::to_string(passed) +
       " passed</span><span class=\"failed\">" + std::to_string(failed) + " failed</span><span class=\"errors\">" +
       std::to_string(errors) + (errors == 1 ? " error" : " errors") + "</span><span class=\"time\">" + time +
       "</span></p>\n";
  h += "<table class=\"cases\">\n";
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Outcome& o = outcomes[i];
    const char* word = o.status == Outcome::kPassed ? "PASS" : o.status == Outcome::kFailed ? "FAIL" : "ERROR";
    const char* cls = o.status == Outcome::kPassed ? "passed" : o.status == Outcome::kFailed ? "failed" : "errors";
    h += std::string("<tr><td class=\"") + cls + "\">" + word + "</td><td>";
    if (o.status == Outcome::kPassed) {
      h += XmlEscape(cases[i].name);
    } else {
      h += "<a href=\"#" + HtmlAnchor(i) + "\">" + XmlEscape(cases[i].name) + "</a>";
    }
    h += "</td></tr>\n";
  }
  h += "</table>\n";
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Outcome& o = outcomes[i];
    if (o.status == Outcome::kPassed) continue;
    h += "<section class=\"case\" id=\"" + HtmlAnchor(i) + "\">\n<h2>" +
         (o.status == Outcome::kFailed ? "FAIL " : "ERROR ") + XmlEscape(cases[i].name) + "</h2>\n";
    h += "<p class=\"where\">" + XmlEscape(cases[i].file);
    if (o.line > 0) h += " line " + std::to_string(o.line) + ": <code>" + XmlEscape(o.step) + "</code>";
    if (o.line == 0 && !o.step.empty()) h += ": start-up run";
    h += "</p>\n<p class=\"message\">" + XmlEscape(o.message.empty() ? o.text : o.message) + "</p>\n";
    if (!o.detail.empty()) h += "<pre class=\"detail\">" + XmlEscape(o.detail) + "</pre>\n";
    if (o.pictures.size() == 3) {
      if (!o.marks.empty())
        h += "<p><label><input type=\"checkbox\" class=\"marks\" checked> mark the " +
             std::to_string(o.marks.size()) + (o.marks.size() == 1 ? " place" : " places") +
             " that differ</label></p>\n";
      h += "<div class=\"pictures\">" + Picture(o.pictures[0], "baseline", o.marks) +
           Picture(o.pictures[1], "actual", o.marks) + Picture(o.pictures[2], "diff", o.marks) + "</div>\n";
      if (!o.pictures[0].empty()) {
        h += "<div class=\"compare\"><div class=\"shot stack\" title=\"click to zoom\"><img src=\"" +
             XmlEscape(UrlPath(o.pictures[0])) + "\" alt=\"baseline\"><img class=\"over\" src=\"" +
             XmlEscape(UrlPath(o.pictures[1])) + "\" alt=\"actual\">" + Marks(o.marks) +
             "</div><input type=\"range\" min=\"0\" max=\"100\" value=\"50\" "
             "aria-label=\"actual over baseline\"><button type=\"button\">baseline / actual</button> "
             "<span class=\"showing\"></span></div>\n";
      }
    }
    if (!o.lines.empty()) {
      h += "<pre class=\"lines\">";
      for (const DiffLine& d : o.lines) {
        if (d.op == '@') {
          h += "<span class=\"gap\">… " + XmlEscape(d.text) + " lines the same …</span>";
        } else if (d.op == '-') {
          h += "<span class=\"del\">- " + XmlEscape(d.text) + "</span>";
        } else if (d.op == '+') {
          h += "<span class=\"add\">+ " + XmlEscape(d.text) + "</span>";
        } else {
          h += "  " + XmlEscape(d.text) + "\n";
        }
      }
      h += "</pre>\n";
    }
    h += "</section>\n";
  }
  h += std::string("<script>") + kScript + "</script>\n</body>\n</html>\n";
  WriteWithFolder((fs::path(dir) / "index.html").string(), h);
}

}  // namespace qmt::cli
