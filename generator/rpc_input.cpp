// SPDX-License-Identifier: Apache-2.0
// The block reader: reads the input of a pass a piece at a time into
// storage that is kept from pass to pass.
#include "rpc_input.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <sys/stat.h>

namespace {

// Gives the input storage room for at least room bytes, keeping what it
// holds. The new bytes are not zero-filled: the read fills them, and a
// large input is not written twice.
void grow_input(InputText &input, std::size_t room) {
  std::unique_ptr<char[]> bytes = std::make_unique_for_overwrite<char[]>(room);
  if (input.read_end > 0) std::memcpy(bytes.get(), input.bytes.get(), input.read_end);
  input.bytes = std::move(bytes);
  input.capacity = room;
}

// Puts the line feed after the complete lines held, keeping the byte it
// covers, and defines the spare bytes after it that nothing has written.
void mark_held_end(InputText &input) {
  char *bytes = input.bytes.get();
  if (input.read_end > input.end) input.byte_at_end = bytes[input.end];
  bytes[input.end] = '\n';
  const std::size_t defined = std::max(input.read_end, input.end + 1);
  if (defined < input.end + input_tail) std::memset(bytes + defined, 0, input.end + input_tail - defined);
}

}  // namespace

void forget_input(InputText &input, std::FILE *stream) {
  input.stream = stream;
  input.start = input.end = input.read_end = 0;
  input.whole = false;
  input.loaded = false;
  input.line_open = false;
}

// A read error counts as the end of the input; so does a file that has
// grown past the room made for it.
bool load_more(InputText &input) {
  if (input.whole) return false;
  char *bytes = input.bytes.get();
  if (input.read_end > input.end) bytes[input.end] = input.byte_at_end;
  const std::size_t held = input.end;
  for (;;) {
    const std::size_t room = input.capacity - input.read_end - input_tail;
    const std::size_t want = std::min(input.piece_size, room);
    const std::size_t got = want == 0 ? 0 : std::fread(bytes + input.read_end, 1, want, input.stream);
    if (got == 0) {
      input.whole = true;
      input.end = input.read_end;
      break;
    }
    const std::size_t last = std::string_view(bytes + input.read_end, got).rfind('\n');
    input.read_end += got;
    if (last != std::string_view::npos) {
      input.end = input.read_end - got + last + 1;
      break;
    }
  }
  mark_held_end(input);
  return input.end > held;
}

// A regular file gets room for all of it and is read a piece at a time;
// anything else is read whole now, before any token views it, since it may
// outgrow any room made.
void load_input(InputText &input) {
  input.loaded = true;
  input.start = input.end = input.read_end = 0;
  input.whole = false;
  std::FILE *stream = input.stream;
  struct stat info;
  if (stream != nullptr && fstat(fileno(stream), &info) == 0 && S_ISREG(info.st_mode)) {
    const std::size_t room = static_cast<std::size_t>(info.st_size) + input.piece_size + input_tail;
    if (input.capacity < room) grow_input(input, room);
    load_more(input);
    return;
  }
  if (input.capacity < (std::size_t{1} << 16)) grow_input(input, std::size_t{1} << 16);
  while (stream != nullptr) {
    if (input.read_end + input_tail >= input.capacity) grow_input(input, 2 * input.capacity);
    const std::size_t got =
        std::fread(input.bytes.get() + input.read_end, 1, input.capacity - input.read_end - input_tail, stream);
    if (got == 0) break;
    input.read_end += got;
  }
  input.end = input.read_end;
  input.whole = true;
  mark_held_end(input);
}

bool drop_used_input(InputText &input, std::size_t used) {
  if (used < input.piece_size) return false;
  // The kept line feed, the spare bytes and the part of a line read ahead
  // move along with the lines.
  char *bytes = input.bytes.get();
  const std::size_t kept = std::max(input.read_end, input.end + input_tail);
  std::memmove(bytes, bytes + used, kept - used);
  input.start -= used;
  input.end -= used;
  input.read_end -= used;
  return true;
}
