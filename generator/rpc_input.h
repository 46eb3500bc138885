// SPDX-License-Identifier: Apache-2.0
// The block reader behind the scanner: holds the input of a pass as whole
// lines, read a piece at a time, with a line feed and a few spare bytes
// after them.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>

// Bytes kept after what is held: the line feed, then enough for a search
// that reads sixteen bytes at a time to read a whole group from any place
// of the last line.
constexpr std::size_t input_tail = 1 + 16;

// The input of a pass. A regular file is read a piece at a time, whenever
// the scanner has used up the complete lines held, into storage with room
// for the whole file, so that reading never moves bytes that tokens view.
// Between two definitions the lines already used are dropped and the rest
// moves to the front: a pass keeps reading into the same few pages. Any
// other input is read whole at the first line. What is held ends with
// complete lines and a line feed that no line includes, then a few spare
// bytes; the storage is kept for the next pass.
struct InputText {
  static constexpr std::size_t default_piece_size = std::size_t{1} << 16;

  std::FILE *stream = nullptr;    // where the bytes come from; not owned
  std::unique_ptr<char[]> bytes;  // not zero-filled: only bytes read or written are used
  std::size_t capacity = 0;
  std::size_t start = 0;                        // first byte after the current line, once it is closed
  std::size_t end = 0;                          // end of the complete lines held
  std::size_t read_end = 0;                     // end of the bytes read: those from end on begin a line not read whole
  char byte_at_end = 0;                         // the byte at end that the kept line feed covers, while read_end > end
  std::size_t piece_size = default_piece_size;  // bytes read at a time
  bool whole = false;                           // everything there is to read is held
  bool line_open = false;                       // the current line's end is not looked for yet
  bool loaded = false;
};

// Sets the input to nothing read yet from stream; the storage is kept.
void forget_input(InputText &input, std::FILE *stream);
// Starts the input at its first line: reads the first piece, or all of a
// stream that is not a regular file.
void load_input(InputText &input);
// Reads on until at least one more complete line is held, or to the end of
// the input, where a last line without a line feed counts as complete.
// Returns false when there was nothing more.
bool load_more(InputText &input);
// Drops the first `used` bytes, which nothing views any more, when they are
// worth moving the rest for; returns whether it did.
bool drop_used_input(InputText &input, std::size_t used);
