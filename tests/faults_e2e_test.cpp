// Faults injected into whole runs of the tool. For each: the console
// message, exit status 1 (or death by the signal sent), no temporary left,
// a pre-existing result byte for byte unchanged, every input unchanged.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "batch.h"
#include "console.h"
#include "side_thread_faults.h"
#include "tool_run.h"

namespace {

const std::string header_a = "4 1 1\n5 2 2\n6 3 3\n";
const std::string old_result = "4\t0.000000\t0.000000\r\n5\t9.000000\t9.000000\r\n6\t0.000000\t9.000000\r\n";


// The text after the dialogue's last question: what the run says at its end.
std::string ending(const std::string& console) {
  const std::string last_question = "(without extension .zqd) ? ";
  const std::size_t at = console.rfind(last_question);
  return at == std::string::npos ? console : console.substr(at + last_question.size());
}

// The text from the copy pass's first line on.
std::string from_copy_pass(const std::string& console) {
  const std::size_t at = console.find("\r\n\tFile 1 Name : ");
  return at == std::string::npos ? console : console.substr(at);
}

// A folder of inputs and an old result, and the checks every fault ends with.
struct survey {
  work_dir w;
  std::string big;  // an input large enough to be written in many blocks

  survey() {
    big = header_a;
    for (int i = 0; i < 40000; ++i) big += std::to_string(i) + "\t601569.203875\t2401802.265061\r\n";
    w.put("images/s/a.zqd", header_a + "1 1 1\n");
    w.put("images/s/big.zqd", big);
    w.put("images/s/r.zqd", old_result);
  }

