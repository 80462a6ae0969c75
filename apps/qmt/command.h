// Sub-commands of the headless tool register themselves here: each file
// cmd_<name>.cpp defines one static Command object, so adding a command
// touches no other file.
#pragma once

#include <CLI/CLI.hpp>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace qmt::cli {

// Sets up a sub-command on `app` and returns what runs it; the returned
// function gives the process exit status.
using CommandSetup = std::function<std::function<int()>(CLI::App& app)>;

struct Command {
  // `order` decides where the command appears in --help.
  Command(int order, CommandSetup setup);
};

// Prints a message (code page 932 bytes) to standard error in UTF-8, with a
// line end.
void PrintError(const std::string& cp932);
// Prints a line (code page 932 bytes) to standard output in UTF-8.
void PrintLine(const std::string& cp932);
// A command line's bytes as a message shows them: escaped, and cut short
// with its length when long.
std::string ShownLine(std::string_view bytes);

// Reads FILE or standard input when the name is "-" or empty, at most
// `limit` bytes (more is refused, as qmt::ReadFile does).  With `utf8` the
// text is converted to code page 932 (an unconvertible character raises an
// error naming it).  Raises qmt::FileError / qmt::EncodingError.
std::string ReadInput(const std::string& file, bool utf8, std::size_t limit);

}  // namespace qmt::cli
