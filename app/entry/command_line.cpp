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

namespace {

// The arguments read one by one into a command_line. Each take_ function
// returns false when the command line is settled (a mistake, or help or the
// version asked for): c then says so.
struct parser {
  const std::vector<std::string>& args;
  command_line c;
  bool have_output = false;

  // Takes the result's path: a mistake when it is missing or a second one.
  bool take_output(const std::string& name, const std::string& value, bool present) {
    if (!present || value.empty()) return settle(mistake("option '" + name + "' needs the result's path"));
    if (have_output) return settle(mistake("option '" + name + "' given twice"));
    have_output = true;
    c.output = value;
    return true;
  }

  // Takes a list of paths, which stands among the inputs.
  bool take_list(const std::string& name, const std::string& value, bool present) {
    if (!present || value.empty()) return settle(mistake("option '" + name + "' needs the list's path"));
    c.inputs.push_back(input_arg{value, true});
    return true;
  }

  // An option with a value, given as "--name VALUE" or "--name=VALUE"
  // (i moves past a separate value). False when a is not that option.
  bool long_option(std::size_t& i, const std::string& name, bool& ok) {
    const std::string& a = args[i];
    const bool output = name == "--output";
    if (a == name) {
      const bool present = i + 1 < args.size();
      const std::string value = present ? args[++i] : "";
      ok = output ? take_output(name, value, present) : take_list(name, value, present);
      return true;
    }
    if (a.compare(0, name.size() + 1, name + "=") != 0) return false;
    const std::string value = a.substr(name.size() + 1);
    ok = output ? take_output(name, value, true) : take_list(name, value, true);
    return true;
  }

  // A group of short options: -q, -h, and -o and -T, which take the rest of
  // the group or the next argument.
  bool short_options(std::size_t& i) {
    const std::string& a = args[i];
    for (std::size_t k = 1; k < a.size(); ++k) {
      if (a[k] == 'h') return settle(asking(command::help));
      if (a[k] == 'q') {
        c.quiet = true;
        continue;
      }
      if (a[k] != 'o' && a[k] != 'T')
        return settle(mistake("unknown option '-" + shown_name(std::string(1, a[k])) + "'"));
      const std::string name = std::string("-") + a[k];
      const bool attached = k + 1 < a.size();
      const bool present = attached || i + 1 < args.size();
      const std::string value = attached ? a.substr(k + 1) : present ? args[++i] : "";
      return a[k] == 'o' ? take_output(name, value, present) : take_list(name, value, present);
    }
    return true;
  }

  // One argument at i (i moves past any value it takes).
  bool take(std::size_t& i, bool& options_end) {
    const std::string& a = args[i];
    bool ok = true;
    if (!options_end && a == "/?") return settle(asking(command::help));  // as Windows programs answer it
    if (options_end || a.size() < 2 || a[0] != '-') {
      c.inputs.push_back(input_arg{a, false});
    } else if (a == "--") {
      options_end = true;
    } else if (a == "--help") {
      return settle(asking(command::help));
    } else if (a == "--version") {
      return settle(asking(command::version));
    } else if (a == "--quiet") {
      c.quiet = true;
    } else if (a == "--tight-bounds") {
      c.tight_bounds = true;
    } else if (a == "--check") {
      c.check = true;
    } else if (long_option(i, "--output", ok) || long_option(i, "--files-from", ok)) {
      return ok;
    } else if (a[1] == '-') {
      return settle(mistake("unknown option '" + shown_name(a) + "'"));
    } else {
      return short_options(i);
    }
    return true;
  }

  bool settle(const command_line& settled) {
    c = settled;
    return false;
  }
};

// What the whole command line asks for, once every argument is read.
command_line checked(command_line c, bool have_output) {
  if (c.check && have_output) return mistake("--check writes nothing: it takes no -o");
  if (c.check && c.inputs.empty()) return mistake("--check needs the inputs to look at");
  if (have_output && c.inputs.empty()) return mistake("no input files after -o " + shown_name(c.output));
  // Standard input can be read once only: by one input, or by lists.
  int stdin_inputs = 0, stdin_lists = 0;
  for (const input_arg& in : c.inputs)
    if (in.text == "-") ++(in.list ? stdin_lists : stdin_inputs);
  if (stdin_inputs > 1) return mistake("'-' (standard input) is named more than once");
  if (stdin_inputs > 0 && stdin_lists > 0) return mistake("'-' and '-T -' both read standard input");
  if (!c.check && !have_output && !c.inputs.empty()) return mistake("input files need the result's path: -o RESULT");
  c.what = c.check ? command::check : have_output ? command::merge : command::dialogue;
  return c;
}

}  // namespace

command_line parse_command_line(const std::vector<std::string>& args) {
  if (args.empty()) return command_line{};
  parser p{args, command_line{}};
  bool options_end = false;
  for (std::size_t i = 0; i < args.size(); ++i)
    if (!p.take(i, options_end)) return p.c;
  return checked(p.c, p.have_output);
}

std::string usage_text() {
  return "Usage: tilvaro\n"
         "       tilvaro [-q] [--tight-bounds] -o RESULT [INPUT | -T LIST]...\n"
         "       tilvaro --check [-q] [--tight-bounds] [INPUT | -T LIST]...\n"
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
         "      --check          merge nothing: one TAB-separated line per input (path,\n"
         "                       bytes, records, header values, value ranges, line ends,\n"
         "                       problems), then the extent a merge would write; exit\n"
         "                       status 0 when every input would be merged whole, else 1:\n"
         "                       tilvaro --check \"tiles/*.zqd\" > report.tsv\n"
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
