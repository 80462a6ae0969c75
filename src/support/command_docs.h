// A program's command line described once, and what is written from it: the
// manual page and the shell completions.  Each program fills a CommandDoc
// from its own parser's definition at build time, so the manual and the
// completions list exactly the commands and options that program takes.
//
// Texts are UTF-8.  Help texts may carry hard line breaks for a terminal;
// the manual joins them into paragraphs (a blank line starts a new one).
#pragma once

#include <string>
#include <vector>

namespace qmt {

// What an option's value (or a positional argument) is, for completion.
enum class ValueKind {
  kNone,     // a flag: no value
  kText,     // anything; nothing to offer
  kFile,     // a file name
  kDir,      // a folder name
  kChoice,   // one of `choices`
};

struct OptionDoc {
  std::vector<std::string> names;  // "-h", "--help"; a positional's is its value name
  std::string valueName;           // "FILE", "N"; empty for a flag
  ValueKind kind = ValueKind::kNone;
  std::vector<std::string> choices;  // for kChoice
  std::string help;
  std::string defaultValue;  // shown in the manual when not empty
  bool repeatable = false;
  bool required = false;  // for positionals: shown without brackets
};

struct CommandDoc {
  std::string name;
  std::string summary;      // one line
  std::string description;  // paragraphs after the options (the help footer)
  std::vector<OptionDoc> options;
  std::vector<OptionDoc> positionals;
  std::vector<CommandDoc> subcommands;
};

// A section of the manual page written by hand: paragraphs, then labelled
// entries (term and text), as in FILES or ENVIRONMENT, then options written
// as OPTIONS writes them (options of a library the program takes too).
struct ManSection {
  std::string title;
  std::vector<std::string> paragraphs;
  std::vector<std::pair<std::string, std::string>> entries;
  std::vector<OptionDoc> options;
};

struct ManPage {
  CommandDoc program;
  std::string version;                 // the footer: "qmt 0.1"
  std::string date;                    // the footer: "2026-12-11"; ManPageDate()
  std::vector<std::string> overview;   // DESCRIPTION paragraphs
  std::vector<ManSection> sections;    // after the commands
  std::vector<std::string> seeAlso;    // "qmtsim(1)"
};

// The date a manual page carries, YYYY-MM-DD in UTC: SOURCE_DATE_EPOCH when
// it is set to a valid time (package builds, so that two builds of the same
// source write the same page), else today.
std::string ManPageDate();

// The manual page in man(7) markup, section 1.
std::string WriteManPage(const ManPage& page);

// A bash completion script: one function registered with `complete -F`,
// using only bash's own builtins (compgen, compopt).
std::string WriteBashCompletion(const CommandDoc& program);

// A zsh completion script for the completion system (#compdef).
std::string WriteZshCompletion(const CommandDoc& program);

// Escapes text for man(7) markup: backslashes, hyphens in option names, a
// leading dot or apostrophe.
std::string RoffEscape(const std::string& text);

}  // namespace qmt
