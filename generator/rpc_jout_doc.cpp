// SPDX-License-Identifier: Apache-2.0
// Javadoc text from the input's comments.
#include "rpc_jout_doc.h"

#include <cstdint>

#include "rpc_text.h"

namespace {

// The length of the valid UTF-8 sequence at text[i] and its code point, or
// 0 when none starts there (overlong forms and surrogates are not valid).
std::size_t utf8_sequence(std::string_view text, std::size_t i, std::uint32_t &code) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char first = byte(i);
  std::size_t length = first >= 0xf0 && first <= 0xf4 ? 4 : first >= 0xe0 ? 3 : first >= 0xc2 ? 2 : 0;
  if (length == 0 || first >= 0xf5 || i + length > text.size()) return 0;
  code = first & (0x7f >> length);
  for (std::size_t k = 1; k < length; k++) {
    if ((byte(i + k) & 0xc0) != 0x80) return 0;
    code = code << 6 | (byte(i + k) & 0x3f);
  }
  const std::uint32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
  if (code < least || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return 0;
  return length;
}

void append_safe(std::string &out, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); i++) {
    const auto c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '<': out += "&lt;"; continue;
      case '>': out += "&gt;"; continue;
      case '&': out += "&amp;"; continue;
      case '@': out += "&#64;"; continue;
      case '{': out += "&#123;"; continue;
      case '}': out += "&#125;"; continue;
      // javac reads \u escapes even in comments.
      case '\\': out += "&#92;"; continue;
      case '*':
        if (i + 1 < text.size() && text[i + 1] == '/') {
          out += "&#42;";
          continue;
        }
        break;
      default: break;
    }
    if (c >= 0x80) {
      std::uint32_t code = 0;
      if (const std::size_t length = utf8_sequence(text, i, code)) {
        out += format_text("&#%d;", {std::to_string(code)});
        i += length - 1;
      } else {
        out.push_back('?');
      }
      continue;
    }
    if (c < 0x20 || c == 0x7f) {
      out.push_back(' ');
      continue;
    }
    out.push_back(static_cast<char>(c));
  }
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v' || c == '\n'; }

}  // namespace

std::string doc_text(std::string_view comment) {
  if (comment.size() < 4) return {};
  std::string_view body = comment.substr(2, comment.size() - 4);
  std::string text;
  // Line by line: blanks and a leading run of "*" go, the rest joins with
  // one blank.
  while (!body.empty()) {
    std::size_t end = body.find('\n');
    std::string_view line = body.substr(0, end);
    body = end == std::string_view::npos ? std::string_view() : body.substr(end + 1);
    while (!line.empty() && is_blank(line.front())) line.remove_prefix(1);
    while (!line.empty() && line.front() == '*') line.remove_prefix(1);
    while (!line.empty() && is_blank(line.front())) line.remove_prefix(1);
    while (!line.empty() && is_blank(line.back())) line.remove_suffix(1);
    while (!line.empty() && line.back() == '*' && body.empty()) line.remove_suffix(1);
    while (!line.empty() && is_blank(line.back())) line.remove_suffix(1);
    if (line.empty()) continue;
    if (!text.empty()) text.push_back(' ');
    append_safe(text, line);
  }
  return text;
}

std::string javadoc(std::string_view indent, std::string_view summary, std::string_view comment,
                    std::string_view tags) {
  std::string out = format_text("%s/**\n%s * %s\n", {indent, indent, summary});
  const std::string text = doc_text(comment);
  if (!text.empty()) append_format(out, "%s *\n%s * <p>%s\n", {indent, indent, text});
  if (!tags.empty()) {
    append_format(out, "%s *\n", {indent});
    std::size_t from = 0;
    while (from < tags.size()) {
      std::size_t end = tags.find('\n', from);
      if (end == std::string_view::npos) end = tags.size();
      append_format(out, "%s * %s\n", {indent, tags.substr(from, end - from)});
      from = end + 1;
    }
  }
  append_format(out, "%s */\n", {indent});
  return out;
}
