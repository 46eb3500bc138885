// SPDX-License-Identifier: Apache-2.0
// bench_measure: runs one command and reports its wall time and peak memory.
//
//   bench_measure [-C DIR] [-o FILE] [-t SECONDS] -- COMMAND [ARGS...]
//
// The command runs in DIR (when given) with the same standard streams; after
// SECONDS (default 600) it is killed with SIGKILL.  When
// it has ended, one line goes to FILE (or standard error):
//   "wall_s=<seconds> cpu_s=<seconds> maxrss_kb=<KiB> status=<code>"
// Wall time runs from just before the fork to the return of wait4; CPU time
// is the child's user plus system time, and the peak resident set its
// ru_maxrss, both from wait4.  On a machine that other work shares, CPU time
// is the steadier of the two figures.  The exit status is the command's
// own (128 + signal number when a signal ended it, 127 when it could not be
// started).

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

volatile sig_atomic_t child_pid = 0;

void kill_child(int) {
  if (child_pid > 0) ::kill(child_pid, SIGKILL);
}

}  // namespace

int main(int argc, char **argv) {
  const char *dir = nullptr;
  unsigned limit = 600;
  const char *report = nullptr;
  int i = 1;
  for (; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) {
      ++i;
      break;
    }
    if (std::strcmp(argv[i], "-C") == 0 && i + 1 < argc) {
      dir = argv[++i];
    } else if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
      report = argv[++i];
    } else if (std::strcmp(argv[i], "-t") == 0 && i + 1 < argc) {
      limit = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
    } else {
      i = argc + 1;
    }
  }
  if (i >= argc) {
    std::fprintf(stderr, "usage: bench_measure [-C DIR] [-o FILE] [-t SECONDS] -- COMMAND [ARGS...]\n");
    return 2;
  }
  std::vector<char *> args(argv + i, argv + argc);
  args.push_back(nullptr);

  const auto start = std::chrono::steady_clock::now();
  pid_t pid = ::fork();
  if (pid < 0) {
    std::perror("bench_measure: fork");
    return 2;
  }
  if (pid == 0) {
    if (dir && ::chdir(dir) != 0) {
      std::perror(dir);
      ::_exit(127);
    }
    ::execvp(args[0], args.data());
    std::perror(args[0]);
    ::_exit(127);
  }
  child_pid = pid;
  struct sigaction sa {};
  sa.sa_handler = kill_child;
  ::sigaction(SIGALRM, &sa, nullptr);
  ::alarm(limit == 0 ? 1 : limit);
  int wstatus = 0;
  struct rusage usage {};
  while (::wait4(pid, &wstatus, 0, &usage) < 0) {
    if (errno != EINTR) {
      std::perror("bench_measure: wait4");
      return 2;
    }
  }
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
  ::alarm(0);

  int status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  FILE *out = report ? std::fopen(report, "w") : stderr;
  if (!out) {
    std::perror(report);
    return 2;
  }
  const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  std::fprintf(out, "wall_s=%.6f cpu_s=%.6f maxrss_kb=%ld status=%d\n", wall.count(), cpu, usage.ru_maxrss, status);
  if (report) std::fclose(out);
  return status;
}
