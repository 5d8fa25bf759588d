#include "host/result_file.h"

#include "host/interrupt.h"
#include "host/posix/result_file_unnamed.h"
#include "host/temp_name.h"
#include "merge/result_stream.h"
#include "records/record_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tool_run.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> list(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string slurp(const std::string& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void spit(const std::string& p, const std::string& text, mode_t mode = 0644) {
  int fd = open(p.c_str(), O_CREAT | O_WRONLY | O_TRUNC, mode);
  ASSERT_GE(fd, 0) << p;
  ASSERT_EQ(write(fd, text.data(), text.size()), ssize_t(text.size()));
  ASSERT_EQ(close(fd), 0);
  ASSERT_EQ(chmod(p.c_str(), mode), 0);
}

mode_t mode_of(const std::string& p) {
  struct stat st;
  EXPECT_EQ(stat(p.c_str(), &st), 0) << p;
  return st.st_mode & 07777;
}

void put(const result_file& r, const std::string& text) {
  ASSERT_EQ(write(r.fd(), text.data(), text.size()), ssize_t(text.size()));
}

// Runs body in a forked child, detached from the terminal, and returns its
// wait status (bounded).
template <class Body>
int run_child(Body body) {
  pid_t pid = fork();
  if (pid == 0) {
    detach_from_terminal();
    _exit(body());
  }
  return wait_bounded(pid);
}

class umask_scope {
 public:
  explicit umask_scope(mode_t m) : old_(umask(m)) {}
  ~umask_scope() { umask(old_); }

 private:
  mode_t old_;
};

class ResultFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "result_file_test.XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    chmod(dir_.c_str(), 0755);  // reachable by the unprivileged child below
  }
  void TearDown() override {
    result_file_try_unnamed(true);
    for (const auto& e : fs::recursive_directory_iterator(dir_))
      if (!e.is_symlink() && e.is_directory()) chmod(e.path().c_str(), 0755);
    fs::remove_all(dir_);
  }
  std::string at(const std::string& name) const { return dir_ + "/" + name; }

  std::string dir_;
};

// Whether folder's file system gives unnamed temporaries that /proc links.
bool has_unnamed_temps(const std::string& folder) {
#ifdef O_TMPFILE
  const int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool reachable = access(("/proc/self/fd/" + std::to_string(fd)).c_str(), F_OK) == 0;
  close(fd);
  return reachable;
#else
  return false;
#endif
}

// Each case twice: with the unnamed temporary tried first (the default),
// and with the named one alone, as on a file system without unnamed ones.
class ResultFile : public ResultFolder, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    ResultFolder::SetUp();
    result_file_try_unnamed(GetParam());
  }
  // Whether a pending temporary of a result in folder has no name.
  bool unnamed(const std::string& folder) const { return GetParam() && has_unnamed_temps(folder); }
};

INSTANTIATE_TEST_SUITE_P(Kinds, ResultFile, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& kind) { return kind.param ? "Unnamed" : "Named"; });

TEST_P(ResultFile, NewFileGetsTheModeTheUmaskAllows) {
  const struct {
    mode_t mask, expected;
  } cases[] = {{027, 0640}, {022, 0644}, {077, 0600}, {0, 0666}, {0777, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mask);
    const std::string p = at("new.zqd");
    unlink(p.c_str());
    umask_scope scope(c.mask);
    result_file r;
    failure reason;
    ASSERT_FALSE(reason = r.create(p)) << reason.reason();
    EXPECT_EQ(umask(c.mask), c.mask) << "create must leave the umask as it was";
    ASSERT_FALSE(reason = r.commit()) << reason.reason();
    EXPECT_EQ(mode_of(p), c.expected);
  }
}

TEST_P(ResultFile, ReplacedFileKeepsItsModeAndOwner) {
  const std::string p = at("r.zqd");
  spit(p, "old", 0604);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(p.c_str(), 12345, 23456), 0);
  }
  umask_scope scope(077);
  result_file r;
  failure reason;
  ASSERT_FALSE(reason = r.create(p)) << reason.reason();
  put(r, "new");
  ASSERT_FALSE(reason = r.commit()) << reason.reason();
  EXPECT_EQ(slurp(p), "new");
  EXPECT_EQ(mode_of(p), 0604u);
  if (root) {
    struct stat st;
    ASSERT_EQ(stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 12345u);
    EXPECT_EQ(st.st_gid, 23456u);
  }
}

