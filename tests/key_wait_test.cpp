#include "host/key_wait.h"

#include "host/interrupt.h"
#include "pty_child.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utmp.h>

namespace {

void say(const char* text) { (void)!write(STDOUT_FILENO, text, std::strlen(text)); }

// What the wait says on the terminal (the child's standard error) first.
const std::string hint = "tilvaro: press a key to close\r\n";

// The child's part: wait, say DONE, then report how long the next line typed
// on the terminal is, which shows whether bytes of the key were left over.
int wait_then_report_next_line() {
  wait_key();
  say("DONE");
  char line[64];
  const ssize_t n = read(STDIN_FILENO, line, sizeof line);
  char report[32];
  std::snprintf(report, sizeof report, "LEN=%zd;", n);
  say(report);
  return 0;
}

TEST(KeyWait, OneKeyEndsTheWaitUnechoedAndLeavesNothingBehind) {
  const struct {
    const char* name;
    const char* bytes;
  } keys[] = {
      {"letter", "q"},   {"space", " "},           {"enter", "\r"},
      {"escape", "\x1b"}, {"arrow up", "\x1b[A"},  {"F1", "\x1bOP"},
      {"F5", "\x1b[15~"}, {"a-umlaut", "\xC3\xA4"},
  };
  for (const auto& key : keys) {
    SCOPED_TRACE(key.name);
    pty_child child(wait_then_report_next_line);
    ASSERT_TRUE(child.ok());
    ASSERT_TRUE(child.wait_for_key_mode());
    EXPECT_FALSE(child.settings().c_lflag & ECHO);
    EXPECT_TRUE(child.settings().c_lflag & ISIG);

    EXPECT_EQ(child.read_output(kQuietMs), hint) << "the wait ended without a key";
    EXPECT_TRUE(child.still_running());

    child.type(key.bytes);
    EXPECT_EQ(child.read_output(kBoundMs, "DONE"), hint + "DONE") << "the key was echoed";
    EXPECT_TRUE(child.canonical_with_echo()) << "settings not restored";

    child.type("\n");
    EXPECT_EQ(child.read_output(kBoundMs, ";"), hint + "DONE\r\nLEN=1;");
    const int status = child.finish();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
}

TEST(KeyWait, KeysTypedBeforeTheWaitDoNotEndIt) {
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  pty_child child([&] {
    close(go[1]);
    say("READY");
    char c;
    if (read(go[0], &c, 1) != 1) return 2;
    return wait_then_report_next_line();
  });
  ASSERT_TRUE(child.ok());
  close(go[0]);
  ASSERT_EQ(child.read_output(kBoundMs, "READY"), "READY");
  child.type("x");
  // The echo shows that the terminal has taken the key in.
  ASSERT_EQ(child.read_output(kBoundMs, "READYx"), "READYx");
  ASSERT_EQ(write(go[1], "g", 1), 1);
  close(go[1]);

  ASSERT_TRUE(child.wait_for_key_mode());
  EXPECT_EQ(child.read_output(kQuietMs), "READYx" + hint) << "the early key ended the wait";
  EXPECT_TRUE(child.still_running());
  child.type("k");
  child.read_output(kBoundMs, "DONE");
  child.type("\n");
  EXPECT_EQ(child.read_output(kBoundMs, ";"), "READYx" + hint + "DONE\r\nLEN=1;");
  EXPECT_TRUE(WIFEXITED(child.finish()));
}

TEST(KeyWait, SignalDuringTheWaitRestoresTheTerminal) {
  const struct {
    const char* name;
    int sig;
    const char* keys;  // typed instead of sending the signal directly
  } cases[] = {
      {"Ctrl-C typed", SIGINT, "\x03"},
      {"Ctrl-\\ typed", SIGQUIT, "\x1c"},
      {"SIGINT", SIGINT, nullptr},
      {"SIGTERM", SIGTERM, nullptr},
      {"SIGHUP", SIGHUP, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    pty_child child([] {
      // Start from the default actions even if the test run ignores some.
      for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) signal(sig, SIG_DFL);
      rlimit no_core{0, 0};
      setrlimit(RLIMIT_CORE, &no_core);
      install_interrupt_cleanup();
      wait_key();
      say("DONE");
      return 0;
    });
    ASSERT_TRUE(child.ok());
    ASSERT_TRUE(child.wait_for_key_mode());
    ASSERT_FALSE(child.canonical_with_echo());
    if (c.keys) {
      child.type(c.keys);
    } else {
      child.send(c.sig);
    }
    const int status = child.finish();
    ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
    EXPECT_EQ(WTERMSIG(status), c.sig);
    EXPECT_TRUE(child.canonical_with_echo()) << "settings not restored";
  }
}

int wait_then_say_done() {
  wait_key();
  say("DONE");
  return 0;
}

// Ctrl-Z during the wait: the shell gets the settings from before the wait
// while the job is stopped; after it goes on, one key ends the wait.
TEST(KeyWait, CtrlZGivesTheShellItsSettingsAndOneKeyStillEndsTheWait) {
  pty_child child([&] { return run_as_job(true, child.resume_fd(), wait_then_say_done); });
  ASSERT_TRUE(child.ok());
  ASSERT_TRUE(child.wait_for_key_mode());
  child.type("\x1a");  // Ctrl-Z
  ASSERT_EQ(child.read_output(kBoundMs, "STOPPED;"), hint + "STOPPED;");
  EXPECT_TRUE(child.canonical_with_echo()) << "the shell got the key mode";
  child.resume();
  ASSERT_TRUE(child.wait_for_key_mode());
  EXPECT_FALSE(child.settings().c_lflag & ECHO);
  child.type("k");
  EXPECT_EQ(child.read_output(kBoundMs, "DONE"), hint + "STOPPED;DONE");
  const int status = child.finish();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(child.canonical_with_echo());
}

// A background job cannot read a key: it neither waits nor is stopped.
TEST(KeyWait, BackgroundJobDoesNotWait) {
  pty_child child([&] { return run_as_job(false, child.resume_fd(), wait_then_say_done); });
  ASSERT_TRUE(child.ok());
  const int status = child.finish();
  EXPECT_EQ(child.read_output(kQuietMs), "DONE");
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(child.canonical_with_echo());
}

TEST(KeyWait, WithoutAControllingTerminalItReturnsAtOnce) {
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (setsid() < 0) _exit(2);  // a new session has no terminal
    int in[2];
    if (pipe(in) != 0 || dup2(in[0], STDIN_FILENO) < 0) _exit(3);
    // Standard input stays open and empty: reading it would hang.
    wait_key();
    _exit(0);
  }
  int status = -1;
  for (int ms = 0; ms < kBoundMs; ms += 5) {
    if (waitpid(pid, &status, WNOHANG) == pid) break;
    usleep(5000);
  }
  if (status == -1) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    FAIL() << "wait_key waited without a terminal";
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