  // Nothing of the run is left: only the inputs and the old result, as they were.
  void expect_untouched(const std::set<std::string>& extra = {}) const {
    std::set<std::string> names{"a.zqd", "big.zqd", "r.zqd"};
    names.insert(extra.begin(), extra.end());
    EXPECT_EQ(w.list("images/s"), names);
    EXPECT_EQ(w.get("images/s/a.zqd"), header_a + "1 1 1\n");
    EXPECT_EQ(w.get("images/s/big.zqd"), big);
    EXPECT_EQ(w.get("images/s/r.zqd"), old_result);
  }
};

// Runs the child as an unprivileged user, so permissions apply even when
// the tests run as root (an ordinary user is checked as it is). Such a run
// uses sandbox_tool's copy of the executable.
void as_nobody() {
  if (::geteuid() != 0) return;
  ::setgroups(0, nullptr);
  if (::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(126);
}

void open_to_all(const work_dir& w) {
  std::system(("chmod -R a+rX '" + w.path() + "'").c_str());
}

TEST(Faults, ResultFolderMissing) {
  survey s;
  const tool_result r = run_tool(s.w, "s 1 a ../nowhere/r");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(ending(r.out), crlf("\n\tFile C:\\images\\s\\../nowhere/r.zqd cannot be created (No such file or directory)\n"));
  EXPECT_EQ(r.err, "tilvaro: images/s/../nowhere/r.zqd: No such file or directory\n");
  s.expect_untouched();
}

TEST(Faults, ResultFolderNotWritable) {
  survey s;
  open_to_all(s.w);
  ::chmod(s.w.at("images/s").c_str(), 0555);
  const tool_result r = finish_tool(s.w, start_tool(s.w, "s 1 a r", as_nobody, sandbox_tool(s.w)));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(ending(r.out), crlf("\n\tFile C:\\images\\s\\r.zqd cannot be created (Permission denied)\n"));
  EXPECT_EQ(r.err, "tilvaro: images/s/r.zqd: Permission denied\n");
  s.expect_untouched();
}

TEST(Faults, DiskFullWhileWriting) {
  survey s;
  const tool_result r = run_tool(s.w, "s 2 a big r", [] {
    const rlimit limit{200000, 200000};  // the result may not grow past 200 kB
    ::setrlimit(RLIMIT_FSIZE, &limit);
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(from_copy_pass(r.out), crlf("\n\tFile 1 Name : C:\\images\\s\\a.zqd \n\tFile 2 Name : C:\\images\\s\\big.zqd "
                                        "\n\tFile C:\\images\\s\\r.zqd cannot be written (File too large)\n"));
  EXPECT_EQ(r.err, "tilvaro: images/s/r.zqd: File too large\n");
  s.expect_untouched();
}

TEST(Faults, InputThatIsAFolder) {
  survey s;
  s.w.mkdir("images/s/d.zqd");
  const tool_result r = run_tool(s.w, "s 2 a d r");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(ending(r.out), crlf("\n\tTreatment\n\tFile C:\\images\\s\\d.zqd cannot be read (Is a directory)\n"));
  EXPECT_EQ(r.err, "tilvaro: images/s/d.zqd: Is a directory\n");
  s.expect_untouched({"d.zqd"});
}

// An input that cannot be opened: the console says "unknown" as ever, and
// standard error gives the system's reason.
TEST(Faults, InputThatCannotBeOpenedSaysWhy) {
  survey s;
  ASSERT_EQ(::symlink("loop.zqd", s.w.at("images/s/loop.zqd").c_str()), 0);
  const struct {
    const char* name;
    const char* reason;
  } cases[] = {{"gone", "No such file or directory"}, {"loop", "Too many levels of symbolic links"}};
  for (const auto& c : cases) {
    const tool_result r = run_tool(s.w, std::string("s 2 a ") + c.name + " r");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(ending(r.out), crlf("\n\tTreatment\n\tFile C:\\images\\s\\" + std::string(c.name) + ".zqd unknown\n"));
    EXPECT_EQ(r.err, "tilvaro: images/s/" + std::string(c.name) + ".zqd: " + c.reason + "\n");
    s.expect_untouched({"loop.zqd"});
  }
}

// An input that is there for the bounds pass and gone (or unreadable) for
// the copy pass. The input is a FIFO: the tool's first open of it waits for
// this test to open the other end, so the test knows when to take it away;
// then it writes the header and closes, and the tool's second open fails.
void input_taken_away(bool remove) {
  survey s;
  const std::string fifo = s.w.at("images/s/f.zqd");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  open_to_all(s.w);
  ::chmod(s.w.at("images/s").c_str(), 0777);  // the unprivileged run creates its temporary here
  const pid_t pid = remove ? start_tool(s.w, "s 2 a f r") : start_tool(s.w, "s 2 a f r", as_nobody, sandbox_tool(s.w));
  const int end = open_fifo_for_writing(fifo);  // waits for the bounds pass
  if (end < 0) ::kill(pid, SIGKILL);
  ASSERT_GE(end, 0) << finish_tool(s.w, pid).err;
  if (remove) {
    ::unlink(fifo.c_str());
  } else {
    ::chmod(fifo.c_str(), 0);
  }
  ASSERT_EQ(::write(end, header_a.data(), header_a.size()), static_cast<ssize_t>(header_a.size()));
  ::close(end);
  const tool_result r = finish_tool(s.w, pid);
  EXPECT_EQ(r.status, 1);
  const std::string reason = remove ? "No such file or directory" : "Permission denied";
  EXPECT_EQ(from_copy_pass(r.out),
            crlf("\n\tFile 1 Name : C:\\images\\s\\a.zqd \n\tFile 2 Name : C:\\images\\s\\f.zqd "
                 "\n\tFile C:\\images\\s\\f.zqd cannot be opened again (" + reason + ")\n"));
  EXPECT_EQ(r.err, "tilvaro: images/s/f.zqd: " + reason + "\n");
  if (remove) {
    s.expect_untouched();
  } else {
    s.expect_untouched({"f.zqd"});
  }
}

TEST(Faults, InputRemovedBetweenThePasses) { input_taken_away(true); }
TEST(Faults, InputUnreadableBetweenThePasses) { input_taken_away(false); }

// Interrupted in the middle of a merge: the large input has been partly
// copied into the temporary, and the tool waits at a FIFO input's second
// open. The signal must remove the temporary and end the tool by itself.
void interrupted(int sig) {
  survey s;
  const std::string fifo = s.w.at("images/s/f.zqd");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const pid_t pid = start_tool(s.w, "s 2 big f r");
  const int end = open_fifo_for_writing(fifo);  // the bounds pass
  if (end < 0) ::kill(pid, SIGKILL);
  ASSERT_GE(end, 0) << finish_tool(s.w, pid).err;
  ASSERT_EQ(::write(end, header_a.data(), header_a.size()), static_cast<ssize_t>(header_a.size()));
  ::close(end);

  // Wait until part of the large input is in the temporary (the rest may
  // still wait in the writer's buffers).
  std::string temp;
  for (int ms = 0; ms < 20000 && temp.empty(); ++ms) {
    for (const std::string& name : s.w.list("images/s")) {
      struct stat st;
      if (name.rfind(".r.zqd.", 0) == 0 && ::stat(s.w.at("images/s/" + name).c_str(), &st) == 0 &&
          st.st_size > 500000)
        temp = name;
    }
    if (temp.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (temp.empty()) ::kill(pid, SIGKILL);
  ASSERT_FALSE(temp.empty()) << "no temporary grew" << finish_tool(s.w, pid).err;
  ::kill(pid, sig);
  const tool_result r = finish_tool(s.w, pid);
  EXPECT_EQ(r.signal, sig);
  // Console text still pending goes out on the way down.
  EXPECT_NE(r.out.find(crlf("\n\tFile 1 Name : C:\\images\\s\\big.zqd ")), std::string::npos);
  EXPECT_EQ(r.err, "");
  s.expect_untouched({"f.zqd"});
}

TEST(Faults, InterruptedBySigint) { interrupted(SIGINT); }
TEST(Faults, InterruptedBySigterm) { interrupted(SIGTERM); }

// The result named like an input, by other spellings of the same file: the
// merge reads what that input held before, and nothing else is harmed.
TEST(Faults, ResultIsAnInputUnderAnotherName) {
  const std::string merged = "4\t1.000000\t1.000000\r\n5\t2.000000\t2.000000\r\n6\t3.000000\t3.000000\r\n"
                             "1\t1.000000\t1.000000\r\n1\t1.000000\t1.000000\r\n";
  struct {
    const char* result;
    const char* replaced;  // the file that holds the merge afterwards
  } const spellings[] = {{"./a", "a.zqd"}, {"../s/a", "a.zqd"}, {"link", "a.zqd"}, {"hard", "hard.zqd"}};
  for (const auto& spelling : spellings) {
    survey s;
    ASSERT_EQ(::symlink("a.zqd", s.w.at("images/s/link.zqd").c_str()), 0);
    ASSERT_EQ(::link(s.w.at("images/s/a.zqd").c_str(), s.w.at("images/s/hard.zqd").c_str()), 0);
    const tool_result r = run_tool(s.w, std::string("s 2 a a ") + spelling.result);
    EXPECT_EQ(r.status, 0) << spelling.result;
    // Whatever name reaches it, the result's file is found among the inputs, once.
    EXPECT_EQ(r.err, "tilvaro: images/s/a.zqd: warning: this input is the result's file; what it held before this "
                     "run is merged\n")
        << spelling.result;
    EXPECT_EQ(s.w.get(std::string("images/s/") + spelling.replaced), merged) << spelling.result;
    EXPECT_EQ(s.w.list("images/s"), (std::set<std::string>{"a.zqd", "big.zqd", "hard.zqd", "link.zqd", "r.zqd"}));
    struct stat st;
    EXPECT_EQ(::lstat(s.w.at("images/s/link.zqd").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << spelling.result;
    if (std::string(spelling.result) == "hard") {
      EXPECT_EQ(s.w.get("images/s/a.zqd"), header_a + "1 1 1\n");  // the input itself is untouched
    }
  }
}

// Standard streams closed by the caller (<&-, >&-, 2>&-): no file of the
// run takes their numbers, so the result holds the same bytes as with all
// of them open, never the console's text or a diagnostic. The input warns
// (a word in its data), so standard error is written to.
TEST(Faults, ClosedStandardStreams) {
  // Under wine the closed descriptors are wine's own: it breaks with them
  // (its server's messages go astray) before the tool's code runs.
  if (under_wine()) GTEST_SKIP() << "the descriptors of the tool built here";
  survey s;
  s.w.put("images/s/w.zqd", header_a + "1 1 1\nword 2 2\n");
  const std::vector<std::string> args{"-o", "images/s/out.zqd", "images/s/w.zqd", "images/s/a.zqd"};
  const tool_result open = finish_tool(s.w, start_tool(s.w, "", {}, TILVARO_EXE, args));
  ASSERT_EQ(open.status, 0);
  ASSERT_NE(open.err, "");
  const std::string expected = s.w.get("images/s/out.zqd");
  const std::vector<std::vector<int>> closings = {{0}, {1}, {2}, {0, 1, 2}};
  for (const std::vector<int>& closed : closings) {
    SCOPED_TRACE(::testing::PrintToString(closed));
    ::unlink(s.w.at("images/s/out.zqd").c_str());
    const tool_result r = finish_tool(s.w, start_tool(s.w, "", [&] {
      for (const int fd : closed) ::close(fd);
    }, TILVARO_EXE, args));
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(s.w.get("images/s/out.zqd") == expected);
    s.expect_untouched({"out.zqd", "w.zqd"});
  }
}

// Memory stays bounded, with the tool's address space limited: a list
// that is one endless line is refused, and a dialogue fed names without
// end stops when memory runs out, with its message, leaving nothing. The
// sanitizers reserve far more address space than the limit: skipped there.
TEST(Faults, MemoryBounded) {
#ifdef TILVARO_SANITIZED
  GTEST_SKIP() << "the sanitizers cannot run under an address-space limit";
#endif
  if (under_wine()) GTEST_SKIP() << "the limit is set on the tool built here";
  survey s;
  const auto limited = [] {
    const rlimit limit{64 << 20, 64 << 20};
    ::setrlimit(RLIMIT_AS, &limit);
  };
  tool_result r = finish_tool(s.w, start_tool(s.w, "", limited, TILVARO_EXE, {"-o", "images/s/out.zqd", "-T", "/dev/zero"}));
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "tilvaro: /dev/zero: line 1 is longer than any path\n");
  s.expect_untouched();

  // The folder, a count, then "a" without end from a writer of its own,
  // which ends when the tool does (its writes then fail). The console's
  // questions go to the null device.
  r = finish_tool(s.w, start_tool(s.w, "", [&] {
    limited();
    int names[2];
    if (::pipe(names) != 0) _exit(127);
    if (::fork() == 0) {
      ::close(names[0]);
      static char chunk[4096];
      for (std::size_t i = 0; i < sizeof chunk; i += 2) chunk[i] = 'a', chunk[i + 1] = '\n';
      if (::write(names[1], "s 2147483647 ", 13) == 13)
        while (::write(names[1], chunk, sizeof chunk) > 0) {
        }
      _exit(0);
    }
    ::dup2(names[0], 0);
    ::close(names[0]);
    ::close(names[1]);
    ::dup2(::open("/dev/null", O_WRONLY), 1);
  }));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tilvaro: out of memory (reading the names of the inputs)\n");
  s.expect_untouched();
}

// The command line's merge run in a child of the test, its thread starts
// made to fail from the n-th on (n = 0: none fails). Returns the exit
// status; starts gets the number of thread starts the merge asked for.
int merge_in_child(const survey& s, const std::vector<std::string>& inputs, unsigned long n, bool and_after,
                   unsigned long& starts) {
  int count[2];
  if (::pipe(count) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int out = ::open("/dev/null", O_WRONLY);
    const int err = ::open(s.w.at(".stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || ::chdir(s.w.path().c_str()) != 0) _exit(127);
    ::dup2(out, 1);
    ::dup2(err, 2);
    side_thread_fail_at(n, and_after);
    std::vector<input_arg> args;
    for (const std::string& i : inputs) args.push_back(input_arg{i, false});
    const int status = batch("images/s/r.zqd", args, true);
    console_flush();
    const unsigned long asked = side_thread_starts();
    (void)!::write(count[1], &asked, sizeof asked);
    _exit(status);
  }
  ::close(count[1]);
  const int raw = wait_bounded(pid);
  starts = 0;
  (void)!::read(count[0], &starts, sizeof starts);
  ::close(count[0]);
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

// Every thread a merge starts (reading ahead, the copy's helpers, writing
// and syncing behind) may fail to start: the merge then does that work on
// its own thread and gives the same bytes as the tool undisturbed. The
// threads start once per run, however many inputs there are.
TEST(Faults, ThreadThatCannotBeStarted) {
  survey s;
  std::string heavy = header_a;  // values of seven decimals: formatted, so the copy is split
  for (int i = 0; i < 40000; ++i) heavy += std::to_string(i) + " 601569.2038751 2401802.2650612\n";
  s.w.put("images/s/heavy.zqd", heavy);
  const std::vector<std::string> inputs{"images/s/a.zqd", "images/s/heavy.zqd", "images/s/big.zqd", "images/s/a.zqd"};
  std::vector<std::string> args{"-q", "-o", "ref.zqd"};
  args.insert(args.end(), inputs.begin(), inputs.end());
  ASSERT_EQ(run_args(s.w, args).status, 0);
  const std::string expected = s.w.get("ref.zqd");

  unsigned long used = 0;
  ASSERT_EQ(merge_in_child(s, inputs, 0, false, used), 0);
  EXPECT_GE(used, 3u);  // at least reading ahead, writing and syncing
  std::vector<std::string> twice = inputs;
  twice.insert(twice.end(), inputs.begin(), inputs.end());
  unsigned long used_twice = 0;
  ASSERT_EQ(merge_in_child(s, twice, 0, false, used_twice), 0);
  EXPECT_EQ(used_twice, used);

  for (unsigned long n = 1; n <= used + 1; ++n) {
    for (const bool and_after : {false, true}) {
      SCOPED_TRACE("start " + std::to_string(n) + (and_after ? " and after" : "") + " of " + std::to_string(used));
      unsigned long starts = 0;
      EXPECT_EQ(merge_in_child(s, inputs, n, and_after, starts), 0);
      EXPECT_EQ(s.w.get(".stderr"), "");
      EXPECT_TRUE(s.w.get("images/s/r.zqd") == expected);
      EXPECT_EQ(s.w.list("images/s"), (std::set<std::string>{"a.zqd", "big.zqd", "heavy.zqd", "r.zqd"}));
      EXPECT_LE(starts, used);
    }
  }
}

}  // namespace
