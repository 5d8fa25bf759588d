#include "host/interrupt.h"
#include "host/posix/interrupt_terminal.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "tool_run.h"

namespace {

namespace fs = std::filesystem;

// Runs body in a forked child that exits with its return value; returns the
// child's wait status. A child still running after a generous bound is
// killed, so a hanging child fails the test instead of hanging it.
void default_signals();

template <class Body>
int run_child(Body body) {
  pid_t pid = fork();
  if (pid == 0) {
    default_signals();
    _exit(body());
  }
  EXPECT_GT(pid, 0);
  int status = 0;
  for (int i = 0; i < 3000; ++i) {  // at most 30 s
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return status;
    usleep(10000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  ADD_FAILURE() << "child did not finish";
  return status;
}

bool exists(const std::string& p) { return access(p.c_str(), F_OK) == 0; }

// The handled signals start from their default actions in each child, even
// when the test run itself ignores some of them; SIGQUIT dumps no core.
// The child is detached from the test run's terminal.
void default_signals() {
  detach_from_terminal();
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) signal(sig, SIG_DFL);
  rlimit none{0, 0};
  setrlimit(RLIMIT_CORE, &none);
}

class Interrupt : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "interrupt_test.XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string make_file(const std::string& name) {
    std::string p = dir_ + "/" + name;
    int fd = open(p.c_str(), O_CREAT | O_WRONLY, 0600);
    EXPECT_GE(fd, 0) << p;
    close(fd);
    return p;
  }

  std::string dir_;
};

int g_report_fd = -1;
const char* g_watched = nullptr;

// A flush function that reports whether the temporary was already gone.
void report_flush() {
  char c = access(g_watched, F_OK) == 0 ? 'E' : 'G';
  (void)!write(g_report_fd, &c, 1);
}

// An erase function that reports the same, in lower case.
void report_erase() {
  char c = access(g_watched, F_OK) == 0 ? 'e' : 'g';
  (void)!write(g_report_fd, &c, 1);
}

// A flush function that sends another handled signal during the clean-up.
void raising_flush() {
  (void)!write(g_report_fd, "F", 1);
  raise(SIGINT);
}

std::string read_all(int fd) {
  std::string out;
  char buf[64];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) out.append(buf, size_t(n));
  return out;
}

TEST_F(Interrupt, EachSignalRemovesTheTemporaryAndEndsTheProcess) {
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    SCOPED_TRACE(strsignal(sig));
    const std::string temp = make_file(".result.zqd.tmp");
    int status = run_child([&] {
      install_interrupt_cleanup();
      interrupt_set_temp(temp.c_str());
      raise(sig);
      return 99;
    });
    ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
    EXPECT_EQ(WTERMSIG(status), sig);
    EXPECT_FALSE(exists(temp));
  }
}

TEST_F(Interrupt, EraseThenFlushRunAfterTheTemporaryIsGone) {
  const std::string temp = make_file(".r.tmp");
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  int status = run_child([&] {
    close(fds[0]);
    g_report_fd = fds[1];
    g_watched = temp.c_str();
    install_interrupt_cleanup();
    interrupt_set_temp(temp.c_str());
    interrupt_set_flush(report_flush);
    interrupt_set_erase(report_erase);
    raise(SIGTERM);
    return 99;
  });
  close(fds[1]);
  EXPECT_EQ(read_all(fds[0]), "gG");
  close(fds[0]);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
}

TEST_F(Interrupt, CleanUpRunsOnceWhenAnotherSignalArrivesDuringIt) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  int status = run_child([&] {
    close(fds[0]);
    g_report_fd = fds[1];
    install_interrupt_cleanup();
    interrupt_set_flush(raising_flush);
    raise(SIGTERM);
    return 99;
  });
  close(fds[1]);
  EXPECT_EQ(read_all(fds[0]), "F");
  close(fds[0]);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
}

TEST_F(Interrupt, RegistrationsCanBeReplacedAndForgotten) {
  const std::string first = make_file("first.tmp");
  const std::string second = make_file("second.tmp");
  int status = run_child([&] {
    install_interrupt_cleanup();
    interrupt_set_temp(first.c_str());
    interrupt_set_temp(second.c_str());
    raise(SIGTERM);
    return 99;
  });
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_TRUE(exists(first));
  EXPECT_FALSE(exists(second));

  status = run_child([&] {
    install_interrupt_cleanup();
    interrupt_set_temp(first.c_str());
    interrupt_set_temp(nullptr);
    raise(SIGTERM);
    return 99;
  });
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_TRUE(exists(first));
}

