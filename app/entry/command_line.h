// The command line: what the arguments ask for, and the usage text.
#pragma once

#include <string>
#include <vector>

enum class command {
  dialogue,     // no arguments: the questions on the console
  help,         // -h, --help, /?
  version,      // --version
  merge,        // -o RESULT INPUT...
  check,        // --check INPUT...
  usage_error,  // anything else: reason says what is wrong
};

// One input argument: a path or pattern, or a list of paths.
struct input_arg {
  std::string text;        // as typed
  bool list = false;       // text names a file of paths (--files-from, -T); "-" is standard input
  bool operator==(const input_arg& o) const { return text == o.text && list == o.list; }
};

struct command_line {
  command what = command::dialogue;
  std::string output;             // the result's path; "-" is standard output
  std::vector<input_arg> inputs;  // the inputs and lists, in order
  bool quiet = false;               // -q: no progress line
  bool tight_bounds = false;        // --tight-bounds: the inputs' own extent
  bool check = false;               // --check: the inputs looked at, nothing written
  std::string reason;               // for usage_error: one line, no line end
};

// Reads the arguments (without the program name). Options may stand before,
// between or after the inputs; "--" ends the options, and "-" alone is an
// input. Short options may be grouped (-qo RESULT). -o and -T take their
// value from the rest of their argument (-oRESULT, -o-) or from the next
// argument, --output and --files-from from "=VALUE" or from the next one. The arguments are read
// in order and the first help, version or mistake decides; only after all of
// them are the inputs checked against -o.
command_line parse_command_line(const std::vector<std::string>& args);

// The text that --help prints.
std::string usage_text();