TEST_P(ResultFile, CommitReplacesTheResultInOneStep) {
  const std::string p = at("r.zqd");
  spit(p, "old content");
  result_file r;
  failure reason;
  ASSERT_FALSE(reason = r.create(p)) << reason.reason();
  ASSERT_GE(r.fd(), 0);
  EXPECT_TRUE(fcntl(r.fd(), F_GETFD) & FD_CLOEXEC);
  put(r, "new content");

  // Until the commit the old result is whole and the temporary, unless it
  // has no name, sits beside it, named with this process's id.
  EXPECT_EQ(slurp(p), "old content");
  std::vector<std::string> pending = list(dir_);
  ASSERT_EQ(pending.size(), unnamed(dir_) ? 1u : 2u);
  if (!unnamed(dir_)) {
    const std::string prefix = ".r.zqd." + std::to_string(getpid()) + ".";
    EXPECT_EQ(pending[0].rfind(prefix, 0), 0u) << pending[0];
    EXPECT_EQ(pending[0].size(), prefix.size() + 6);
  }
  EXPECT_EQ(pending.back(), "r.zqd");

  ASSERT_FALSE(reason = r.commit()) << reason.reason();
  EXPECT_EQ(r.fd(), -1);
  EXPECT_EQ(slurp(p), "new content");
  EXPECT_EQ(list(dir_), std::vector<std::string>{"r.zqd"});
  EXPECT_TRUE(reason = r.commit()) << "nothing is pending any more";
  EXPECT_EQ(reason.reason(), std::strerror(EBADF));
}

TEST_P(ResultFile, DiscardLeavesTheOldResultAndNoTemporary) {
  const std::string p = at("r.zqd");
  spit(p, "old");
  {
    result_file r;
    failure reason;
    ASSERT_FALSE(reason = r.create(p)) << reason.reason();
    put(r, "half written");
    r.discard();
    EXPECT_EQ(r.fd(), -1);
    r.discard();  // twice is harmless
  }
  EXPECT_EQ(slurp(p), "old");
  EXPECT_EQ(list(dir_), std::vector<std::string>{"r.zqd"});

  {  // the destructor discards too, also with no old result
    result_file r;
    failure reason;
    ASSERT_FALSE(reason = r.create(at("fresh.zqd"))) << reason.reason();
    put(r, "x");
  }
  EXPECT_EQ(list(dir_), std::vector<std::string>{"r.zqd"});
}

TEST_P(ResultFile, CreateAgainDiscardsTheEarlierTemporary) {
  result_file r;
  failure reason;
  ASSERT_FALSE(reason = r.create(at("a.zqd"))) << reason.reason();
  ASSERT_FALSE(reason = r.create(at("b.zqd"))) << reason.reason();
  ASSERT_FALSE(reason = r.commit()) << reason.reason();
  EXPECT_EQ(list(dir_), std::vector<std::string>{"b.zqd"});
}

TEST_P(ResultFile, UnusableFoldersAndNamesFailWithTheSystemsText) {
  spit(at("plain"), "a file, not a folder");
  ASSERT_EQ(mkdir(at("folder.zqd").c_str(), 0755), 0);
  const struct {
    std::string path;
    int err;
  } cases[] = {
      {at("missing/r.zqd"), ENOENT},
      {at("plain/r.zqd"), ENOTDIR},
      {at("folder.zqd"), EISDIR},
      {at("folder.zqd/"), EISDIR},
      {at("nofolder/"), EISDIR},
      {"", ENOENT},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    result_file r;
    failure reason;
    EXPECT_TRUE(reason = r.create(c.path));
    EXPECT_EQ(reason.reason(), std::strerror(c.err));
    EXPECT_EQ(r.fd(), -1);
  }
  EXPECT_EQ(list(dir_), (std::vector<std::string>{"folder.zqd", "plain"}));
  EXPECT_TRUE(list(at("folder.zqd")).empty());
}

