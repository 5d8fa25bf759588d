// Test helper: a child process whose controlling terminal is a fresh
// pseudo-terminal, for the key wait and the interactive console; and a
// model of what a terminal's screen shows.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utmp.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

// Bounds for waits that normally end at once; they only keep a broken
// build from hanging the test run.
constexpr int kBoundMs = 10000;
// How long the parent watches a child that is expected to stay waiting.
constexpr int kQuietMs = 200;

// A child process whose controlling terminal is a fresh pseudo-terminal. The
// parent keeps both ends: the master to type and read, the slave to inspect
// the terminal's settings even after the child is gone. A terminal of
// columns > 0 says it is that wide; one of 0 tells no width.
class pty_child {
 public:
  explicit pty_child(const std::function<int()>& body, unsigned short columns = 0) {
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0 || pipe(resume_) != 0) return;
    const winsize size{24, columns, 0, 0};
    if (columns > 0 && ioctl(slave_, TIOCSWINSZ, &size) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(master_);
      close(resume_[1]);
      if (login_tty(slave_) != 0) _exit(90);
      _exit(body());
    }
  }
  ~pty_child() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
    for (int fd : resume_)
      if (fd >= 0) close(fd);
  }
  bool ok() const { return pid_ > 0; }

  termios settings() const {
    termios t{};
    tcgetattr(slave_, &t);
    return t;
  }
  bool canonical_with_echo() const {
    return (settings().c_lflag & (ICANON | ECHO)) == tcflag_t(ICANON | ECHO);
  }

  // Waits until the child has switched the terminal out of canonical mode.
  bool wait_for_key_mode() const {
    for (int ms = 0; ms < kBoundMs; ++ms) {
      if (!(settings().c_lflag & ICANON)) return true;
      usleep(1000);
    }
    return false;
  }

  void type(const std::string& keys) const {
    ASSERT_EQ(write(master_, keys.data(), keys.size()), ssize_t(keys.size()));
  }

  // What the child writes (and the terminal echoes) until `until` has been
  // seen or `ms` have passed.
  std::string read_output(int ms, const std::string& until = "") {
    for (int waited = 0; waited < ms; waited += 10) {
      if (!until.empty() && seen_.find(until) != std::string::npos) break;
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 10) > 0 && (p.revents & POLLIN)) {
        char buf[256];
        const ssize_t n = read(master_, buf, sizeof buf);
        if (n > 0) seen_.append(buf, std::size_t(n));
      }
    }
    return seen_;
  }

  void send(int sig) const { kill(pid_, sig); }

  bool still_running() const { return waitpid(pid_, nullptr, WNOHANG) == 0; }

  // A byte for the child on the pipe it reads as resume_fd (see run_as_job).
  void resume() const { ASSERT_EQ(write(resume_[1], "g", 1), 1); }
  int resume_fd() const { return resume_[0]; }

  // The child's wait status, or -1 when it had to be killed.
  int finish() {
    int status = 0;
    for (int ms = 0; ms < kBoundMs; ms += 5) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        reaped_ = true;
        return status;
      }
      usleep(5000);
    }
    return -1;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  pid_t pid_ = -1;
  bool reaped_ = false;
  int resume_[2] = {-1, -1};
  std::string seen_;
};

// The child's part for a run as a job of a small shell on the terminal: body
// runs in a process group of its own, in the foreground or, when foreground
// is false, in the background. When the job stops, the shell takes the
// terminal back, writes "STOPPED;" and waits for a byte on resume_fd, then
// gives the terminal back and continues the job (exit status 99 when no
// byte comes). Returns the job's exit status, 100 + signal when killed.
inline int run_as_job(bool foreground, int resume_fd, const std::function<int()>& body) {
  signal(SIGTTOU, SIG_IGN);
  const pid_t job = fork();
  if (job == 0) {
    setpgid(0, 0);
    if (foreground) tcsetpgrp(STDIN_FILENO, getpgrp());
    signal(SIGTTOU, SIG_DFL);
    _exit(body());
  }
  setpgid(job, job);
  if (foreground) tcsetpgrp(STDIN_FILENO, job);
  int status = 0;
  while (waitpid(job, &status, WUNTRACED) == job && WIFSTOPPED(status)) {
    tcsetpgrp(STDIN_FILENO, getpgrp());
    (void)!write(STDOUT_FILENO, "STOPPED;", 8);
    char c;
    if (read(resume_fd, &c, 1) != 1) {
      kill(job, SIGKILL);
      waitpid(job, nullptr, 0);
      return 99;
    }
    tcsetpgrp(STDIN_FILENO, job);
    kill(-job, SIGCONT);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}


// What a terminal of a given width shows, from the bytes written to it: CR,
// LF (down a row only), TAB stops every 8 columns, one column per UTF-8
// character, and a row that wraps when a character comes after its last
// column is filled; and the cursor-up sequence (ESC [ A, one row up in the
// same column, none above the first). Any other escape sequence is only
// noted.
class screen {
 public:
  explicit screen(std::size_t width) : width_(width) {}

  void write(const std::string& bytes) {
    for (const char ch : bytes) {
      const unsigned char b = static_cast<unsigned char>(ch);
      if (!escape_.empty()) {
        escape_ += ch;
        if (escape_ == "\x1b[") continue;
        if (escape_ == "\x1b[A" && row_ > 0) {
          --row_;
          column_ = std::min(column_, width_ - 1);
        } else if (escape_ != "\x1b[A") {
          escapes_ = true;
        }
        escape_.clear();
      } else if (b == '\r') {
        column_ = 0;
      } else if (b == '\n') {
        ++row_;
      } else if (b == '\t') {
        if (column_ + 1 < width_) column_ = std::min((column_ / 8 + 1) * 8, width_ - 1);
      } else if (b == 0x1B) {
        escape_ = "\x1b";
      } else if ((b & 0xC0) == 0x80 && column_ > 0) {
        cell(row_, column_ - 1) += ch;  // the rest of a UTF-8 character
      } else {
        if (column_ == width_) {
          ++wraps_;
          ++row_;
          column_ = 0;
        }
        cell(row_, column_++) = std::string(1, ch);
      }
    }
  }

  // The rows, blanks at their ends and empty rows at the end left out, each
  // ended by '\n'; then the cursor's place.
  std::string shown() const { return rows() + "[cursor " + std::to_string(row_) + "," + std::to_string(column_) + "]"; }
  // The rows alone, as in shown().
  std::string rows() const {
    std::string all;
    for (const std::vector<std::string>& cells : rows_) {
      std::string line;
      for (const std::string& c : cells) line += c.empty() ? " " : c;
      all += line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
    }
    while (all.size() >= 2 && all.compare(all.size() - 2, 2, "\n\n") == 0) all.pop_back();
    if (all == "\n") all.clear();
    return all;
  }
  int wraps() const { return wraps_; }         // rows that text ran over
  bool escapes() const { return escapes_; }    // an escape sequence was written

 private:
  std::string& cell(std::size_t row, std::size_t column) {
    if (rows_.size() <= row) rows_.resize(row + 1);
    if (rows_[row].size() <= column) rows_[row].resize(column + 1);
    return rows_[row][column];
  }

  std::size_t width_;
  std::size_t row_ = 0, column_ = 0;
  std::string escape_;  // the start of an escape sequence
  std::vector<std::vector<std::string>> rows_;
  int wraps_ = 0;
  bool escapes_ = false;
};
