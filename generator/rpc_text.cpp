// SPDX-License-Identifier: Apache-2.0
// Text building: filling in fixed formats and appending to text buffers.
#include "rpc_text.h"

#include <algorithm>
#include <cstring>

namespace {

// Copies n bytes into room known to hold them and returns the end. Most
// pieces of generated text are a few bytes long, for which a call to memcpy
// costs more than the copy: those move as two fixed-size blocks that may
// overlap, and never touch a byte outside either text. Always inline: a
// call would cost what the short copies save.
[[gnu::always_inline]] inline char *copy_text(char *to, const char *from, std::size_t n) {
  if (n > 16) {
    // Blocks of 16, the last one ending at the end and perhaps overlapping
    // the one before.
    for (std::size_t i = 0; i + 16 < n; i += 16) std::memcpy(to + i, from + i, 16);
    std::memcpy(to + n - 16, from + n - 16, 16);
  } else if (n >= 8) {
    std::memcpy(to, from, 8);
    std::memcpy(to + n - 8, from + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(to, from, 4);
    std::memcpy(to + n - 4, from + n - 4, 4);
  } else if (n > 0) {
    to[0] = from[0];
    to[n / 2] = from[n / 2];
    to[n - 1] = from[n - 1];
  }
  return to + n;
}

// Room for the pieces and every argument of the format.
std::size_t format_room(const FormatText &format, std::initializer_list<std::string_view> args) {
  std::size_t room = format.literal_size;
  for (std::string_view arg : args) room += arg.size();
  return room;
}

// Writes the filled-in format at to, which has room for it; returns the end.
// Kept out of line: one copy of the loop serves every writer of text, and
// measured a little faster than a copy in each.
[[gnu::noinline]] char *fill_format(char *to, const FormatText &format, std::initializer_list<std::string_view> args) {
  auto next = args.begin();
  for (std::size_t k = 0; k < format.piece_count; k++) {
    const FormatText::Piece &piece = format.pieces[k];
    to = copy_text(to, format.text.data() + piece.start, piece.size);
    if (piece.takes_argument && next != args.end()) {
      to = copy_text(to, next->data(), next->size());
      ++next;
    }
  }
  return to;
}

}  // namespace

void append_format(std::string &out, const FormatText &format, std::initializer_list<std::string_view> args) {
  // Filled in place and cut to what was used: no reallocation.
  const std::size_t start = out.size();
  out.resize(start + format_room(format, args));
  char *end = fill_format(out.data() + start, format, args);
  out.resize(static_cast<std::size_t>(end - out.data()));
}

std::string_view text_of(const TextBuffer &buffer) { return std::string_view(buffer.storage.data(), buffer.size); }

char *take_room(TextBuffer &buffer, std::size_t n) {
  if (buffer.storage.size() - buffer.size < n)
    buffer.storage.resize(std::max(2 * buffer.storage.size(), buffer.size + n));
  return buffer.storage.data() + buffer.size;
}

void append_text(TextBuffer &buffer, std::string_view text) {
  char *to = take_room(buffer, text.size());
  buffer.size = static_cast<std::size_t>(copy_text(to, text.data(), text.size()) - buffer.storage.data());
}

void append_tabs(TextBuffer &buffer, std::size_t count) {
  static constexpr std::string_view tabs = "\t\t\t\t\t\t\t\t";
  for (; count > tabs.size(); count -= tabs.size()) append_text(buffer, tabs);
  append_text(buffer, tabs.substr(0, count));
}

void append_format(TextBuffer &out, const FormatText &format, std::initializer_list<std::string_view> args) {
  char *to = take_room(out, format_room(format, args));
  out.size = static_cast<std::size_t>(fill_format(to, format, args) - out.storage.data());
}

std::string format_text(const FormatText &format, std::initializer_list<std::string_view> args) {
  std::string result;
  append_format(result, format, args);
  return result;
}
