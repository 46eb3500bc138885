// SPDX-License-Identifier: Apache-2.0
// Text building: fixed formats cut when the program is compiled, and the
// growing buffer that every generated file is written into.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

// A fixed format: "%s" and "%d" each take the next argument, "%%" gives one
// "%", and any other "%" stays as it is. Every format is a literal, and it
// is cut into pieces when the program is compiled, so filling it in is only
// copying: a piece of literal text, then the next argument when the piece is
// followed by a placeholder.
struct FormatText {
  struct Piece {
    std::uint8_t start = 0;  // of the piece's literal text in text
    std::uint8_t size = 0;
    bool takes_argument = false;
  };
  static constexpr std::size_t max_pieces = 12;

  std::string_view text;
  std::uint8_t piece_count = 0;
  std::uint16_t literal_size = 0;  // of all pieces together
  std::array<Piece, max_pieces> pieces{};

  // A format too long or with too many pieces fails to compile.
  consteval FormatText(const char *literal) : text(literal) {
    if (text.size() > 255) throw "format text too long";
    std::size_t from = 0;
    for (;;) {
      if (piece_count == max_pieces) throw "too many pieces in a format text";
      Piece &piece = pieces[piece_count++];
      piece.start = static_cast<std::uint8_t>(from);
      std::size_t i = from;
      while (i < text.size() && !(text[i] == '%' && i + 1 < text.size() &&
                                  (text[i + 1] == 's' || text[i + 1] == 'd' || text[i + 1] == '%')))
        i++;
      const bool percent_sign = i < text.size() && text[i + 1] == '%';
      piece.size = static_cast<std::uint8_t>(i - from + (percent_sign ? 1 : 0));
      literal_size = static_cast<std::uint16_t>(literal_size + piece.size);
      if (i == text.size()) break;
      piece.takes_argument = !percent_sign;
      from = i + 2;
    }
  }
};

// Text built piece by piece, such as a generated file. Its storage only
// grows, and appending writes straight into it: the bytes about to be
// written are not zero-filled first, as resizing a string would.
struct TextBuffer {
  std::string storage;  // the text is its first `size` bytes
  std::size_t size = 0;
};

std::string_view text_of(const TextBuffer &buffer);
// Where n more bytes can go; the caller writes them and adds n to size.
char *take_room(TextBuffer &buffer, std::size_t n);
void append_text(TextBuffer &buffer, std::string_view text);
// Appends count tab characters.
void append_tabs(TextBuffer &buffer, std::size_t count);

// Fills the places of the format with the arguments, in order. A place
// without an argument stays empty; arguments are data and never formats.
std::string format_text(const FormatText &format, std::initializer_list<std::string_view> args);
// The same, appended to out.
void append_format(std::string &out, const FormatText &format, std::initializer_list<std::string_view> args);
void append_format(TextBuffer &out, const FormatText &format, std::initializer_list<std::string_view> args);
