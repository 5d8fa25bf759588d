// The console: answers read as tokens and counts, CR LF output in blocks or
// at once, and the interactive run of the tool on a pseudo-terminal.
#include "console/console.h"

#include <fcntl.h>
#include <signal.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "console/progress.h"
#include "console/screen_row.h"
#include "host/interrupt.h"
#include "pty_child.h"
#include "text_source.h"
#include "tool_run.h"

namespace {

std::vector<std::string> tokens(const std::string& bytes, std::size_t buffer = text_reader::default_buffer_size) {
  text_source src(bytes, buffer);
  std::vector<std::string> out;
  std::string t;
  while (read_token(src.reader, t)) out.push_back(t);
  return out;
}

TEST(Answers, Tokens) {
  using v = std::vector<std::string>;
  EXPECT_EQ(tokens("survey\n2\na b\n"), (v{"survey", "2", "a", "b"}));
  EXPECT_EQ(tokens("\n\n \t\v\fx\r\n"), (v{"x"}));
  EXPECT_EQ(tokens("na\rme\r\n"), (v{"name"}));  // CR bytes are removed, not separators
  EXPECT_EQ(tokens("a\x1A b"), (v{"a"}));
  EXPECT_EQ(tokens(""), v{});
  EXPECT_EQ(tokens("  \r\n\r\n"), v{});
  EXPECT_EQ(tokens("C:\\odd/näme.zqd"), (v{"C:\\odd/näme.zqd"}));
  const std::string long_name(100000, 'n');
  EXPECT_EQ(tokens(long_name + " x", 7), (v{long_name, "x"}));
  // Bounded: a token of longest bytes comes whole, a longer one with one
  // byte more, read no further.
  text_source src("abcd abcdefgh", 3);
  std::string t;
  EXPECT_TRUE(read_token(src.reader, t, 4));
  EXPECT_EQ(t, "abcd");
  EXPECT_TRUE(read_token(src.reader, t, 4));
  EXPECT_EQ(t, "abcde");
  EXPECT_EQ(src.reader.peek(), 'f');
}

TEST(Answers, Counts) {
  struct {
    const char* text;
    int_scan result;
    std::int32_t count;
    const char* rest;  // the next token left after the count
  } const cases[] = {
      {"3\n", int_scan::ok, 3, ""},
      {"  -3 r", int_scan::ok, -3, "r"},
      {"+0", int_scan::ok, 0, ""},
      {"3abc", int_scan::ok, 3, "abc"},
      {"abc", int_scan::no_digits, 99, "abc"},
      {"-abc", int_scan::no_digits, 99, "abc"},
      {"", int_scan::no_digits, 99, ""},
      {"2147483647 x", int_scan::ok, 2147483647, "x"},
      {"-2147483648 x", int_scan::ok, INT32_MIN, "x"},
      {"2147483648 x", int_scan::out_of_range, 99, "x"},
      {"-2147483649 x", int_scan::out_of_range, 99, "x"},
      {"000000000000000000000012 x", int_scan::ok, 12, "x"},
      {"1\r2 x", int_scan::ok, 12, "x"},
  };
  for (const auto& c : cases) {
    text_source src(c.text);
    std::int32_t count = 99;
    EXPECT_EQ(scan_int32(src.reader, count), c.result) << c.text;
    EXPECT_EQ(count, c.count) << c.text;
    std::string rest;
    if (!read_token(src.reader, rest)) rest.clear();
    EXPECT_EQ(rest, c.rest) << c.text;
  }
}

// With standard output a pipe, text goes out in 512-byte blocks, each line
// end as CR LF, and the rest at console_flush. Checked inside a child, which
// looks at what the pipe holds after each step.
TEST(ConsoleOutput, BlocksOf512WhenRedirected) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    detach_from_terminal();
    ::dup2(fds[1], STDOUT_FILENO);
    console_open();
    auto pending = [&] {
      int n = 0;
      ::ioctl(fds[0], FIONREAD, &n);
      return n;
    };
    say("\n\tquestion ? ");
    if (pending() != 0) _exit(1);
    say(std::string(500, 'x') + "\n");  // 14 + 502 bytes: one block goes out
    if (pending() != 512) _exit(2);
    console_flush();
    if (pending() != 516) _exit(3);
    _exit(0);
  }
  const int status = wait_bounded(pid);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  char buf[600];
  const ssize_t n = ::read(fds[0], buf, sizeof buf);
  ASSERT_EQ(n, 516);
  EXPECT_EQ(std::string(buf, 14), "\r\n\tquestion ? ");
  EXPECT_EQ(std::string(buf + 514, 2), "\r\n");
  ::close(fds[0]);
  ::close(fds[1]);
}