TEST_F(Interrupt, LongPathsAreRemovedWhole) {
  // Paths longer than the static buffer, growing, then short again: each
  // registration must be copied whole into wherever it is kept.
  std::string deep = dir_;
  std::string mid;
  for (int i = 0; i < 12; ++i) {
    deep += "/" + std::string(60, char('a' + i));
    ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
    if (i == 8) mid = deep + "/m.tmp";
  }
  const std::string longer = deep + "/l.tmp";
  for (const std::string& p : {mid, longer})
    ASSERT_EQ(close(open(p.c_str(), O_CREAT | O_WRONLY, 0600)), 0);
  const std::string shorter = make_file("s.tmp");
  ASSERT_GT(mid.size(), 512u);
  ASSERT_GT(longer.size(), mid.size());

  int status = run_child([&] {
    install_interrupt_cleanup();
    interrupt_set_temp(mid.c_str());
    interrupt_set_temp(longer.c_str());
    raise(SIGTERM);
    return 99;
  });
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_TRUE(exists(mid));
  EXPECT_FALSE(exists(longer));

  status = run_child([&] {
    install_interrupt_cleanup();
    interrupt_set_temp(longer.c_str());
    interrupt_set_temp(mid.c_str());
    interrupt_set_temp(shorter.c_str());
    raise(SIGTERM);
    return 99;
  });
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_TRUE(exists(mid));
  EXPECT_FALSE(exists(shorter));
}

TEST_F(Interrupt, TerminalSettingsAreRestored) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  termios before;
  ASSERT_EQ(tcgetattr(slave, &before), 0);
  ASSERT_TRUE(before.c_lflag & ECHO);

  int status = run_child([&] {
    install_interrupt_cleanup();
    termios raw = before;
    raw.c_lflag &= ~tcflag_t(ICANON | ECHO);
    interrupt_set_terminal(slave, before);
    if (tcsetattr(slave, TCSANOW, &raw) != 0) return 2;
    raise(SIGINT);
    return 99;
  });
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGINT);
  termios after;
  ASSERT_EQ(tcgetattr(slave, &after), 0);
  EXPECT_EQ(after.c_lflag & (ICANON | ECHO), tcflag_t(ICANON | ECHO));

  // Forgotten settings are left alone.
  status = run_child([&] {
    install_interrupt_cleanup();
    termios raw = before;
    raw.c_lflag &= ~tcflag_t(ECHO);
    interrupt_set_terminal(slave, before);
    interrupt_set_terminal(-1, before);
    if (tcsetattr(slave, TCSANOW, &raw) != 0) return 2;
    raise(SIGINT);
    return 99;
  });
  ASSERT_TRUE(WIFSIGNALED(status));
  ASSERT_EQ(tcgetattr(slave, &after), 0);
  EXPECT_FALSE(after.c_lflag & ECHO);
  close(slave);
  close(master);
}

TEST_F(Interrupt, SignalIgnoredAtStartStaysIgnored) {
  const std::string temp = make_file("kept.tmp");
  int status = run_child([&] {
    signal(SIGHUP, SIG_IGN);  // as nohup leaves it
    install_interrupt_cleanup();
    interrupt_set_temp(temp.c_str());
    raise(SIGHUP);
    return 0;
  });
  ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(exists(temp));
}

TEST_F(Interrupt, ClosedPipeGivesAWriteError) {
  int status = run_child([] {
    install_interrupt_cleanup();
    int fds[2];
    if (pipe(fds) != 0) return 2;
    close(fds[0]);
    errno = 0;
    ssize_t n = write(fds[1], "x", 1);
    return n == -1 && errno == EPIPE ? 0 : 1;
  });
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(Interrupt, FileSizeLimitGivesAWriteError) {
  const std::string path = dir_ + "/big";
  int status = run_child([&] {
    install_interrupt_cleanup();
    int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    if (fd < 0) return 2;
    rlimit small{16, 16};
    if (setrlimit(RLIMIT_FSIZE, &small) != 0) return 3;
    char buf[32] = {};
    if (write(fd, buf, sizeof buf) != 16) return 4;  // up to the limit
    errno = 0;
    ssize_t n = write(fd, buf, sizeof buf);
    return n == -1 && errno == EFBIG ? 0 : 1;
  });
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
