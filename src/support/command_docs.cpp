#include "support/command_docs.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <sstream>

namespace qmt {
namespace {

// Splits help text into paragraphs at blank lines; the hard line breaks
// inside a paragraph become spaces.
std::vector<std::string> Paragraphs(const std::string& text) {
  std::vector<std::string> out;
  std::string current;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const bool blank = std::all_of(line.begin(), line.end(), [](unsigned char c) { return std::isspace(c); });
    if (blank) {
      if (!current.empty()) out.push_back(current);
      current.clear();
      continue;
    }
    if (!current.empty()) current += ' ';
    current += line;
  }
  if (!current.empty()) out.push_back(current);
  return out;
}

std::string Joined(const std::string& text) {
  std::string out;
  for (const std::string& p : Paragraphs(text)) out += (out.empty() ? "" : " ") + p;
  return out;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Bold(const std::string& s) { return "\\fB" + RoffEscape(s) + "\\fR"; }
std::string Italic(const std::string& s) { return "\\fI" + RoffEscape(s) + "\\fR"; }

std::string OptionTerm(const OptionDoc& o) {
  std::string term;
  for (const std::string& n : o.names) term += (term.empty() ? "" : ", ") + Bold(n);
  if (!o.valueName.empty()) term += " " + Italic(o.valueName);
  return term;
}

std::string PositionalWord(const OptionDoc& p) {
  std::string word = Italic(p.valueName);
  if (p.repeatable) word += " ...";
  return p.required ? word : "[" + word + "]";
}

// Paragraphs, each opened by .PP except a first one right under a heading,
// which already starts one (mandoc warns of a .PP there).
void WriteParagraphs(std::ostringstream& out, const std::vector<std::string>& paragraphs, bool underHeading = false) {
  for (const std::string& p : paragraphs) {
    if (!underHeading) out << ".PP\n";
    underHeading = false;
    out << RoffEscape(p) << "\n";
  }
}

void WriteOptions(std::ostringstream& out, const std::vector<OptionDoc>& options) {
  for (const OptionDoc& o : options) {
    out << ".TP\n" << OptionTerm(o) << "\n";
    std::string text = Joined(o.help);
    if (!o.defaultValue.empty()) text += " (default: " + o.defaultValue + ")";
    if (o.repeatable) text += std::string(text.ends_with('.') ? "" : ".") + " May be given more than once.";
    out << RoffEscape(text) << "\n";
  }
}

void WriteCommand(std::ostringstream& out, const std::string& programName, const CommandDoc& c) {
  std::string heading = programName + " " + c.name;
  if (!c.options.empty()) heading += " [options]";
  out << ".SS \"" << RoffEscape(heading);
  for (const OptionDoc& p : c.positionals) out << " " << (p.required ? "" : "[") << RoffEscape(p.valueName)
                                                << (p.required ? "" : "]");
  out << "\"\n" << RoffEscape(Joined(c.summary)) << "\n";
  WriteOptions(out, c.options);
  for (const OptionDoc& p : c.positionals) {
    out << ".TP\n" << Italic(p.valueName) << "\n" << RoffEscape(Joined(p.help)) << "\n";
  }
  WriteParagraphs(out, Paragraphs(c.description));
}

// Shell words are written single-quoted.
std::string Quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string Words(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& w : words) out += (out.empty() ? "" : " ") + w;
  return out;
}

// The value kind as the bash function reads it: file, dir, text or
// words:<choices>.
std::string BashKind(const OptionDoc& o) {
  switch (o.kind) {
    case ValueKind::kFile: return "file";
    case ValueKind::kDir: return "dir";
    case ValueKind::kChoice: return "words:" + Words(o.choices);
    default: return "text";
  }
}

std::vector<std::string> AllOptionNames(const CommandDoc& c) {
  std::vector<std::string> names;
  for (const OptionDoc& o : c.options) names.insert(names.end(), o.names.begin(), o.names.end());
  return names;
}

void WriteBashCase(std::ostringstream& out, const CommandDoc& c, const std::string& indent) {
  out << indent << "opts=" << Quoted(Words(AllOptionNames(c))) << "\n";
  out << indent << "case $opt in\n";
  for (const OptionDoc& o : c.options) {
    if (o.kind == ValueKind::kNone) continue;
    std::string pattern;
    for (const std::string& n : o.names) pattern += (pattern.empty() ? "" : "|") + n;
    out << indent << "  " << pattern << ") kind=" << Quoted(BashKind(o)) << " ;;\n";
  }
  out << indent << "esac\n";
  if (!c.positionals.empty()) out << indent << "positional=" << Quoted(BashKind(c.positionals.front())) << "\n";
}

// A function name from a program name: letters, digits and underscores.
std::string Identifier(const std::string& name) {
  std::string id;
  for (char c : name) id += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return id;
}

// Text inside a zsh _arguments description: no brackets, no line breaks, no
// single quotes (each entry is single-quoted).
// In a _describe entry only the name's colons would need escaping.
std::string ZshDescription(const std::string& help, bool forArguments = true) {
  std::string out;
  for (char c : Joined(help)) {
    if (forArguments && (c == '[' || c == ']' || c == ':')) out += std::string("\\") + c;
    else if (c == '\'') out += "'\\''";
    else out += c;
  }
  return out;
}

std::string ZshAction(const OptionDoc& o) {
  switch (o.kind) {
    case ValueKind::kFile: return "_files";
    case ValueKind::kDir: return "_files -/";
    case ValueKind::kChoice: {
      std::string words;
      for (const std::string& w : o.choices) {
        std::string e;
        for (char c : w) e += c == ':' ? std::string("\\:") : std::string(1, c);
        words += (words.empty() ? "" : " ") + e;
      }
      return "(" + words + ")";
    }
    default: return " ";
  }
}

void WriteZshArguments(std::ostringstream& out, const CommandDoc& c, const std::string& indent) {
  out << indent << "_arguments -s -S \\\n";
  for (const OptionDoc& o : c.options) {
    const std::string desc = ZshDescription(o.help);
    for (const std::string& n : o.names) {
      std::string entry = (o.repeatable ? "*" : "") + n;
      if (o.kind != ValueKind::kNone) entry += (n.starts_with("--") ? "=" : "") + std::string("[") + desc + "]:" +
                                             o.valueName + ":" + ZshAction(o);
      else entry += "[" + desc + "]";
      out << indent << "  '" << entry << "' \\\n";
    }
  }
  int position = 1;
  for (const OptionDoc& p : c.positionals) {
    std::string entry = (p.repeatable ? std::string("*") : std::to_string(position++)) + ":" + p.valueName + ":" +
                       ZshAction(p);
    out << indent << "  '" << entry << "' \\\n";
  }
  out << indent << "  && return 0\n";
}

}  // namespace

