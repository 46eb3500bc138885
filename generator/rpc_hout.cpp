// SPDX-License-Identifier: Apache-2.0
// The output of generated files: where each file is written, the common
// head every file begins with, and the writing out of its text.
#include "rpc_hout.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
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

// The package a file declares: the one the command line gives, or else the
// last one a pass-through line read so far declares; empty for none.
std::string_view package_of_file(const JavaOutput &out) {
  if (!out.package_name.empty()) return out.package_name;
  std::string_view package;
  std::size_t pos = 0;
  for (std::string_view name; !(name = next_package_line(out.pass_through_text, pos)).empty();) package = name;
  return package;
}

void open_java_file(JavaOutput &out, std::string_view base_name) {
  // The name and the text are built in buffers that every file reuses.
  std::string &file_name = out.output_file_name;
  file_name.assign(out.output_dir);
  // In an output folder, a file of a package goes where Java looks for it:
  // into the folders its package names, made when missing.
  if (!out.output_dir.empty()) {
    const std::string_view package = package_of_file(out);
    if (!package.empty()) {
      for (char c : package) file_name.push_back(c == '.' ? '/' : c);
      if (file_name != out.package_dir_made) {
        make_output_dir(file_name);
        out.package_dir_made = file_name;
      }
      file_name.push_back('/');
    }
  }
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
  emit(out, out.file_header_text);
  // The package given on the command line, unless a pass-through line
  // read so far declares it already (Java takes one declaration only).
  if (!out.package_name.empty()) {
    bool declared = false;
    std::size_t pos = 0;
    for (std::string_view name; !(name = next_package_line(out.pass_through_text, pos)).empty();)
      declared = declared || name == out.package_name;
    if (!declared) emit_format(out, "package %s;\n", {out.package_name});
  }
  emit_format(out, "%s\n\n", {out.pass_through_text});
}

std::string output_dir_prefix(std::string_view dir) {
  std::string prefix(dir);
  if (!prefix.empty() && prefix.back() != '/') prefix.push_back('/');
  return prefix;
}

void make_output_dir(std::string_view dir) {
  // Each folder from the top down; an existing one is taken as it is, so
  // long as it is a folder.
  std::string path(dir);
  std::size_t from = 0;
  while (from < path.size()) {
    std::size_t slash = path.find('/', from);
    if (slash == std::string::npos) slash = path.size();
    if (slash > 0 && path[slash - 1] != '/') {
      const std::string part = path.substr(0, slash);
      struct stat info;
      if (stat(part.c_str(), &info) != 0) {
        if (errno != ENOENT || (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)) {
          report_system_error(part, errno);
          terminate_run(255);
        }
      } else if (!S_ISDIR(info.st_mode)) {
        report_system_error(part, ENOTDIR);
        terminate_run(255);
      }
    }
    from = slash + 1;
  }
}

std::string_view next_package_line(std::string_view text, std::size_t &pos) {
  auto is_blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; };
  auto trim = [&](std::string_view t) {
    while (!t.empty() && is_blank(t.front())) t.remove_prefix(1);
    while (!t.empty() && is_blank(t.back())) t.remove_suffix(1);
    return t;
  };
  constexpr std::string_view keyword = "package";
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.substr(0, keyword.size()) != keyword || line.size() == keyword.size() || !is_blank(line[keyword.size()]))
      continue;
    line.remove_prefix(keyword.size());
    const std::size_t semicolon = line.find(';');
    if (semicolon == std::string_view::npos) continue;
    std::string_view name = trim(line.substr(0, semicolon));
    if (!name.empty()) return name;
  }
  return {};
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