TEST_P(ResultFile, SpecialFilesAreNotReplaced) {
  const std::string fifo = at("pipe.zqd");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  result_file r;
  failure reason;
  EXPECT_TRUE(reason = r.create(fifo));
  EXPECT_EQ(reason.reason(), "not a regular file");
  EXPECT_EQ(list(dir_), std::vector<std::string>{"pipe.zqd"});
}

TEST_P(ResultFile, FolderWithoutWritePermissionFails) {
  const std::string ro = at("readonly");
  ASSERT_EQ(mkdir(ro.c_str(), 0755), 0);
  spit(ro + "/r.zqd", "old");
  ASSERT_EQ(chmod(ro.c_str(), 0555), 0);
  // Root passes permission checks, so the check runs as an ordinary user.
  int status = run_child([&] {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 2;
    result_file r;
    failure reason;
    if (!(reason = r.create(ro + "/r.zqd"))) return 3;
    return reason.reason() == std::strerror(EACCES) ? 0 : 4;
  });
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(list(ro), std::vector<std::string>{"r.zqd"});
  EXPECT_EQ(slurp(ro + "/r.zqd"), "old");
}

TEST_P(ResultFile, FailedRenameKeepsWhatIsThereAndRemovesTheTemporary) {
  const std::string p = at("r.zqd");
  result_file r;
  failure reason;
  ASSERT_FALSE(reason = r.create(p)) << reason.reason();
  put(r, "new");
  ASSERT_EQ(mkdir(p.c_str(), 0755), 0);  // something else took the name meanwhile
  spit(p + "/inside", "kept");
  EXPECT_TRUE(reason = r.commit());
  EXPECT_TRUE(reason);
  EXPECT_EQ(r.fd(), -1);
  EXPECT_EQ(list(dir_), std::vector<std::string>{"r.zqd"});
  EXPECT_EQ(slurp(p + "/inside"), "kept");
}

TEST_P(ResultFile, LinkToAFileReplacesTheFileAndKeepsTheLink) {
  ASSERT_EQ(mkdir(at("sub").c_str(), 0755), 0);
  const std::string real = at("sub/real.zqd");
  spit(real, "old", 0640);
  ASSERT_EQ(symlink("sub/real.zqd", at("link.zqd").c_str()), 0);      // relative
  ASSERT_EQ(symlink("link.zqd", at("chain.zqd").c_str()), 0);         // link to a link
  ASSERT_EQ(symlink(real.c_str(), at("abs.zqd").c_str()), 0);         // absolute
  for (const char* name : {"link.zqd", "chain.zqd", "abs.zqd"}) {
    SCOPED_TRACE(name);
    result_file r;
    failure reason;
    ASSERT_FALSE(reason = r.create(at(name))) << reason.reason();
    const std::vector<std::string> pending = list(at("sub"));
    ASSERT_EQ(pending.size(), unnamed(dir_) ? 1u : 2u) << "the temporary is in the target's folder";
    if (!unnamed(dir_)) {
      EXPECT_EQ(pending[0].rfind(".real.zqd.", 0), 0u) << pending[0];
    }
    put(r, name);
    ASSERT_FALSE(reason = r.commit()) << reason.reason();
    EXPECT_EQ(slurp(real), name);
    EXPECT_EQ(mode_of(real), 0640u);
    EXPECT_TRUE(fs::is_symlink(at(name)));
    EXPECT_EQ(list(at("sub")), std::vector<std::string>{"real.zqd"});
  }
  EXPECT_EQ(list(dir_), (std::vector<std::string>{"abs.zqd", "chain.zqd", "link.zqd", "sub"}));
}

TEST_P(ResultFile, DanglingLinkIsReplacedItself) {
  ASSERT_EQ(symlink("nowhere.zqd", at("link.zqd").c_str()), 0);
  result_file r;
  failure reason;
  ASSERT_FALSE(reason = r.create(at("link.zqd"))) << reason.reason();
  put(r, "content");
  ASSERT_FALSE(reason = r.commit()) << reason.reason();
  EXPECT_FALSE(fs::is_symlink(at("link.zqd")));
  EXPECT_EQ(slurp(at("link.zqd")), "content");
  EXPECT_EQ(list(dir_), std::vector<std::string>{"link.zqd"});
}