std::string RoffEscape(const std::string& text) {
  std::string out;
  bool lineStart = true;
  for (char c : text) {
    if (lineStart && (c == '.' || c == '\'')) out += "\\&";
    lineStart = c == '\n';
    if (c == '\\') out += "\\e";
    else if (c == '-') out += "\\-";
    else out += c;
  }
  return out;
}

std::string ManPageDate() {
  std::time_t when = std::time(nullptr);
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) {
    // Digits only and no later than the year 9999, or it is ignored.
    const std::string text = epoch;
    if (text.size() <= 12 && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) {
      const long long seconds = std::stoll(text);
      if (seconds <= 253402300799LL) when = static_cast<std::time_t>(seconds);
    }
  }
  std::tm utc{};
  gmtime_r(&when, &utc);
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &utc);
  return text;
}

std::string WriteManPage(const ManPage& page) {
  const CommandDoc& p = page.program;
  std::ostringstream out;
  out << ".\\\" Generated from the program's command-line definition; do not edit.\n";
  out << ".TH " << Upper(p.name) << " 1 \"" << page.date << "\" \"" << RoffEscape(page.version)
      << "\" \"User Commands\"\n";
  out << ".SH NAME\n" << RoffEscape(p.name) << " \\- " << RoffEscape(Joined(p.summary)) << "\n";
  out << ".SH SYNOPSIS\n";
  if (!p.subcommands.empty()) {
    out << Bold(p.name) << " [" << Italic("options") << "] " << Italic("command") << " [" << Italic("arguments")
        << "]\n";
  } else {
    out << Bold(p.name) << " [" << Italic("options") << "]";
    for (const OptionDoc& pos : p.positionals) out << " " << PositionalWord(pos);
    out << "\n";
  }
  out << ".SH DESCRIPTION\n";
  WriteParagraphs(out, page.overview, true);
  WriteParagraphs(out, Paragraphs(p.description), page.overview.empty());
  if (!p.options.empty() || !p.positionals.empty()) {
    out << ".SH OPTIONS\n";
    WriteOptions(out, p.options);
    for (const OptionDoc& pos : p.positionals)
      out << ".TP\n" << Italic(pos.valueName) << "\n" << RoffEscape(Joined(pos.help)) << "\n";
  }
  if (!p.subcommands.empty()) {
    out << ".SH COMMANDS\n";
    for (const CommandDoc& c : p.subcommands) WriteCommand(out, p.name, c);
  }
  for (const ManSection& s : page.sections) {
    out << ".SH " << Upper(s.title) << "\n";
    WriteParagraphs(out, s.paragraphs, true);
    for (const auto& [term, text] : s.entries) out << ".TP\n" << Bold(term) << "\n" << RoffEscape(text) << "\n";
    WriteOptions(out, s.options);
  }
  if (!page.seeAlso.empty()) {
    out << ".SH SEE ALSO\n";
    for (std::size_t i = 0; i < page.seeAlso.size(); ++i) {
      const std::string& ref = page.seeAlso[i];
      std::size_t paren = ref.find('(');
      out << ".BR " << RoffEscape(ref.substr(0, paren)) << " " << ref.substr(paren)
          << (i + 1 < page.seeAlso.size() ? " ," : "") << "\n";
    }
  }
  return out.str();
}

