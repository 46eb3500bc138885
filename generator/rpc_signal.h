// SPDX-License-Identifier: Apache-2.0
// What a run must undo when SIGINT, SIGTERM or SIGHUP ends it: the
// preprocessor's temporary file, the Java file being written and the
// preprocessor itself. The handler removes the files, ends the
// preprocessor, then ends the process by the same signal, so that its
// caller sees it killed by that signal.
//
// A signal handler can only reach what the whole process can, so this is
// the one place with process-wide state; it holds nothing but what the
// handler needs.
#pragma once

#include <string>

// Installs the handler for the three signals, except for a signal that the
// process was started with ignored (as under nohup), which stays ignored.
// The program calls it; a test that runs the pipeline in its own process
// need not.
void install_signal_cleanup();

// Registers a file for removal should a signal end the run, until it is
// forgotten. The string must stay unchanged while it is registered.
void note_temp_file(const std::string &path);
void forget_temp_file();
void note_output_file(const std::string &path);
void forget_output_file();

// Runs command with /bin/sh -c and returns its wait status, as system()
// does (-1 when no shell could be started). The command runs in a process
// group of its own, which the handler ends should a signal end the run.
int run_shell_command(const std::string &command);

// Holds the three signals back while it lives: one that comes meanwhile is
// handled when it ends, by which time what was made is registered.
class SignalHold {
 public:
  SignalHold();
  ~SignalHold();
  SignalHold(const SignalHold &) = delete;
  SignalHold &operator=(const SignalHold &) = delete;
};