TEST_P(ResultFile, LinkLoopFails) {
  ASSERT_EQ(symlink("b.zqd", at("a.zqd").c_str()), 0);
  ASSERT_EQ(symlink("a.zqd", at("b.zqd").c_str()), 0);
  result_file r;
  failure reason;
  EXPECT_TRUE(reason = r.create(at("a.zqd")));
  EXPECT_EQ(reason.reason(), std::strerror(ELOOP));
}

TEST_P(ResultFile, BareNameIsInTheCurrentFolder) {
  const fs::path before = fs::current_path();
  fs::current_path(dir_);
  result_file r;
  failure reason;
  const bool created = !(reason = r.create("r.zqd"));
  const bool committed = created && (put(r, "here"), !(reason = r.commit()));
  fs::current_path(before);
  ASSERT_TRUE(committed) << reason.reason();
  EXPECT_EQ(slurp(at("r.zqd")), "here");
  EXPECT_EQ(list(dir_), std::vector<std::string>{"r.zqd"});
}

TEST_P(ResultFile, LongestNameStillGetsATemporary) {
  const std::string name = std::string(255 - 4, 'n') + ".zqd";
  result_file r;
  failure reason;
  ASSERT_FALSE(reason = r.create(at(name))) << reason.reason();
  put(r, "long");
  ASSERT_FALSE(reason = r.commit()) << reason.reason();
  EXPECT_EQ(list(dir_), std::vector<std::string>{name});
}

// The temporary's name while it is pending: the hidden entry in dir.
std::string pending_temp(const std::string& dir) {
  for (const std::string& n : list(dir))
    if (n[0] == '.') return dir + "/" + n;
  return "";
}

TEST_P(ResultFile, InterruptionRemovesThePendingTemporary) {
  const std::string p = at("r.zqd");
  spit(p, "old");
  int status = run_child([&] {
    install_interrupt_cleanup();
    result_file r;
    failure reason;
    if ((reason = r.create(p))) return 2;
    raise(SIGTERM);
    return 3;
  });
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_EQ(list(dir_), std::vector<std::string>{"r.zqd"});
  EXPECT_EQ(slurp(p), "old");
}