// A signal that ends the process while the console is filling its block
// writes the pending text: what reaches the file is always a prefix of the
// text said, never a byte that was not yet stored or one written twice.
TEST(ConsoleOutput, InterruptionWritesExactlyThePendingText) {
  auto line = [](long i) { return std::to_string(1000000 + i) + " said\n"; };
  work_dir w;
  for (int round = 0; round < 20; ++round) {
    const std::string out = w.at("out" + std::to_string(round));
    const pid_t pid = ::fork();
    if (pid == 0) {
      detach_from_terminal();
      ::signal(SIGTERM, SIG_DFL);
      if (::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO) < 0) _exit(2);
      install_interrupt_cleanup();
      console_open();
      for (long i = 0; i < 2000000; ++i) say(line(i));
      ::pause();
      _exit(3);
    }
    ::usleep(static_cast<useconds_t>(1000 + round * 700));
    ::kill(pid, SIGTERM);
    const int status = wait_bounded(pid);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    const std::string got = w.get("out" + std::to_string(round));
    std::string said;
    for (long i = 0; said.size() < got.size(); ++i) said += crlf(line(i));
    EXPECT_EQ(got, said.substr(0, got.size())) << "round " << round;
  }
}

// Where a text leaves the cursor on a terminal row of a given width: the
// progress line behind it takes the rest of that row.
TEST(ProgressLine, LastRowOfTheConsoleText) {
  const struct {
    const char* text;
    std::size_t width, start, column;
    bool known;
  } cases[] = {
      {"\tFile 1 Name : a.zqd ", 80, 0, 28, true},
      {"ab\tc\t", 80, 0, 16, true},
      {"\t\t\t\t\t\t\t\t\t\tx", 80, 0, 80, true},  // TAB stops short of the last column
      {"\xC3\xA9t\xC3\xA9", 80, 0, 3, true},              // été: 3 columns in 5 bytes
      {"e\xCC\x81", 80, 0, 1, true},                       // a combining accent takes none
      {"\xE5\x8C\x97\xE4\xBA\xAC", 80, 0, 4, true},       // wide characters take two
      {"\xC3", 80, 0, 1, true},                             // cut short
      {"\x80\xBF" "a", 80, 0, 3, true},                     // bytes outside a character
      {"abcdef", 4, 4, 2, true},
      {"abcd", 4, 0, 4, true},  // the row is full: the next character wraps
      {"abc\xE5\x8C\x97", 4, 3, 2, true},                     // no room for a wide one at the end
      {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 4, 8, 1, true},  // wrapped at a character
      {"ab\ncd", 80, 3, 2, true},
      {"a\x1B[1m", 80, 0, 4, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const screen_row row = last_row(c.text, c.width);
    EXPECT_EQ(row.start, c.start);
    EXPECT_EQ(row.column, c.column);
    EXPECT_EQ(row.known, c.known);
  }
}

// The longest form of the progress text that fits the room.
TEST(ProgressLine, TextCutToTheRoom) {
  const std::string full = "1.2 GB of 3.4 GB (35%), 120.0 MB/s, 0:18 left";
  const std::string no_rate = "1.2 GB of 3.4 GB (35%), 0:18 left";
  const struct {
    std::uint64_t total;
    double seconds;
    std::size_t room;
    std::string text;
  } cases[] = {
      {3400000000u, 10.0, full.size(), full},
      {3400000000u, 10.0, full.size() - 1, no_rate},
      {3400000000u, 10.0, no_rate.size() - 1, "35%, 0:18 left"},
      {3400000000u, 10.0, 3, "35%"},
      {3400000000u, 10.0, 2, ""},
      {3400000000u, 0.0, 21, "35%"},
      {0, 10.0, 6, "1.2 GB"},
      {0, 10.0, 5, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.room);
    EXPECT_EQ(progress_text(1200000000u, c.total, c.seconds, c.room), c.text);
  }
}

// The tool on a terminal: each question is on the screen before its answer
// is typed; a missing input shows its message, then the tool waits for one
// key, which it neither echoes nor leaves behind, and the terminal comes back
// as it was.
TEST(ConsoleOnTerminal, QuestionsBeforeAnswersAndTheKeyWait) {
  work_dir w;
  w.put("images/s/a.zqd", "4 1 1\n5 2 2\n6 3 3\n");
  w.put("images/s/r.zqd", "old result");
  pty_child tool([&] {
    if (::chdir(w.path().c_str()) != 0) return 91;
    ::execl(TILVARO_EXE, "tilvaro", static_cast<char*>(nullptr));
    return 92;
  });
  ASSERT_TRUE(tool.ok());
  const struct {
    const char* question;
    const char* answer;
  } steps[] = {
      {"Directory C:\\images\\ : ", "s\r"},
      {"number of files to paste ? ", "2\r"},
      {"File number 1 (without extension .zqd) ? ", "a\r"},
      {"File number 2 (without extension .zqd) ? ", "gone\r"},
      {"resulting .zqd File (without extension .zqd) ? ", "r\r"},
  };
  for (const auto& step : steps) {
    const std::string seen = tool.read_output(kBoundMs, step.question);
    ASSERT_NE(seen.find(step.question), std::string::npos) << seen;
    tool.type(step.answer);
  }
  // The terminal itself turns each LF into CR LF, so the tool's CR LF shows
  // as CR CR LF here.
  const std::string message = "\r\r\n\tFile C:\\images\\s\\gone.zqd unknown\r\r\n";
  std::string seen = tool.read_output(kBoundMs, message);
  ASSERT_NE(seen.find(message), std::string::npos) << seen;
  // The reason, on standard error, starts a line of its own after the
  // console's open line.
  EXPECT_NE(seen.find("\tTreatment\r\ntilvaro: images/s/gone.zqd: No such file or directory\r\n" + message),
            std::string::npos)
      << seen;
  ASSERT_TRUE(tool.wait_for_key_mode());
  tool.read_output(kQuietMs);
  EXPECT_TRUE(tool.still_running());
  tool.type("k");
  const int status = tool.finish();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  seen = tool.read_output(kQuietMs);
  // Standard error says that the run waits; the key was not echoed.
  EXPECT_EQ(seen.substr(seen.find(message) + message.size()), "tilvaro: press a key to close\r\n");
  EXPECT_TRUE(tool.canonical_with_echo());
  EXPECT_EQ(w.get("images/s/r.zqd"), "old result");
  EXPECT_EQ(w.list("images/s"), (std::set<std::string>{"a.zqd", "r.zqd"}));
}

// The same failure with standard input and output redirected, as in
// `tilvaro < answers > merge.log` typed in a terminal: the reason goes to
// standard error (here the terminal), one line on the terminal says the run
// waits for a key, and before the wait the console text is in the log and
// the temporary is gone.
TEST(ConsoleOnTerminal, RedirectedRunSaysOnTheTerminalThatItWaits) {
  work_dir w;
  w.put("images/s/a.zqd", "4 1 1\n5 2 2\n6 3 3\n");
  w.put(".stdin", "s 2 a gone r\n");
  pty_child tool([&] {
    if (::chdir(w.path().c_str()) != 0 || ::dup2(::open(".stdin", O_RDONLY), 0) != 0 ||
        ::dup2(::open("merge.log", O_WRONLY | O_CREAT | O_TRUNC, 0644), 1) != 1)
      return 91;
    ::execl(TILVARO_EXE, "tilvaro", static_cast<char*>(nullptr));
    return 92;
  });
  ASSERT_TRUE(tool.ok());
  const std::string said = "tilvaro: images/s/gone.zqd: No such file or directory\r\n"
                           "tilvaro: press a key to close\r\n";
  EXPECT_EQ(tool.read_output(kBoundMs, said), said);
  ASSERT_TRUE(tool.wait_for_key_mode());
  EXPECT_TRUE(tool.still_running());
  const std::string log = w.get("merge.log");
  EXPECT_EQ(log.substr(log.rfind("\r\n\tTreatment")), crlf("\n\tTreatment\n\tFile C:\\images\\s\\gone.zqd unknown\n"));
  EXPECT_EQ(w.list("images/s"), std::set<std::string>{"a.zqd"});
  tool.type("k");
  const int status = tool.finish();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_TRUE(tool.canonical_with_echo());
}

// tilvaro.exe under wine on a pseudo-terminal: wine gives it a console there
// (its text comes back drawn by wine's console, with escape sequences), so
// the key wait and the console control handler can be seen at work.
pty_child windows_tool(const char* arg = nullptr) {
  return pty_child([arg] {
    const std::string run = windows_build("wine-run"), exe = windows_build("tilvaro.exe");
    ::execl(run.c_str(), run.c_str(), exe.c_str(), arg, static_cast<char*>(nullptr));
    return 92;
  });
}

// Answers each question once it is on the console, and only once wine's
// console has the terminal out of line mode (before, Enter would arrive as
// LF and be taken as text).
void answer(pty_child& tool, const std::vector<std::string>& answers) {
  ASSERT_TRUE(tool.wait_for_key_mode());
  const char* questions[] = {"Directory C:\\images\\ :", "paste ?", "(without extension .zqd) ?"};
  std::size_t seen_before = 0;
  for (std::size_t i = 0; i < answers.size(); ++i) {
    const char* question = questions[i < 2 ? i : 2];
    std::string seen;
    for (int ms = 0; ms < kBoundMs; ms += kQuietMs) {
      seen = tool.read_output(kQuietMs);
      if (seen.find(question, seen_before) != std::string::npos) break;
    }
    ASSERT_NE(seen.find(question, seen_before), std::string::npos) << seen;
    seen_before = seen.find(question, seen_before) + 1;
    tool.type(answers[i] + "\r");
  }
}

// The wait reads one key from the console: a key typed with the answers,
// before the wait began, does not end it; the temporary is gone and the old
// result untouched while it waits; one key ends it, not echoed.
TEST(ConsoleOnWindows, KeyWaitOnTheConsole) {
  if (!under_wine()) GTEST_SKIP() << "Windows only";
  work_dir w;
  w.put("images/s/a.zqd", "4 1 1\n5 2 2\n6 3 3\n");
  w.put("images/s/r.zqd", "old result");
  pty_child tool = windows_tool();
  ASSERT_TRUE(tool.ok());
  // A name typed with a letter outside ASCII reaches the tool as UTF-8, and
  // its text comes back as such. x: typed ahead, with the last answer.
  answer(tool, {"s", "2", "a", "g\xC3\xA9ne", "r\rx"});
  const std::string message = "File C:\\images\\s\\g\xC3\xA9ne.zqd unknown";
  const std::string seen = tool.read_output(kBoundMs, message);
  ASSERT_NE(seen.find(message), std::string::npos) << seen;
  tool.read_output(5 * kQuietMs);
  EXPECT_TRUE(tool.still_running());
  EXPECT_EQ(w.list("images/s"), (std::set<std::string>{"a.zqd", "r.zqd"}));
  EXPECT_EQ(w.get("images/s/r.zqd"), "old result");
  tool.type("j");
  const int status = tool.finish();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  const std::string after = tool.read_output(kQuietMs);
  EXPECT_EQ(after.find('j', after.find(message)), std::string::npos) << after.substr(after.find(message));
}

// A console that wine makes for the tool alone is one of its own, as when
// files are dropped onto tilvaro.exe in Explorer: a usage error waits for a
// key there, so its message can be read before the window closes.
TEST(ConsoleOnWindows, UsageErrorWaitsInAConsoleOfItsOwn) {
  if (!under_wine()) GTEST_SKIP() << "Windows only";
  pty_child tool = windows_tool("dropped.zqd");
  ASSERT_TRUE(tool.ok());
  const std::string hint = "tilvaro: press a key to close";
  const std::string seen = tool.read_output(kBoundMs, hint);
  ASSERT_NE(seen.find("tilvaro: input files need the result's path: -o RESULT"), std::string::npos) << seen;
  ASSERT_NE(seen.find(hint), std::string::npos) << seen;
  EXPECT_EQ(seen.find(hint, seen.find(hint) + 1), std::string::npos) << seen;
  tool.read_output(5 * kQuietMs);
  EXPECT_TRUE(tool.still_running());
  tool.type("k");
  int status = tool.finish();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
  // Started from cmd, which shares its console, it does not wait.
  pty_child from_cmd([] {
    const std::string run = windows_build("wine-run"), exe = windows_build("tilvaro.exe");
    ::execl(run.c_str(), run.c_str(), "cmd.exe", "/c", exe.c_str(), "dropped.zqd", static_cast<char*>(nullptr));
    return 92;
  });
  ASSERT_TRUE(from_cmd.ok());
  status = from_cmd.finish();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_EQ(from_cmd.read_output(kQuietMs).find(hint), std::string::npos);
}

// Ctrl-C in the middle of a merge: the console control handler removes the
// temporary and ends the process as an interrupted console program does (STATUS_CONTROL_C_EXIT, 0xC000013A, of
// which the exit status keeps the low byte).
TEST(ConsoleOnWindows, CtrlCRemovesTheTemporary) {
  if (!under_wine()) GTEST_SKIP() << "Windows only";
  work_dir w;
  w.put("images/s/r.zqd", "old result");
  std::string block;
  for (int i = 0; i < 30000; ++i) block += std::to_string(i) + "\t601569.203875\t2401802.265061\r\n";
  std::ofstream big(w.at("images/s/big.zqd"), std::ios::binary);
  big << "4 1 1\n5 2 2\n6 3 3\n";
  for (int i = 0; i < 300; ++i) big << block;  // about 300 MB: a merge of a second or so
  big.close();
  pty_child tool = windows_tool();
  ASSERT_TRUE(tool.ok());
  answer(tool, {"s", "1", "big", "r"});
  bool temp = false;
  for (int ms = 0; ms < kBoundMs && !temp; ++ms) {
    for (const std::string& name : w.list("images/s")) temp = temp || name.rfind(".r.zqd.", 0) == 0;
    if (!temp) ::usleep(1000);
  }
  ASSERT_TRUE(temp) << "no temporary appeared";
  tool.type("\x03");
  const int status = tool.finish();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0x3A);
  // The temporary is marked for deletion on its open handle; the system
  // deletes it when the ended process's handles are closed, which under wine
  // can come a millisecond after the exit is seen.
  const std::set<std::string> clean{"big.zqd", "r.zqd"};
  for (int ms = 0; ms < kBoundMs && w.list("images/s") != clean; ++ms) ::usleep(1000);
  EXPECT_EQ(w.list("images/s"), clean);
  EXPECT_EQ(w.get("images/s/r.zqd"), "old result");
}

}  // namespace
