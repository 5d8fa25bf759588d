// Faults injected into whole runs of the tool. For each: the console
// message, exit status 1 (or death by the signal sent), no temporary left,
// a pre-existing result byte for byte unchanged, every input unchanged;
// status 0 and a warning for a fault that comes once the result is in place.
#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "console/console.h"
#include "entry/batch.h"
#include "host/posix/result_file_unnamed.h"
#include "streams/side_thread_faults.h"
#include "tool_run.h"

namespace {

const std::string header_a = "4 1 1\n5 2 2\n6 3 3\n";
const std::string old_result = "4\t0.000000\t0.000000\r\n5\t9.000000\t9.000000\r\n6\t0.000000\t9.000000\r\n";

// tilvaro -q -o images/s/r.zqd INPUT..., as the command line reads it.
command_line quiet_merge(const std::vector<std::string>& inputs) {
  command_line cl;
  cl.what = command::merge;
  cl.output = "images/s/r.zqd";
  for (const std::string& i : inputs) cl.inputs.push_back(input_arg{i, false});
  cl.quiet = true;
  return cl;
}

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
  EXPECT_EQ(ending(r.out), crlf("\n\tFolder C:\\images\\s\\../nowhere/ does not exist\n"));
  EXPECT_EQ(r.err, "tilvaro: images/s/../nowhere/: no such folder\n");
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

// A folder that may be written and entered but not read: the result is put
// in place, but the folder cannot be opened to be synced. The run has
// succeeded all the same, and says what it could not do.
TEST(Faults, FolderThatCannotBeSyncedIsAWarning) {
  survey s;
  const std::string exe = sandbox_tool(s.w);
  ::chmod(s.w.at("images/s").c_str(), 0333);
  const tool_result r = finish_tool(s.w, start_tool(s.w, "s 1 a r", as_nobody, exe));
  ::chmod(s.w.at("images/s").c_str(), 0755);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "tilvaro: images/s/r.zqd: warning: the folder could not be synced: Permission denied\n");
  EXPECT_EQ(s.w.get("images/s/r.zqd"), "4\t1.000000\t1.000000\r\n5\t2.000000\t2.000000\r\n6\t3.000000\t3.000000\r\n"
                                         "1\t1.000000\t1.000000\r\n");
  EXPECT_EQ(s.w.list("images/s"), (std::set<std::string>{"a.zqd", "big.zqd", "r.zqd"}));
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

// A regular input changed between the bounds pass and the copy pass. Two
// FIFOs pace the run: p1, read once and held open, keeps the copy pass
// waiting until this test has written the rest of it; p3, the third input,
// is opened by the bounds pass only after it has read f.zqd's header. The
// test changes f.zqd in between, while the tool waits at p3's open.
TEST(Faults, InputChangedBetweenThePasses) {
  const std::string grown = header_a + "1 1 1\n";
  const struct {
    const char* what;
    std::function<void(const std::string&)> change;
    bool as_nobody;
    const char* console;  // the run's last line; "" when the merge succeeds
    const char* reason;
  } cases[] = {
      {"removed", [](const std::string& f) { ::unlink(f.c_str()); }, false, "cannot be opened again (No such file or directory)",
       "No such file or directory"},
      {"unreadable", [](const std::string& f) { ::chmod(f.c_str(), 0); }, true, "cannot be opened again (Permission denied)",
       "Permission denied"},
      {"replaced", [](const std::string& f) {
         std::ofstream(f + ".new", std::ios::binary) << "4 0 0\n5 9 9\n6 0 9\n8 8 8\n";
         ::rename((f + ".new").c_str(), f.c_str());
       }, false, "changed while it was being merged", "changed while it was being merged"},
      {"emptied", [](const std::string& f) { ::truncate(f.c_str(), 0); }, false, "changed while it was being merged",
       "changed while it was being merged"},
      {"header rewritten in place", [](const std::string& f) {
         const int fd = ::open(f.c_str(), O_WRONLY);
         (void)!::pwrite(fd, "7", 1, 2);
         ::close(fd);
       }, false, "changed while it was being merged", "changed while it was being merged"},
      {"grown behind its header", [](const std::string& f) { std::ofstream(f, std::ios::app) << "2 2 2\n"; }, false, "",
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    survey s;
    s.w.put("images/s/f.zqd", grown);
    for (const char* p : {"images/s/p1.zqd", "images/s/p3.zqd"}) ASSERT_EQ(::mkfifo(s.w.at(p).c_str(), 0644), 0);
    open_to_all(s.w);
    ::chmod(s.w.at("images/s").c_str(), 0777);  // the unprivileged run creates its temporary here
    const pid_t pid = c.as_nobody ? start_tool(s.w, "s 3 p1 f p3 r", as_nobody, sandbox_tool(s.w))
                                  : start_tool(s.w, "s 3 p1 f p3 r");
    const int p1 = open_fifo_for_writing(s.w.at("images/s/p1.zqd"));
    const bool p1_written = p1 >= 0 && ::write(p1, header_a.data(), header_a.size()) == ssize_t(header_a.size());
    const int p3 = p1_written ? open_fifo_for_writing(s.w.at("images/s/p3.zqd")) : -1;  // f.zqd's header is read
    if (p3 < 0) ::kill(pid, SIGKILL);
    ASSERT_GE(p3, 0) << finish_tool(s.w, pid).err;
    c.change(s.w.at("images/s/f.zqd"));
    EXPECT_EQ(::write(p3, header_a.data(), header_a.size()), ssize_t(header_a.size()));
    ::close(p3);
    EXPECT_EQ(::write(p1, "5 5 5\n", 6), 6);
    ::close(p1);
    const tool_result r = finish_tool(s.w, pid);
    if (*c.console == '\0') {
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.err, "");
      EXPECT_NE(s.w.get("images/s/r.zqd").find("\r\n1\t1.000000\t1.000000\r\n2\t2.000000\t2.000000\r\n"),
                std::string::npos);
      continue;
    }
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(from_copy_pass(r.out),
              crlf("\n\tFile 1 Name : C:\\images\\s\\p1.zqd \n\tFile 2 Name : C:\\images\\s\\f.zqd "
                   "\n\tFile C:\\images\\s\\f.zqd " + std::string(c.console) + "\n"));
    EXPECT_EQ(r.err, "tilvaro: images/s/f.zqd: " + std::string(c.reason) + "\n");
    std::set<std::string> names{"a.zqd", "big.zqd", "r.zqd", "p1.zqd", "p3.zqd"};
    if (s.w.exists("images/s/f.zqd")) names.insert("f.zqd");
    EXPECT_EQ(s.w.list("images/s"), names);
    EXPECT_EQ(s.w.get("images/s/r.zqd"), old_result);
  }
}

// A result that can no longer be written ends the run at once, also when
// its input never ends: a file-size limit, and standard output whose reader
// has gone after 100 bytes (quietly then: nobody is left to read a message).
TEST(Faults, WriteFailureStopsTheReading) {
  const auto endless_records = [](int fd) {
    write_all(fd, header_a);
    std::string block;
    for (int i = 0; i < 1000; ++i) block += "7 601569.203875 2401802.265061\n";
    for (;;) write_all(fd, block);
  };
  const auto reader_of_100_bytes = [] {
    int p[2];
    if (::pipe(p) != 0) _exit(125);
    if (::fork() == 0) {
      ::close(p[1]);
      char buf[100];
      for (std::size_t got = 0; got < sizeof buf;) {
        const ssize_t n = ::read(p[0], buf + got, sizeof buf - got);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
      }
      _exit(0);
    }
    ::close(p[0]);
    ::dup2(p[1], 1);
    ::close(p[1]);
  };
  const auto feed = piped_into(0, endless_records);
  const struct {
    const char* output;
    std::function<void()> setup;
    const char* err;
  } cases[] = {
      {"images/s/r.zqd", [&] {
         feed();
         const rlimit limit{200000, 200000};
         ::setrlimit(RLIMIT_FSIZE, &limit);
       }, "tilvaro: images/s/r.zqd: File too large\n"},
      {"-", [&] {
         feed();
         reader_of_100_bytes();
       }, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    survey s;
    const tool_result r = finish_tool(s.w, start_tool(s.w, "", c.setup, TILVARO_EXE, {"-q", "-o", c.output, "-"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, c.err);
    s.expect_untouched();
  }
}

// Inputs read once are held open together between the passes: the limit of
// open files is raised for them as far as the system allows; past that the
// run ends before anything is made. /dev/null is such an input.
TEST(Faults, InputsReadOnceBeyondTheOpenFileLimit) {
  const struct {
    rlim_t soft, hard;
    int status;
  } cases[] = {{40, 4096, 0}, {40, 40, 1}};
  for (const auto& c : cases) {
    survey s;
    std::vector<std::string> args{"-q", "-o", "images/s/r.zqd"};
    for (int i = 0; i < 20; ++i) args.push_back("/dev/null");
    const tool_result r = finish_tool(s.w, start_tool(s.w, "", [&] {
      const rlimit limit{c.soft, c.hard};
      ::setrlimit(RLIMIT_NOFILE, &limit);
    }, TILVARO_EXE, args));
    EXPECT_EQ(r.status, c.status) << r.err;
    if (c.status == 0) {
      EXPECT_EQ(s.w.get("images/s/r.zqd").substr(0, 10), "4\t4000000.");
      continue;
    }
    EXPECT_EQ(r.err, "tilvaro: 20 inputs that can be read only once must be held open together, and the system lets "
                     "a process hold only 40 files open\n");
    s.expect_untouched();
  }
}

// The temporary of the run pid once more than half a megabyte of it is
// written: a hidden ".r.zqd." file in the folder, or an unnamed one that the
// run holds open, which /proc/<pid>/fd shows as "<folder>/#<number>
// (deleted)". Its path (in /proc for an unnamed one), or "" when none grew
// within the bound. Part of the input may still wait in the writer's buffers.
std::string growing_temp(const survey& s, pid_t pid) {
  char real[PATH_MAX];
  const std::string folder = ::realpath(s.w.at("images/s").c_str(), real) ? std::string(real) + "/" : "";
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  auto grown = [](const std::string& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 500000;
  };
  for (int ms = 0; ms < kToolBoundMs; ++ms) {
    for (const std::string& name : s.w.list("images/s"))
      if (name.rfind(".r.zqd.", 0) == 0 && grown(s.w.at("images/s/" + name))) return s.w.at("images/s/" + name);
    for (const std::string& fd : work_dir::list_at(fds)) {
      char link[PATH_MAX];
      const ssize_t n = ::readlink((fds + "/" + fd).c_str(), link, sizeof link - 1);
      const std::string to(link, n > 0 ? std::size_t(n) : 0);
      const std::string deleted = " (deleted)";
      if (!folder.empty() && to.rfind(folder + "#", 0) == 0 && to.size() > deleted.size() &&
          to.compare(to.size() - deleted.size(), deleted.size(), deleted) == 0 && grown(fds + "/" + fd))
        return fds + "/" + fd;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return "";
}

// Starts a run of "s 2 big f r" with f.zqd a FIFO: fed its header for the
// bounds pass, which keeps it open, the copy pass then copies the large
// input into the temporary and waits for the rest of the FIFO, whose
// writing end (end) the caller holds and closes. start runs the merge in a
// child and returns its pid.
template <class Start>
pid_t merge_waiting_at_fifo(const survey& s, Start start, int& end) {
  const std::string fifo = s.w.at("images/s/f.zqd");
  if (::mkfifo(fifo.c_str(), 0644) != 0) return -1;
  const pid_t pid = start();
  end = open_fifo_for_writing(fifo);  // the bounds pass
  if (end < 0 || ::write(end, header_a.data(), header_a.size()) != static_cast<ssize_t>(header_a.size())) {
    ::kill(pid, SIGKILL);
    wait_bounded(pid);
    return -1;
  }
  return pid;
}

// Interrupted in the middle of a merge: the large input has been partly
// copied into the temporary, and the tool waits for the rest of a FIFO
// input, which this test holds open. The signal must remove the temporary
// and end the tool by itself.
void interrupted(int sig) {
  survey s;
  int end = -1;
  const pid_t pid = merge_waiting_at_fifo(s, [&] { return start_tool(s.w, "s 2 big f r"); }, end);
  ASSERT_GT(pid, 0) << "the bounds pass did not open the FIFO";
  const std::string temp = growing_temp(s, pid);
  if (temp.empty()) ::kill(pid, SIGKILL);
  ASSERT_FALSE(temp.empty()) << "no temporary grew" << finish_tool(s.w, pid).err;
  ::kill(pid, sig);
  const tool_result r = finish_tool(s.w, pid);
  ::close(end);
  EXPECT_EQ(r.signal, sig);
  // Console text still pending goes out on the way down.
  EXPECT_NE(r.out.find(crlf("\n\tFile 1 Name : C:\\images\\s\\big.zqd ")), std::string::npos);
  EXPECT_EQ(r.err, "");
  s.expect_untouched({"f.zqd"});
}

TEST(Faults, InterruptedBySigint) { interrupted(SIGINT); }
TEST(Faults, InterruptedBySigterm) { interrupted(SIGTERM); }

// Killed outright (SIGKILL, as a power loss) in the middle of a merge: the
// old result is whole; an unnamed temporary is gone with the process, a
// named one stays until the next run of that result removes it. The merge
// runs in a child of the test, so the named kind can be chosen.
TEST(Faults, KilledOutrightLeavesNothingALaterRunKeeps) {
  const std::string merged_a = "4\t1.000000\t1.000000\r\n5\t2.000000\t2.000000\r\n6\t3.000000\t3.000000\r\n"
                               "1\t1.000000\t1.000000\r\n";
  for (const bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed tried first" : "named");
    survey s;
    int end = -1;
    const pid_t pid = merge_waiting_at_fifo(s, [&] {
      const pid_t child = ::fork();
      if (child == 0) {
        detach_from_terminal();
        const int none = ::open("/dev/null", O_WRONLY);
        if (none < 0 || ::dup2(none, 1) != 1 || ::dup2(none, 2) != 2 || ::chdir(s.w.path().c_str()) != 0) _exit(127);
        result_file_try_unnamed(unnamed);
        _exit(batch(quiet_merge({"images/s/big.zqd", "images/s/f.zqd"})));
      }
      return child;
    }, end);
    ASSERT_GT(pid, 0) << "the bounds pass did not open the FIFO";
    const std::string temp = growing_temp(s, pid);
    ::kill(pid, SIGKILL);
    const int status = wait_bounded(pid);
    ::close(end);
    ASSERT_FALSE(temp.empty()) << "no temporary grew";
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    const bool named = temp.rfind("/proc/", 0) != 0;
    EXPECT_TRUE(named || unnamed);
    if (named) {
      s.expect_untouched({"f.zqd", temp.substr(temp.rfind('/') + 1)});
    } else {
      s.expect_untouched({"f.zqd"});
    }

    const tool_result r = run_tool(s.w, "s 1 a r");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(s.w.list("images/s"), (std::set<std::string>{"a.zqd", "big.zqd", "f.zqd", "r.zqd"}));
    EXPECT_EQ(s.w.get("images/s/r.zqd"), merged_a);
  }
}

// A termination signal once the result is being put in place cannot be
// aimed at that moment from outside the run without a hook in the tool;
// tests/result_file_test.cpp (AfterACommitTheRunIsNoLongerInterrupted)
// sends it right after the commit, with the real handlers installed.

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

// The command line's merge (or, with look, its --check of the inputs, whose
// report goes to .stdout) run in a child of the test, its thread starts made
// to fail from the n-th on (n = 0: none fails). Returns the exit status;
// starts gets the number of thread starts the run asked for.
int merge_in_child(const survey& s, const std::vector<std::string>& inputs, unsigned long n, bool and_after,
                   unsigned long& starts, bool look = false) {
  int count[2];
  if (::pipe(count) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int out = look ? ::open(s.w.at(".stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)
                         : ::open("/dev/null", O_WRONLY);
    const int err = ::open(s.w.at(".stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || ::chdir(s.w.path().c_str()) != 0) _exit(127);
    ::dup2(out, 1);
    ::dup2(err, 2);
    side_thread_fail_at(n, and_after);
    command_line cl = quiet_merge(inputs);
    if (look) {
      cl.what = command::check;
      cl.output.clear();
    }
    const int status = look ? check(cl) : batch(cl);
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
// threads start once per run, however many inputs there are. So with the
// look at the inputs (its workers, their readers' threads, the helpers of
// a split scan): the same report.
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

  // The look at the inputs likewise, on workers or (one input) in parts.
  for (const std::vector<std::string>& looked : {inputs, std::vector<std::string>{"images/s/heavy.zqd"}}) {
    unsigned long look_used = 0;
    ASSERT_EQ(merge_in_child(s, looked, 0, false, look_used, true), 0);
    const std::string report = s.w.get(".stdout");
    for (unsigned long n = 1; n <= look_used + 1; ++n) {
      for (const bool and_after : {false, true}) {
        SCOPED_TRACE("look, start " + std::to_string(n) + (and_after ? " and after" : "") + " of " +
                     std::to_string(look_used));
        unsigned long starts = 0;
        EXPECT_EQ(merge_in_child(s, looked, n, and_after, starts, true), 0);
        EXPECT_EQ(s.w.get(".stderr"), "");
        EXPECT_EQ(s.w.get(".stdout"), report);
        EXPECT_LE(starts, look_used);
      }
    }
  }
}

}  // namespace
