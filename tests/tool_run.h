// Test helpers for running the tool end to end: a temporary working folder
// with files under images/, and one run of the executable in it, fed its
// answers on standard input, without a controlling terminal.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

// The Windows build under wine, when the environment names its folder
// (TILVARO_WINDOWS_BUILD): the scenarios then run its tilvaro.exe through its
// wine-run, and the tool's C:\ is the prefix's drive_c. Otherwise they run
// the tool built here.
inline bool under_wine() { return std::getenv("TILVARO_WINDOWS_BUILD") != nullptr; }
// A file of the Windows build: "tilvaro.exe", "wine-run", "tests/hold_file.exe".
inline std::string windows_build(const std::string& rel) {
  return std::string(std::getenv("TILVARO_WINDOWS_BUILD")) + "/" + rel;
}

// A path under images/ as the tool hands it to the file system: as it stands
// on POSIX, in drive form on Windows ("C:\images\s\a.zqd").
inline std::string as_opened(const std::string& rel) {
  if (!under_wine()) return rel;
  std::string p = "C:\\" + rel;
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

// A temporary working folder, removed with everything in it at the end.
// Under wine, C:\images\ is made a link to its images folder (so one
// scenario at a time: see RESOURCE_LOCK in tests/CMakeLists.txt).
class work_dir {
 public:
  work_dir() {
    char tmpl[] = "/tmp/tilvaro-test-XXXXXX";
    path_ = ::mkdtemp(tmpl);
    if (under_wine()) {
      link_ = windows_build("wine-prefix/drive_c/images");
      std::system(("rm -rf '" + link_ + "'").c_str());
      (void)!::symlink(at("images").c_str(), link_.c_str());
    }
  }
  ~work_dir() {
    if (!link_.empty()) ::unlink(link_.c_str());
    std::system(("chmod -R u+rwx '" + path_ + "' 2>/dev/null; rm -rf '" + path_ + "'").c_str());
  }
  work_dir(const work_dir&) = delete;
  work_dir& operator=(const work_dir&) = delete;

  const std::string& path() const { return path_; }
  std::string at(const std::string& rel) const { return path_ + "/" + rel; }

  // Writes a file, creating its folders.
  void put(const std::string& rel, const std::string& bytes) const {
    std::system(("mkdir -p \"$(dirname '" + at(rel) + "')\"").c_str());
    std::ofstream(at(rel), std::ios::binary) << bytes;
  }
  void mkdir(const std::string& rel) const { std::system(("mkdir -p '" + at(rel) + "'").c_str()); }

  bool exists(const std::string& rel) const {
    struct stat st;
    return ::lstat(at(rel).c_str(), &st) == 0;
  }
  std::string get(const std::string& rel) const {
    std::ifstream in(at(rel), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // The names in a folder, "." and ".." left out.
  std::set<std::string> list(const std::string& rel) const { return list_at(at(rel)); }
  // The same for a folder given by its own path.
  static std::set<std::string> list_at(const std::string& path) {
    std::set<std::string> names;
    if (DIR* d = ::opendir(path.c_str())) {
      while (const dirent* e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..") names.insert(n);
      }
      ::closedir(d);
    }
    return names;
  }

 private:
  std::string path_;
  std::string link_;
};

// Text as the console writes it: every LF as CR LF.
inline std::string crlf(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// Standard error's lines as LF lines: on Windows each one must end in CR LF,
// and one that does not is marked, so that every comparison fails on it.
inline std::string lf_lines(const std::string& err) {
  std::string out;
  for (std::size_t i = 0; i < err.size(); ++i) {
    if (err[i] == '\r' && i + 1 < err.size() && err[i + 1] == '\n') continue;
    if (err[i] == '\n' && (i == 0 || err[i - 1] != '\r')) out += "(a bare LF here)";
    out += err[i];
  }
  return out;
}

// No signal held back, as a process started from a shell has it: a commit
// in the test process holds the termination signals to its end, and a
// forked child (and a program it runs) would inherit that.
inline void unblock_all_signals() {
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

// For a forked child that is not about the terminal: a session of its own,
// so no controlling terminal, and nothing on standard input, so the child
// behaves the same whether the tests run from a terminal or without one.
// No signal is held back.
inline void detach_from_terminal() {
  unblock_all_signals();
  ::setsid();
  const int none = ::open("/dev/null", O_RDONLY);
  if (none > 0) {
    ::dup2(none, 0);
    ::close(none);
  }
}

struct tool_result {
  int status = -1;  // exit status, or -1 when ended by a signal (or killed after the bound)
  int signal = 0;   // the signal that ended it
  std::string out;  // every byte written to standard output
  std::string err;  // every byte written to standard error
};

// How long one run of the tool may take before it is killed: only there to
// keep a broken build from hanging the test run.
constexpr int kToolBoundMs = 60000;

// For runs as another user: a copy of the executable inside dir, reachable
// also when the checkout is in a folder that user cannot enter, and dir
// opened to everyone. Returns the copy's path.
inline std::string sandbox_tool(const work_dir& dir) {
  const std::string copy = dir.at(".tilvaro");
  std::system(("cp '" TILVARO_EXE "' '" + copy + "' && chmod -R a+rX '" + dir.path() + "'").c_str());
  return copy;
}

// Starts the tool (exe, by default the one built) in dir with input on
// standard input (a file, so the tool sees its end), the arguments args, and
// standard output and error in files. The child starts a new session, so it
// has no controlling terminal and the key wait is skipped. setup runs in the child just before
// exec (limits, user, signal dispositions).
inline pid_t start_tool(const work_dir& dir, const std::string& input, const std::function<void()>& setup = {},
                        const std::string& exe = TILVARO_EXE, const std::vector<std::string>& args = {}) {
  const std::string in_path = dir.path() + "/.stdin", out_path = dir.path() + "/.stdout";
  const std::string err_path = dir.path() + "/.stderr";
  std::ofstream(in_path, std::ios::binary) << input;
  std::vector<char*> argv{const_cast<char*>("tilvaro")};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    unblock_all_signals();
    ::setsid();
    const int in = ::open(in_path.c_str(), O_RDONLY);
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || ::chdir(dir.path().c_str()) != 0) _exit(127);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (setup) setup();
    if (under_wine() && exe == TILVARO_EXE) {
      // wine-run tilvaro.exe ARGS...
      const std::string run = windows_build("wine-run"), exe_w = windows_build("tilvaro.exe");
      std::vector<char*> wine_argv{const_cast<char*>(run.c_str()), const_cast<char*>(exe_w.c_str())};
      wine_argv.insert(wine_argv.end(), argv.begin() + 1, argv.end());
      ::execv(run.c_str(), wine_argv.data());
    }
    ::execv(exe.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

// Waits for a child at most bound_ms, then kills it. Returns its wait
// status; killed tells whether the bound was reached.
inline int wait_bounded(pid_t pid, int bound_ms = kToolBoundMs, bool* killed = nullptr) {
  int raw = 0;
  int ms = 0;
  for (; ms < bound_ms && ::waitpid(pid, &raw, WNOHANG) == 0; ms += 2) ::usleep(2000);
  if (killed) *killed = ms >= bound_ms;
  if (ms >= bound_ms) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &raw, 0);
  }
  return raw;
}

// Opens a FIFO for writing, waiting at most bound_ms for its reader;
// -1 when none came.
inline int open_fifo_for_writing(const std::string& path, int bound_ms = kToolBoundMs) {
  for (int ms = 0; ms < bound_ms; ms += 2) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) {
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      return fd;
    }
    if (errno != ENXIO) return -1;
    ::usleep(2000);
  }
  return -1;
}

// Waits (at most kToolBoundMs, then kills it) for a tool started by
// start_tool and collects what it did.
inline tool_result finish_tool(const work_dir& dir, pid_t pid) {
  bool killed = false;
  const int raw = wait_bounded(pid, kToolBoundMs, &killed);
  tool_result r;
  if (killed) r.err = "(killed: still running after the bound)\n";
  if (WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) r.signal = WTERMSIG(raw);
  r.out = dir.get(".stdout");
  r.err += dir.get(".stderr");
  if (under_wine()) r.err = lf_lines(r.err);
  for (const char* name : {"/.stdin", "/.stdout", "/.stderr"}) ::unlink((dir.path() + name).c_str());
  return r;
}

// Runs writer(fd) in a process of its own on the write end of a pipe whose
// read end becomes target_fd of the child: for start_tool's setup. The
// writer is killed by the broken pipe once the tool has gone.
inline std::function<void()> piped_into(int target_fd, std::function<void(int)> writer) {
  return [=] {
    int p[2];
    if (::pipe(p) != 0) _exit(125);
    if (::fork() == 0) {
      ::signal(SIGPIPE, SIG_DFL);
      ::close(p[0]);
      writer(p[1]);
      _exit(0);
    }
    ::close(p[1]);
    ::dup2(p[0], target_fd);
    if (p[0] != target_fd) ::close(p[0]);
  };
}

inline void write_all(int fd, const std::string& bytes) {
  for (std::size_t at = 0; at < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
    if (n <= 0) return;
    at += static_cast<std::size_t>(n);
  }
}

inline tool_result run_tool(const work_dir& dir, const std::string& input,
                            const std::function<void()>& setup = {}) {
  return finish_tool(dir, start_tool(dir, input, setup));
}

// Runs the tool in dir with arguments and nothing on standard input.
inline tool_result run_args(const work_dir& dir, const std::vector<std::string>& args) {
  return finish_tool(dir, start_tool(dir, "", {}, TILVARO_EXE, args));
}
