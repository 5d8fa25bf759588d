// The command line: options and inputs read into a command_line.
#include "entry/command_line.h"

#include "console/diagnostic.h"
#include "host/manual.h"

namespace {

// A command line that asks for help or the version: nothing else counts.
command_line asking(command what) {
  command_line c;
  c.what = what;
  return c;
}

command_line mistake(const std::string& reason) {
  command_line c;
  c.what = command::usage_error;
  c.reason = reason;
  return c;
}

}  // namespace

command_line parse_command_line(const std::vector<std::string>& args) {
  command_line c;
  if (args.empty()) return c;

  bool have_output = false;
  // Takes the result's path; false (with the reason set) when it is missing
  // or a second one.
  auto take_output = [&](const std::string& name, const std::string& value, bool present) {
    if (!present || value.empty()) {
      c = mistake("option '" + name + "' needs the result's path");
      return false;
    }
    if (have_output) {
      c = mistake("option '" + name + "' given twice");
      return false;
    }
    have_output = true;
    c.output = value;
    return true;
  };

  // Takes a list of paths, which stands among the inputs.
  auto take_list = [&](const std::string& name, const std::string& value, bool present) {
    if (!present || value.empty()) {
      c = mistake("option '" + name + "' needs the list's path");
      return false;
    }
    c.inputs.push_back(input_arg{value, true});
    return true;
  };

  bool options_end = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool has_next = i + 1 < args.size();
    if (!options_end && a == "/?") {
      return asking(command::help);  // as Windows programs answer it
    } else if (options_end || a.size() < 2 || a[0] != '-') {
      c.inputs.push_back(input_arg{a, false});
    } else if (a == "--") {
      options_end = true;
    } else if (a == "--help") {
      return asking(command::help);
    } else if (a == "--version") {
      return asking(command::version);
    } else if (a == "--quiet") {
      c.quiet = true;
    } else if (a == "--tight-bounds") {
      c.tight_bounds = true;
    } else if (a == "--output") {
      if (!take_output(a, has_next ? args[i + 1] : "", has_next)) return c;
      ++i;
    } else if (a.compare(0, 9, "--output=") == 0) {
      if (!take_output("--output", a.substr(9), true)) return c;
    } else if (a == "--files-from") {
      if (!take_list(a, has_next ? args[i + 1] : "", has_next)) return c;
      ++i;
    } else if (a.compare(0, 13, "--files-from=") == 0) {
      if (!take_list("--files-from", a.substr(13), true)) return c;
    } else if (a[1] == '-') {
      return mistake("unknown option '" + shown_name(a) + "'");
    } else {
      // A group of short options: -q, -h, and -o and -T, which take the rest.
      for (std::size_t k = 1; k < a.size(); ++k) {
        if (a[k] == 'h') return asking(command::help);
        if (a[k] == 'q') {
          c.quiet = true;
        } else if (a[k] == 'o' || a[k] == 'T') {
          const std::string name = std::string("-") + a[k];
          const auto take = [&](const std::string& value, bool present) {
            return a[k] == 'o' ? take_output(name, value, present) : take_list(name, value, present);
          };
          if (k + 1 < a.size()) {
            if (!take(a.substr(k + 1), true)) return c;
          } else {
            if (!take(has_next ? args[i + 1] : "", has_next)) return c;
            ++i;
          }
          break;
        } else {
          return mistake("unknown option '-" + shown_name(std::string(1, a[k])) + "'");
        }
      }
    }
  }

  if (have_output && c.inputs.empty()) return mistake("no input files after -o " + shown_name(c.output));
  // Standard input can be read once only: by one input, or by lists.
  int stdin_inputs = 0, stdin_lists = 0;
  for (const input_arg& in : c.inputs)
    if (in.text == "-") ++(in.list ? stdin_lists : stdin_inputs);
  if (stdin_inputs > 1) return mistake("'-' (standard input) is named more than once");
  if (stdin_inputs > 0 && stdin_lists > 0) return mistake("'-' and '-T -' both read standard input");
  if (!have_output && !c.inputs.empty()) return mistake("input files need the result's path: -o RESULT");
  c.what = have_output ? command::merge : command::dialogue;
  return c;
}

std::string usage_text() {
  return "Usage: tilvaro\n"
         "       tilvaro [-q] [--tight-bounds] -o RESULT [INPUT | -T LIST]...\n"
         "Paste point files into one result point file: the result's header holds the\n"
         "combined extent of the inputs' headers, then come the data records of every\n"
         "input in the order given.\n"
         "\n"
         "Without arguments tilvaro asks on the console for a folder under C:\\images\\\n"
         "(elsewhere than on Windows, the folder images/ in the current directory), the\n"
         "number of files to paste, the name of each file and the name of the result,\n"
         "all without the extension .zqd, which it adds.\n"
         "\n"
         "With -o it asks nothing: the paths are used as given, and standard output shows\n"
         "the bounds and one line per input. An INPUT that names no file but has * or ?\n"
         "in its file name is a pattern, expanded by tilvaro itself on every system (in\n"
         "name order; never the result): tilvaro -o all.zqd \"tiles/*.zqd\". An INPUT of\n"
         "- is standard input. An input that is not a regular file (standard input, a\n"
         "pipe, a FIFO) is read only once: it is held open from its header to its\n"
         "copy. A regular file that changes between the header pass and the copy\n"
         "ends the run (exit status 1).\n"
         "  -o, --output=RESULT  write the result to RESULT (- for standard output)\n"
         "  -T, --files-from=LIST  take the inputs named in LIST, one path a line (- for\n"
         "                       standard input), in UTF-8, or UTF-16 with a byte-order\n"
         "                       mark; on Windows the way past the length limit of a\n"
         "                       command line; a line in double quotes loses them; a\n"
         "                       line longer than any path the system takes, or not\n"
         "                       UTF-8 text, ends the run (status 2)\n"
         "  -q, --quiet          no progress line on standard error\n"
         "      --tight-bounds   the result's extent is the inputs' own; without it the\n"
         "                       extent starts from minima 4000000 (x, y) and 100000 (z)\n"
         "                       and maxima 0, which clip it\n"
         "  -h, --help, /?       show this text and exit\n"
         "      --version        show the version and exit\n"
         "\n"
         "Exit status: 0 when the result was written completely, 1 when it was not (an\n"
         "input missing or unreadable, a result that cannot be written, out of memory;\n"
         "an existing file of the result's name is then left as it was), 2 for a mistake\n"
         "in the arguments.\n"
         "\n"
         "More in the manual: " + std::string(manual_hint()) + "\n";
}
