// The command line: how arguments are read, and what the tool answers to
// each kind (exit status, standard output, standard error).
#include "command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool_run.h"

namespace {

const std::string try_help = "Try 'tilvaro --help' for more information.\n";

TEST(CommandLine, ReadsMergesInEveryConventionalForm) {
  using v = std::vector<std::string>;
  struct {
    v args;
    std::string output;
    v inputs;
    bool quiet;
  } const cases[] = {
      {{"-o", "r", "a", "b"}, "r", {"a", "b"}, false},
      {{"a", "-o", "r", "b"}, "r", {"a", "b"}, false},     // options between inputs
      {{"a", "b", "--output", "r"}, "r", {"a", "b"}, false},  // and after them
      {{"--output=r", "a"}, "r", {"a"}, false},
      {{"-or", "a", "-q"}, "r", {"a"}, true},
      {{"-o-", "a"}, "-", {"a"}, false},
      {{"-qo", "r", "a"}, "r", {"a"}, true},                 // grouped short options
      {{"--quiet", "-o", "-x", "a"}, "-x", {"a"}, true},     // -o takes the next argument whatever it is
      {{"-o", "r", "--", "-q", "--help", "-"}, "r", {"-q", "--help", "-"}, false},
      {{"-", "-o", "r"}, "r", {"-"}, false},                  // "-" alone is an input
  };
  for (const auto& c : cases) {
    const command_line cl = parse_command_line(c.args);
    const std::string shown = ::testing::PrintToString(c.args);
    EXPECT_EQ(cl.what, command::merge) << shown << ": " << cl.reason;
    EXPECT_EQ(cl.output, c.output) << shown;
    EXPECT_EQ(cl.inputs, c.inputs) << shown;
    EXPECT_EQ(cl.quiet, c.quiet) << shown;
  }
  EXPECT_EQ(parse_command_line({}).what, command::dialogue);
}

// The executable itself: exit status, standard output, standard error.
TEST(CommandLine, AnswersHelpVersionAndMistakes) {
  const std::string usage = usage_text();
  struct {
    std::vector<std::string> args;
    int status;
    std::string out, err;
  } const cases[] = {
      {{"--help"}, 0, usage, ""},
      {{"-h"}, 0, usage, ""},
      {{"-o", "r", "a", "--help"}, 0, usage, ""},
      {{"--version"}, 0, "tilvaro 1.0.0\n", ""},
      {{"--bogus", "--help"}, 2, "", "tilvaro: unknown option '--bogus'\n" + try_help},
      {{"--help=x"}, 2, "", "tilvaro: unknown option '--help=x'\n" + try_help},
      {{"-qx"}, 2, "", "tilvaro: unknown option '-x'\n" + try_help},
      {{"a", "-o"}, 2, "", "tilvaro: option '-o' needs the result's path\n" + try_help},
      {{"a", "--output"}, 2, "", "tilvaro: option '--output' needs the result's path\n" + try_help},
      {{"a", "--output="}, 2, "", "tilvaro: option '--output' needs the result's path\n" + try_help},
      {{"-o", "r", "a", "-ob"}, 2, "", "tilvaro: option '-o' given twice\n" + try_help},
      {{"--output=r", "a", "--output", "b"}, 2, "", "tilvaro: option '--output' given twice\n" + try_help},
      {{"-o", "r"}, 2, "", "tilvaro: no input files after -o r\n" + try_help},
      {{"-q", "a", "b"}, 2, "", "tilvaro: input files need the result's path: -o RESULT\n" + try_help},
  };
  work_dir w;
  for (const auto& c : cases) {
    const tool_result r = run_args(w, c.args);
    const std::string shown = ::testing::PrintToString(c.args);
    EXPECT_EQ(r.status, c.status) << shown;
    EXPECT_EQ(r.out, c.out) << shown;
    EXPECT_EQ(r.err, c.err) << shown;
  }
  EXPECT_EQ(usage.substr(usage.rfind("\n\n")), "\n\nMore in the manual: man tilvaro\n");
  EXPECT_TRUE(w.list("").empty());  // nothing created
}

}  // namespace
