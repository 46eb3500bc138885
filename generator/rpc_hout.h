// SPDX-License-Identifier: Apache-2.0
// The Java writers for the data types: type mapping, the output that every
// Java file is written into, the member emitters, and the struct, union,
// enum and typedef classes.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "rpc_parse.h"
#include "rpc_text.h"

// Type mapping and naming.
// The contract between the generated text and the runtime for a type the
// runtime codes itself: the Java type of a member of it, the runtime's
// wrapper class for one value, and the stem of the runtime's typed calls.
struct BuiltinType {
  std::string_view xdr_name;
  std::string_view java;
  std::string_view wrapper;
  std::string_view codec_stem;
};
// Every row of that table, in the order it is searched.
std::span<const BuiltinType> builtin_type_rows();
// The Java type of a built-in type, or the class name of a type the input
// defines; a class name that needs a "_" is made in spare, which must
// outlive the result. A name the input neither defines nor has a row for
// stays as written: it names a Java type of the user's (String, say).
std::string_view java_type_of(std::string_view type_name, std::string &spare, const DefinitionMemory &memory);
// The wrapper class of a built-in Java type, or the argument itself.
std::string_view wrapper_class_of(std::string_view java_type);
bool is_builtin_type(std::string_view java_type);
// A bound or case label as Java text: numbers stay, names become constants
// of the interface named interface_name (empty: no interface was written).
// report false: no message when there is no interface (the caller has
// reported that bound already).
std::string qualify_bound(std::string_view text, std::string_view interface_name, bool report = true);

// Names that earlier definitions gave a meaning, as the Java text writes
// them: memory holds the definitions before the one being written, and
// interface_name is the interface constants are qualified with (empty: no
// interface was written).
// An enum member as a constant of its enum's class.
std::string enum_member_reference(std::string_view enum_name, std::string_view member);
// An array bound (through qualify_bound).
std::string bound_text(std::string_view bound, const DefinitionMemory &memory, std::string_view interface_name,
                       bool report = true);
// A value where Java expects an int that nothing qualifies: an enum value.
std::string value_text(std::string_view value, const DefinitionMemory &memory, std::string_view interface_name);

// What the writers write into: the Java file being written (at most one at
// a time), the list of the files written this pass, and the texts every
// file begins with. Its buffers are kept from file to file and from pass to
// pass; a file still open when it goes is closed, unwritten.
// The Java names of one member, its type's and its own: looked up once for
// all lines of a struct's member. A name that needs a "_" is made in the
// entry's own room, so an entry must not move while its views are used.
struct MemberJava {
  std::string type_spare;
  std::string name_spare;
  std::string_view type;
  std::string_view name;
};

struct JavaOutput {
  JavaOutput() = default;
  JavaOutput(const JavaOutput &) = delete;
  JavaOutput &operator=(const JavaOutput &) = delete;
  ~JavaOutput();

  std::string file_header_text;        // set once for the run
  std::string_view pass_through_text;  // the "%" lines read so far; the scanner owns them
  std::string generated_file_list;     // "\t<name>\n" per file written this pass

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

// Opening and closing of every generated file.
void open_java_file(JavaOutput &out, std::string_view base_name);
void close_java_file(JavaOutput &out);

// Member emitters: one line each for one Declaration. A "string" member is
// turned into a Plain one in place.
void emit_field_declaration(JavaOutput &out, Declaration &decl, int depth, const DefinitionMemory &memory,
                            std::string_view interface_name);
// A member of a declared size passes the size (and its own name, for the
// runtime's error) to the runtime, which holds the value to it.
void emit_encode_statement(JavaOutput &out, Declaration &decl, int depth, const DefinitionMemory &memory,
                           std::string_view interface_name);
void emit_decode_statement(JavaOutput &out, Declaration &decl, int depth, const DefinitionMemory &memory,
                           std::string_view interface_name);

// The data-type classes. Bounds, labels and values that name constants are
// qualified with interface_name.
void emit_struct_class(JavaOutput &out, Definition &def, const DefinitionMemory &memory,
                       std::string_view interface_name);
void emit_union_class(JavaOutput &out, Definition &def, const DefinitionMemory &memory,
                      std::string_view interface_name);
void emit_enum_class(JavaOutput &out, Definition &def, const DefinitionMemory &memory, std::string_view interface_name);
void emit_typedef_class(JavaOutput &out, Definition &def, const DefinitionMemory &memory,
                        std::string_view interface_name);