std::string WriteBashCompletion(const CommandDoc& program) {
  const std::string fn = "_" + Identifier(program.name);
  std::ostringstream out;
  out << "# bash completion for " << program.name << ", generated from its command-line definition.\n"
      << "# Needs nothing but bash itself.\n\n";
  // Readline splits words at ':' and '='; the line is split again here at
  // blanks only, so "--port=ppdev:/dev/parport0" stays one word, and the
  // answers are cut back to the part readline is completing.
  out << fn << "_values() {\n"
      << "  local kind=$1 cur=$2\n"
      << "  case $kind in\n"
      << "    file) compopt -o filenames 2>/dev/null; mapfile -t COMPREPLY < <(compgen -f -- \"$cur\") ;;\n"
      << "    dir) compopt -o filenames 2>/dev/null; mapfile -t COMPREPLY < <(compgen -d -- \"$cur\") ;;\n"
      << "    words:*) mapfile -t COMPREPLY < <(compgen -W \"${kind#words:}\" -- \"$cur\") ;;\n"
      << "    *) COMPREPLY=() ;;\n"
      << "  esac\n"
      << "  if [[ $cur == *:* && $COMP_WORDBREAKS == *:* ]]; then\n"
      << "    local head=${cur%\"${cur##*:}\"}\n"
      << "    COMPREPLY=(\"${COMPREPLY[@]#\"$head\"}\")\n"
      << "  fi\n"
      << "}\n\n";
  out << fn << "() {\n"
      << "  local line=${COMP_LINE:0:COMP_POINT}\n"
      << "  local -a words\n"
      << "  read -a words <<< \"$line\"\n"
      << "  if [[ ${#words[@]} -eq 0 || $line == *[[:space:]] ]]; then words+=(\"\"); fi\n"
      << "  local cur=${words[-1]} prev=\"\" cmd=\"\" i\n"
      << "  if (( ${#words[@]} > 1 )); then prev=${words[-2]}; fi\n";
  if (!program.subcommands.empty()) {
    out << "  for ((i = 1; i < ${#words[@]} - 1; i++)); do\n"
        << "    case ${words[i]} in -*) ;; *) cmd=${words[i]}; break ;; esac\n"
        << "  done\n";
  }
  out << "  local opt=$prev value=$cur opts=\"\" kind=\"\" positional=\"\"\n"
      << "  if [[ $cur == --*=* ]]; then opt=${cur%%=*}; value=${cur#*=}; fi\n"
      << "  case $cmd in\n"
      << "    \"\")\n";
  WriteBashCase(out, program, "      ");
  if (!program.subcommands.empty()) {
    std::vector<std::string> names;
    for (const CommandDoc& c : program.subcommands) names.push_back(c.name);
    out << "      positional=" << Quoted("words:" + Words(names)) << "\n";
  }
  out << "      ;;\n";
  for (const CommandDoc& c : program.subcommands) {
    out << "    " << c.name << ")\n";
    WriteBashCase(out, c, "      ");
    out << "      ;;\n";
  }
  out << "  esac\n"
      << "  if [[ -n $kind && ( $cur == --*=* || $cur != -* ) ]]; then\n"
      << "    " << fn << "_values \"$kind\" \"$value\"\n"
      << "  elif [[ $cur == -* ]]; then\n"
      << "    mapfile -t COMPREPLY < <(compgen -W \"$opts\" -- \"$cur\")\n"
      << "  else\n"
      << "    " << fn << "_values \"$positional\" \"$cur\"\n"
      << "  fi\n"
      << "}\n\n"
      << "complete -F " << fn << " " << program.name << "\n";
  return out.str();
}