// Once committed the result is in place and the run has succeeded: a
// termination signal from then on is held to the end of the process, which
// exits as the run would. A failed commit ends that hold, so the signal
// interrupts the run, as after a discard. In no case is a file that
// reappears under the old temporary's name afterwards (it is not the tool's)
// removed by the interruption.
TEST_P(ResultFile, AfterACommitTheRunIsNoLongerInterrupted) {
  enum ending { commit, failed_commit, discard };
  const struct {
    ending how;
    bool interrupted;
    std::vector<std::string> left;  // beside the reappeared file
  } cases[] = {{commit, false, {"r.zqd"}}, {failed_commit, true, {"r.zqd"}}, {discard, true, {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    const std::string p = at("r.zqd");
    int status = run_child([&] {
      install_interrupt_cleanup();
      result_file r;
      failure reason;
      if ((reason = r.create(p))) return 2;
      put(r, "new");
      std::string temp = pending_temp(dir_);
      if (temp.empty()) temp = at(".r.zqd." + std::to_string(getpid()) + ".Reborn");  // an unnamed one's stand-in
      if (c.how == failed_commit && mkdir(p.c_str(), 0755) != 0) return 3;
      if (c.how == discard) r.discard();
      if (c.how != discard && !(reason = r.commit()) != (c.how == commit)) return 4;
      const int fd = open(temp.c_str(), O_CREAT | O_WRONLY, 0644);
      if (fd < 0) return 5;
      close(fd);
      raise(SIGTERM);
      return 0;
    });
    if (c.interrupted) {
      ASSERT_TRUE(WIFSIGNALED(status)) << status;
      EXPECT_EQ(WTERMSIG(status), SIGTERM);
    } else {
      ASSERT_TRUE(WIFEXITED(status)) << status;
      EXPECT_EQ(WEXITSTATUS(status), 0);
      EXPECT_EQ(slurp(p), "new");
    }
    const std::string reborn = pending_temp(dir_);
    ASSERT_FALSE(reborn.empty());
    unlink(reborn.c_str());
    EXPECT_EQ(list(dir_), c.left);
    fs::remove_all(p);
  }
}

// Temporaries that ended processes left: create removes those of its own
// result, and nothing else. The process that ended is a child reaped here.
TEST_P(ResultFile, CreateRemovesOnlyThisResultsTemporariesOfEndedProcesses) {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  ASSERT_GT(child, 0);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  const std::string dead = std::to_string(child), me = std::to_string(getpid());
  const struct {
    std::string name;
    bool stale;
  } cases[] = {
      {".r.zqd." + dead + ".aB3xYz", true},
      {".r.zqd." + dead + ".000000", true},
      {".r.zqd." + me + ".aB3xYz", false},           // this process's
      {".r.zqd.1.aB3xYz", false},                    // a process that is there
      {".other.zqd." + dead + ".aB3xYz", false},     // another result's
      {".R.zqd." + dead + ".aB3xYz", false},
      {".r.zqd." + dead + ".aB3xY", false},          // look-alikes that do not parse
      {".r.zqd." + dead + ".aB3xYz0", false},
      {".r.zqd." + dead + ".aB3-Yz", false},
      {".r.zqd.0" + dead + ".aB3xYz", false},
      {".r.zqd.+" + dead + ".aB3xYz", false},
      {".r.zqd." + dead + "x.aB3xYz", false},
      {".r.zqd..aB3xYz", false},
      {".r.zqd.aB3xYz", false},                      // no process id
      {".r.zqd.4294967295.aB3xYz", false},           // no process id on this system
      {".r.zqd.99999999999.aB3xYz", false},
      {"r.zqd." + dead + ".aB3xYz", false},
      {".r.zqd." + dead + ".aB3xYz.bak", false},
  };
  std::vector<std::string> kept{"keep.txt", "r.zqd"};
  for (const auto& c : cases) {
    spit(at(c.name), "left");
    if (!c.stale) kept.push_back(c.name);
  }
  spit(at("keep.txt"), "the user's");
  spit(at("r.zqd"), "old");
  // Named like a stale one but no regular file: a folder, a link.
  const std::string folder = ".r.zqd." + dead + ".Folder", link = ".r.zqd." + dead + ".Linked";
  ASSERT_EQ(mkdir(at(folder).c_str(), 0755), 0);
  ASSERT_EQ(symlink("keep.txt", at(link).c_str()), 0);
  kept.insert(kept.end(), {folder, link});
#ifdef F_OFD_SETLK
  // Marked in use by a process the id does not name (another pid namespace).
  const std::string locked = ".r.zqd." + dead + ".Locked";
  const int lock_fd = open(at(locked).c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
  struct flock l = {};
  l.l_type = F_WRLCK;
  l.l_whence = SEEK_SET;
  ASSERT_EQ(fcntl(lock_fd, F_OFD_SETLK, &l), 0);
  kept.push_back(locked);
#endif
  std::sort(kept.begin(), kept.end());

  result_file r;
  failure reason;
  ASSERT_FALSE(reason = r.create(at("r.zqd"))) << reason.reason();
  put(r, "new");
  ASSERT_FALSE(reason = r.commit()) << reason.reason();
#ifdef F_OFD_SETLK
  close(lock_fd);
#endif
  EXPECT_EQ(list(dir_), kept);
  EXPECT_EQ(slurp(at("r.zqd")), "new");
  EXPECT_EQ(slurp(at("keep.txt")), "the user's");
}

// A long result name is cut in its temporaries' names, never inside a
// UTF-8 character, and a stale temporary of it is still found.
TEST(TempName, LongNamesAreCutAtACharacterBoundary) {
  const std::string e_acute = "\xC3\xA9";
  const struct {
    std::string name, stem;
  } cases[] = {
      {std::string(200, 'n'), std::string(200, 'n')},
      {std::string(201, 'n'), std::string(200, 'n')},
      {std::string(199, 'n') + e_acute + ".zqd", std::string(199, 'n')},
      {std::string(198, 'n') + e_acute + ".zqd", std::string(198, 'n') + e_acute},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name.size());
    EXPECT_EQ(temp_name_prefix(c.name, 42), "." + c.stem + ".42.");
    unsigned long long pid = 0;
    EXPECT_TRUE(temp_name_owner("." + c.stem + ".42.abcdef", c.name, pid));
    EXPECT_EQ(pid, 42u);
  }
}

}  // namespace

// A result of several sync steps, written through the writer with the
// background sync following it, arrives whole; the sync thread holds the
// handled signals back; an interruption while it runs still removes the
// temporary.
TEST_F(ResultFolder, ResultSyncedInTheBackgroundArrivesWholeAndInterruptionsStillClean) {
  const long long records = 3 * write_behind::sync_step / 32;  // about 3 steps
  auto write_all = [&](result_stream& r) {
    for (long long i = 0; i < records; ++i) write_record(r.out, point_code(int(i % 1000)), i * 0.5, -1.25);
  };
  {
    result_stream r;
    failure reason;
    ASSERT_FALSE(reason = r.create(at("r.zqd"))) << reason.reason();
    write_all(r);
    // The threads that write and sync run now; no handled signal reaches them.
    int threads = 0;
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
      ++threads;
      if (std::to_string(gettid()) == task.path().filename().string()) continue;
      const std::string status = slurp(task.path().string() + "/status");
      const std::size_t at = status.find("SigBlk:");
      ASSERT_NE(at, std::string::npos);
      const unsigned long long blocked = std::stoull(status.substr(at + 7), nullptr, 16);
      for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) EXPECT_TRUE(blocked >> (sig - 1) & 1) << sig;
    }
    EXPECT_GE(threads, 3);  // a sanitizer may add its own
    ASSERT_FALSE(reason = r.finish()) << reason.reason();
  }
  std::string expected;
  for (long long i = 0; i < records; ++i) {
    char line[96];
    expected.append(line, std::size_t(std::snprintf(line, sizeof line, "%lld\t%.6f\t-1.250000\r\n", i % 1000, i * 0.5)));
  }
  EXPECT_TRUE(slurp(at("r.zqd")) == expected);
  EXPECT_EQ(list(dir_), std::vector<std::string>{"r.zqd"});

  const int status = run_child([&] {
    install_interrupt_cleanup();
    result_stream r;
    failure reason;
    if ((reason = r.create(at("r.zqd")))) return 2;
    write_all(r);
    kill(getpid(), SIGTERM);
    return 3;
  });
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_EQ(list(dir_), std::vector<std::string>{"r.zqd"});
}

