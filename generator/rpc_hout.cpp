// SPDX-License-Identifier: Apache-2.0
// The output of the Java writers: the text of the file being written, and
// the common opening and closing of every generated file.
#include "rpc_hout.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <initializer_list>
#include <unistd.h>

#include "rpc_diag.h"
#include "rpc_signal.h"

// The text of the file being generated is gathered in memory and written
// in one piece when the file is closed.
void emit(JavaOutput &out, std::string_view text) { append_text(out.output_text, text); }

void emit_format(JavaOutput &out, const FormatText &format, std::initializer_list<std::string_view> args) {
  append_format(out.output_text, format, args);
}

void emit_tabs(JavaOutput &out, int count) {
  if (count > 0) append_tabs(out.output_text, static_cast<std::size_t>(count));
}


JavaOutput::~JavaOutput() {
  if (output_stream >= 0) close(output_stream);
}

void open_java_file(JavaOutput &out, std::string_view base_name) {
  // The name and the text are built in buffers that every file reuses.
  std::string &file_name = out.output_file_name;
  file_name.clear();
  append_format(file_name, "%s.java", {base_name});
  append_format(out.generated_file_list, "\t%s\n", {file_name});
  // Registered before it exists: a signal while it is written removes it.
  note_output_file(file_name);
  out.output_stream = open(file_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (out.output_stream < 0) {
    forget_output_file();
    report_system_error(file_name, errno);
    terminate_run(255);
  }
  out.output_text.size = 0;
  emit_format(out, "%s%s\n\n", {out.file_header_text, out.pass_through_text});
}

// A file that cannot be written, flushed or closed is as bad as one that
// cannot be opened: the run must not report success over a truncated file.
void close_java_file(JavaOutput &out) {
  const int fd = out.output_stream;
  if (fd < 0) return;
  out.output_stream = -1;
  std::string_view rest = text_of(out.output_text);
  int error_number = 0;
  while (!rest.empty()) {
    ssize_t written = write(fd, rest.data(), rest.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      error_number = written < 0 ? errno : ENOSPC;
      break;
    }
    rest.remove_prefix(static_cast<std::size_t>(written));
  }
  out.output_text.size = 0;
  if (close(fd) != 0 && error_number == 0 && errno != EINTR) error_number = errno;
  if (error_number != 0) {
    report_system_error(out.output_file_name, error_number);
    std::remove(out.output_file_name.c_str());
    forget_output_file();
    terminate_run(255);
  }
  forget_output_file();
}