std::string WriteZshCompletion(const CommandDoc& program) {
  const std::string fn = "_" + Identifier(program.name);
  std::ostringstream out;
  out << "#compdef " << program.name << "\n"
      << "# zsh completion for " << program.name << ", generated from its command-line definition.\n\n";
  out << fn << "() {\n";
  if (program.subcommands.empty()) {
    WriteZshArguments(out, program, "  ");
    out << "}\n\n" << fn << " \"$@\"\n";
    return out.str();
  }
  out << "  local curcontext=$curcontext state line\n"
      << "  typeset -A opt_args\n";
  CommandDoc top = program;
  top.positionals.clear();
  std::ostringstream args;
  WriteZshArguments(args, top, "  ");
  std::string text = args.str();
  // The command word and its own arguments follow the program's options.
  const std::string tail = "  && return 0\n";
  text.replace(text.rfind(tail), tail.size(),
               "  '1:command:->command' \\\n    '*::argument:->argument' && return 0\n");
  text.replace(text.find("_arguments -s -S"), 16, "_arguments -C -s -S");
  out << text;
  out << "  case $state in\n"
      << "    command)\n"
      << "      local -a commands\n"
      << "      commands=(\n";
  for (const CommandDoc& c : program.subcommands)
    out << "        '" << c.name << ":" << ZshDescription(c.summary, false) << "'\n";
  out << "      )\n"
      << "      _describe -t commands '" << program.name << " command' commands ;;\n"
      << "    argument)\n"
      << "      curcontext=${curcontext%:*:*}:" << program.name << "-$words[1]:\n"
      << "      case $words[1] in\n";
  for (const CommandDoc& c : program.subcommands) {
    out << "        " << c.name << ")\n";
    WriteZshArguments(out, c, "          ");
    out << "          ;;\n";
  }
  out << "      esac ;;\n"
      << "  esac\n"
      << "}\n\n"
      << fn << " \"$@\"\n";
  return out.str();
}

}  // namespace qmt
