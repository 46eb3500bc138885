// SPDX-License-Identifier: Apache-2.0
// Cleanup on a signal that ends the run. Only async-signal-safe calls run
// in the handler; the state it reads is a few lock-free atomics.
#include "rpc_signal.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

constexpr int ending_signals[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<const char *> temp_file{nullptr};
std::atomic<const char *> output_file{nullptr};
std::atomic<pid_t> running_group{0};  // the preprocessor's process group, 0: none

static_assert(std::atomic<const char *>::is_always_lock_free && std::atomic<pid_t>::is_always_lock_free,
              "the signal handler needs lock-free atomics");

sigset_t ending_set() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : ending_signals) sigaddset(&set, sig);
  return set;
}

// Ends the preprocessor's group: first with the run's own signal, then,
// if anything of it is left after a moment, for good.
void end_group(pid_t group, int sig) {
  kill(-group, sig);
  const timespec pause = {0, 20 * 1000 * 1000};
  for (int i = 0; i < 50; i++) {
    int status;
    const pid_t done = waitpid(group, &status, WNOHANG);
    if (done == group || (done < 0 && errno == ECHILD)) break;
    nanosleep(&pause, nullptr);
  }
  kill(-group, SIGKILL);
}

extern "C" void end_by_signal(int sig) {
  const int saved_errno = errno;
  if (const pid_t group = running_group.load(); group > 0) end_group(group, sig);
  if (const char *path = temp_file.load()) unlink(path);
  if (const char *path = output_file.load()) unlink(path);

  // Leave by the same signal: default action, unblocked, raised again.
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(sig, &action, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(sig);
  errno = saved_errno;  // not reached
}

}  // namespace

void install_signal_cleanup() {
  for (int sig : ending_signals) {
    struct sigaction old = {};
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    struct sigaction action = {};
    action.sa_handler = end_by_signal;
    action.sa_mask = ending_set();  // one cleanup at a time
    sigaction(sig, &action, nullptr);
  }
}

SignalHold::SignalHold() {
  const sigset_t set = ending_set();
  sigprocmask(SIG_BLOCK, &set, nullptr);
}

SignalHold::~SignalHold() {
  const sigset_t set = ending_set();
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

void note_temp_file(const std::string &path) { temp_file.store(path.c_str()); }
void forget_temp_file() { temp_file.store(nullptr); }
void note_output_file(const std::string &path) { output_file.store(path.c_str()); }
void forget_output_file() { output_file.store(nullptr); }

int run_shell_command(const std::string &command) {
  posix_spawnattr_t attr;
  if (posix_spawnattr_init(&attr) != 0) return -1;
  // The child: a process group of its own, no signal blocked, and the
  // three signals at their default even though ours are handled.
  const sigset_t ending = ending_set();
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &ending);

  // As system() runs it: the shell names itself "sh" in its messages.
  const char *shell = "/bin/sh";
  char sh[] = "sh";
  char dash_c[] = "-c";
  std::string text = command;
  char *argv[] = {sh, dash_c, text.data(), nullptr};

  // Started and registered as one step: a signal in between would miss it.
  pid_t pid = -1;
  int spawn_error = 0;
  {
    SignalHold hold;
    spawn_error = posix_spawn(&pid, shell, nullptr, &attr, argv, environ);
    if (spawn_error == 0) running_group.store(pid);
  }
  posix_spawnattr_destroy(&attr);
  if (spawn_error != 0) return -1;

  // Wait for its end without reaping it, so that the handler never ends a
  // group whose number may already be another's; then forget it and reap.
  siginfo_t info;
  while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
  }
  SignalHold hold;
  running_group.store(0);
  int status = -1;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}
