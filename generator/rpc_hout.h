// SPDX-License-Identifier: Apache-2.0
// The output of generated files, one home for every writer: the file being
// written, the list of files written in a pass, and their opening and
// closing.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "rpc_text.h"

// The Java names of one member, its type's and its own: looked up once for
// all lines of a struct's member. A name that needs a "_" is made in the
// entry's own room, so an entry must not move while its views are used.
struct MemberJava {
  std::string type_spare;
  std::string name_spare;
  std::string_view type;
  std::string_view name;
};

// What the writers write into: the Java file being written (at most one at
// a time), the list of the files written this pass, and the texts every
// file begins with. Its buffers are kept from file to file and from pass to
// pass; a file still open when it goes is closed, unwritten.
struct JavaOutput {
  JavaOutput() = default;
  JavaOutput(const JavaOutput &) = delete;
  JavaOutput &operator=(const JavaOutput &) = delete;
  ~JavaOutput();

  std::string file_header_text;        // set once for the run
  std::string_view pass_through_text;  // the "%" lines read so far; the scanner owns them
  std::string generated_file_list;     // "\t<name>\n" per file written this pass
  std::string output_dir;              // where files go: empty, the current folder, or a folder ending in "/"
  std::string package_name;            // the package every file declares; empty: none unless the input says
  std::string package_dir_made;        // the package's folder in output_dir made last, kept not to make it again
  bool async_client = false;           // --async: client classes also get future-returning methods

  int output_stream = -1;  // descriptor of the file being written, -1: none
  std::string output_file_name;
  TextBuffer output_text;  // the file's text, written out when it is closed

  // The Java names of the member being written, and those of a struct's
  // members: the member emitters reuse this room instead of making strings
  // of their own.
  MemberJava one_member;
  std::vector<MemberJava> member_names;
};

// Writing to the file being generated; a failed write ends the run.
void emit(JavaOutput &out, std::string_view text);
void emit_format(JavaOutput &out, const FormatText &format, std::initializer_list<std::string_view> args);
void emit_tabs(JavaOutput &out, int count);

// Opening and closing of every generated file. With an output folder, a
// file of a package goes into the package's folders below it.
void open_java_file(JavaOutput &out, std::string_view base_name);
void close_java_file(JavaOutput &out);

// Where the files go: dir as the prefix of file names (empty stays empty,
// otherwise it ends in "/").
std::string output_dir_prefix(std::string_view dir);
// Creates the folder dir and every missing folder above it; one that
// cannot be made, or a part that is no folder, ends the run with status 255
// after "name: reason" for the part that failed.
void make_output_dir(std::string_view dir);
// The package named by the next line of pass-through text, from pos on,
// that reads "package NAME;"; pos moves past that line. Empty when no
// further line does.
std::string_view next_package_line(std::string_view pass_through_text, std::size_t &pos);
