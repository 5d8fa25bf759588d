/* peak_rss: runs a command and reports its peak resident memory.
 *
 *   peak_rss REPORT COMMAND [ARG...]
 *
 * COMMAND inherits standard input, output and error. When it ends, REPORT
 * gets one line "EXIT MAXRSS USER SYSTEM WALL": its exit code (128 + signal
 * number when a signal ended it), its peak resident set in KiB (ru_maxrss
 * of wait4), the CPU seconds it spent in user and in system mode, and the
 * seconds from its start to its end on the monotonic clock (a blocking
 * wait: no polling step rounds it).
 * peak_rss exits with the same code.
 *
 * Written in C and kept tiny on purpose: Linux counts the memory a child
 * had before exec (the forked copy of its parent) in its ru_maxrss, so the
 * process that forks must be small. Running /bin/true shows that floor.
 */
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: peak_rss REPORT COMMAND [ARG...]\n");
    return 2;
  }
  FILE* report = fopen(argv[1], "w");
  if (report == NULL) {
    fprintf(stderr, "peak_rss: cannot create %s: %s\n", argv[1], strerror(errno));
    return 2;
  }
  const double start = now();
  pid_t pid = fork();
  if (pid < 0) {
    fprintf(stderr, "peak_rss: fork: %s\n", strerror(errno));
    return 2;
  }
  if (pid == 0) {
    fclose(report);
    execvp(argv[2], argv + 2);
    fprintf(stderr, "peak_rss: cannot run %s: %s\n", argv[2], strerror(errno));
    _exit(127);
  }
  int status;
  struct rusage usage;
  while (wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) {
      fprintf(stderr, "peak_rss: wait4: %s\n", strerror(errno));
      return 2;
    }
  }
  const double wall = now() - start;
  int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  fprintf(report, "%d %ld %ld.%06ld %ld.%06ld %.6f\n", code, usage.ru_maxrss, (long)usage.ru_utime.tv_sec,
          (long)usage.ru_utime.tv_usec, (long)usage.ru_stime.tv_sec, (long)usage.ru_stime.tv_usec, wall);
  if (fclose(report) != 0) {
    fprintf(stderr, "peak_rss: cannot write %s\n", argv[1]);
    return 2;
  }
  return code;
}
