#include "host/program_manual.h"

#include "link/device_link.h"
#include "link/link_problem.h"
#include "link/stream_server.h"

namespace qmt {

std::vector<ManSection> ProgramFilesSections(const std::string& program) {
  ManSection files;
  files.title = "Files";
  files.paragraphs = {
      "The macro file and the colour file are code page 932 text with CR LF line ends. Their names are the "
      "program's path without extension followed by Macro.txt and Color.txt. A program run from a folder it can "
      "write, such as its build folder, keeps them beside itself. An installed program (one in a bin folder such "
      "as /usr/bin or /usr/local/bin) and a program in a folder it cannot write keep them in the configuration "
      "folder instead, also when run as root, and never write beside themselves; the first start says so once.",
      "Saves go through a temporary file and a rename, so a failed save leaves the old file as it was."};
  files.entries = {
      {"$XDG_CONFIG_HOME/qmt3308/" + program + "Macro.txt",
       "The macro file the program starts with; without it the built-in pump-panel macro runs. "
       "Without XDG_CONFIG_HOME the folder is ~/.config/qmt3308."},
      {"$XDG_CONFIG_HOME/qmt3308/" + program + "Color.txt",
       "The colour list: one NAME=VALUE a line, the named colours macros may use."},
      {"VRAM0.bmp ... VRAM3.bmp",
       "The four video pages as 640 x 480 8-bit bitmaps, in the current folder or the one given."},
  };
  if (program == "qmtsim") files.entries.push_back({"PCODEL.txt", "The P-code listing the tool window writes."});
  if (program == "qmtsim")
    files.entries.push_back({"~/.config/qmt3308/qmtsim.conf",
                             "The window's size, position, zoom and the last files, kept between starts."});

  ManSection environment;
  environment.title = "Environment";
  environment.entries = {
      {"QMT_PORT",
       std::string("The device port when none is given: ") + kPortChoices +
           ". Unset, the program uses /dev/parport0 when it can claim it, else none."},
      {"XDG_CONFIG_HOME", "The base of the configuration folder (default ~/.config)."},
  };
  if (program == "qmtsim")
    environment.entries.push_back(
        {"QT_QPA_PLATFORM", "The Qt platform; offscreen runs the window without a display."});
  // Where the user's manual is installed.  The guides this page names as
  // docs/NAME.md are installed beside the manual under the same names.
  ManSection documentation;
  documentation.title = "Documentation";
  documentation.paragraphs = {
      "The user's manual (in Japanese, with English pages) is installed under share/doc/qmt3308 of the "
      "installation prefix, /usr/share/doc/qmt3308 for the Debian package. The windows' menu ヘルプ → マニュアル "
      "opens its HTML form. The guides named docs/NAME.md above are installed as NAME.md there and as "
      "html/NAME.html."};
  documentation.entries = {
      {"/usr/share/doc/qmt3308/html/index.html",
       "The manual as HTML, with a full-text search that works offline and finds Japanese words."},
      {"/usr/share/doc/qmt3308/manual/README.md", "The same pages as Markdown, with the examples' files."},
  };
  return {files, environment, documentation};
}

void SetValueKind(OptionDoc& doc, const std::string& v, bool port) {
  doc.choices.clear();
  if (v.empty()) {
    doc.kind = ValueKind::kNone;
  } else if (port || v == "PORT") {
    doc.kind = ValueKind::kChoice;
    doc.choices = PortChoiceExamples();
  } else if (v == "ADDRESS") {
    doc.kind = ValueKind::kChoice;
    doc.choices = StreamServer::AddressExamples();
  } else if (v == "MACRO" || v == "PATH" || v.ends_with("FILE") || v.starts_with("FILE|")) {
    doc.kind = ValueKind::kFile;
  } else if (v == "DIR") {
    doc.kind = ValueKind::kDir;
  } else {
    doc.kind = ValueKind::kText;
  }
}

}  // namespace qmt
