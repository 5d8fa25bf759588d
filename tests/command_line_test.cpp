// The command line: how arguments are read, and what the tool answers to
// each kind (exit status, standard output, standard error).
#include "entry/command_line.h"

#include <fnmatch.h>
#include <gtest/gtest.h>

#include <random>

#include "console/diagnostic.h"
#include "entry/name_pattern.h"
#include "host/host_path.h"

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
      // Lists (shown as @LIST here) stand among the inputs where they are named.
      {{"-o", "r", "a", "-T", "l", "--files-from=m", "b", "--files-from", "-", "-qTk"}, "r",
       {"a", "@l", "@m", "b", "@-", "@k"}, true},
      {{"-T", "l", "-o", "r"}, "r", {"@l"}, false},
  };
  for (const auto& c : cases) {
    const command_line cl = parse_command_line(c.args);
    const std::string shown = ::testing::PrintToString(c.args);
    EXPECT_EQ(cl.what, command::merge) << shown << ": " << cl.reason;
    EXPECT_EQ(cl.output, c.output) << shown;
    std::vector<input_arg> inputs;
    for (const std::string& i : c.inputs) inputs.push_back(i[0] == '@' ? input_arg{i.substr(1), true} : input_arg{i, false});
    EXPECT_EQ(cl.inputs, inputs) << shown;
    EXPECT_EQ(cl.quiet, c.quiet) << shown;
  }
  EXPECT_EQ(parse_command_line({}).what, command::dialogue);
}

// '*' and '?' as the C library's fnmatch takes them, over every short
// pattern shape; '?' takes one character, not one byte, of a UTF-8 name.
TEST(NamePattern, MatchesAsFnmatch) {
  std::mt19937 rng(5);
  const char pattern_chars[] = "ab*?.", name_chars[] = "ab.";
  for (int round = 0; round < 20000; ++round) {
    std::string pattern, name;
    for (int k = rng() % 7; k > 0; --k) pattern += pattern_chars[rng() % 5];
    for (int k = rng() % 7; k > 0; --k) name += name_chars[rng() % 3];
    EXPECT_EQ(name_matches(pattern, name), ::fnmatch(pattern.c_str(), name.c_str(), 0) == 0)
        << "'" << pattern << "' '" << name << "'";
  }
  EXPECT_TRUE(name_matches("?.zqd", "\xC3\xA9.zqd"));
  EXPECT_FALSE(name_matches("??.zqd", "\xC3\xA9.zqd"));
  EXPECT_TRUE(name_matches("*\xC3\xA9*", "x\xC3\xA9y"));
  EXPECT_TRUE(name_matches("?", "\xFF"));  // a byte that is not UTF-8 is one character
  EXPECT_EQ(folder_part_length("a\\b/c", false), 4u);
  EXPECT_EQ(folder_part_length("a/b\\c", true), 4u);
  EXPECT_EQ(folder_part_length("c", true), 0u);
}

// Names in diagnostics: one line whatever they hold, UTF-8 text and
// backslashes as they are.
TEST(Diagnostics, NamesAreShownOnOneLine) {
  const struct {
    const char* name;
    const char* shown;
  } cases[] = {
      {"C:\\images\\s\\a b.zqd", "C:\\images\\s\\a b.zqd"},
      {"a\nb\tc\rd", "a\\nb\\tc\\rd"},
      {"\x1b[2J\x01\x1f\x7f~", "\\x1b[2J\\x01\\x1f\\x7f~"},
      {"\xff", "\\xff"},
      {"\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80 \xc2\xa0", "\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80 \xc2\xa0"},
      {"\xc2\x85\xc2\x9b", "\\xc2\\x85\\xc2\\x9b"},        // C1 controls (NEL, CSI)
      {"\xc0\xaf\xe0\x80\xaf", "\\xc0\\xaf\\xe0\\x80\\xaf"},  // overlong forms
      {"\xed\xa0\x80", "\\xed\\xa0\\x80"},                    // a surrogate
      {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},            // past U+10FFFF
      {"x\xe2\x82", "x\\xe2\\x82"},                            // cut short at the end
      {"\xe2\x82x", "\\xe2\\x82x"},                            // cut short by ASCII
  };
  for (const auto& c : cases) EXPECT_EQ(shown_name(c.name), c.shown) << c.name;
  EXPECT_EQ(shown_name(std::string("a\0b", 3)), "a\\x00b");
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
      {{"/?"}, 0, usage, ""},
      {{"-o", "r", "a", "/?"}, 0, usage, ""},
      {{"-o", "r", "a", "--help"}, 0, usage, ""},
      {{"--version"}, 0,
       "tilvaro 1.0.0\nCopyright (c) 2026 the tilvaro authors\n"
       "MIT License: free to use, copy, change and pass on, without warranty.\n",
       ""},
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
      {{"-o", "r", "-T"}, 2, "", "tilvaro: option '-T' needs the list's path\n" + try_help},
      {{"-o", "r", "--files-from="}, 2, "", "tilvaro: option '--files-from' needs the list's path\n" + try_help},
      {{"-o", "r", "-", "a", "-"}, 2, "", "tilvaro: '-' (standard input) is named more than once\n" + try_help},
      {{"-o", "r", "-T", "-", "-"}, 2, "", "tilvaro: '-' and '-T -' both read standard input\n" + try_help},
      {{"-T-", "-o", "r", "-"}, 2, "", "tilvaro: '-' and '-T -' both read standard input\n" + try_help},
      {{"--check"}, 2, "", "tilvaro: --check needs the inputs to look at\n" + try_help},
      {{"--check", "-o", "r", "a"}, 2, "", "tilvaro: --check writes nothing: it takes no -o\n" + try_help},
      {{"--check", "-", "-T-"}, 2, "", "tilvaro: '-' and '-T -' both read standard input\n" + try_help},
      // Argument text in a message is shown on one line (shown_name).
      {{"--b\x1b[2Jx"}, 2, "", "tilvaro: unknown option '--b\\x1b[2Jx'\n" + try_help},
      {{"-q\xff"}, 2, "", "tilvaro: unknown option '-\\xff'\n" + try_help},
      {{"-o", "r\n\xc3\xa9"}, 2, "", "tilvaro: no input files after -o r\\n\xc3\xa9\n" + try_help},
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