// A write or sync that fails behind the merge is reported with its errno,
// and the buffers after it are dropped; following a file again forgets it.
// A single buffer is written at once, without threads or syncs.
TEST(WriteBehind, FailuresAreReportedWithTheirErrno) {
  const int null_w = open("/dev/null", O_WRONLY | O_CLOEXEC);  // takes writes, cannot be synced
  const int null_r = open("/dev/null", O_RDONLY | O_CLOEXEC);  // takes no writes
  ASSERT_GE(null_w, 0);
  ASSERT_GE(null_r, 0);
  const long long steps = write_behind::sync_step / write_behind::buffer_size;
  const struct {
    int fd;
    long long buffers;
    bool last;
    int error;
  } cases[] = {
      {null_w, 1, true, 0},              // written at once: no sync asked for
      {null_w, steps - 1, false, 0},     // no step reached
      {null_w, steps + 1, false, EINVAL},  // the background sync failed
      {null_r, 1, true, EBADF},
      {null_r, 1, false, EBADF},  // one buffer queued, too few to wake the writer: written at stop
      {null_r, 5, false, EBADF},
  };
  write_behind w;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.buffers) + " buffers");
    w.follow(c.fd);
    char* buf = w.buffer();
    for (long long i = 0; i < c.buffers; ++i) buf = w.hand_over(buf, write_behind::buffer_size, c.last);
    EXPECT_EQ(w.stop(), c.error);
    EXPECT_EQ(w.stop(), c.error);
  }
  w.follow(null_w);
  EXPECT_EQ(w.stop(), 0);
  close(null_w);
  close(null_r);
}
