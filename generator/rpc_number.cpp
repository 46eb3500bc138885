// SPDX-License-Identifier: Apache-2.0
// Values of number texts and their Java literals.
#include "rpc_number.h"

#include <limits>

namespace {

enum class Base { Decimal = 10, Octal = 8, Hex = 16 };

struct ParsedNumber {
  NumberValue value;
  Base base = Base::Decimal;
};

int digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

std::optional<ParsedNumber> parse_number(std::string_view text) {
  ParsedNumber parsed;
  if (!text.empty() && text[0] == '-') {
    parsed.value.negative = true;
    text.remove_prefix(1);
  }
  if (text.size() > 2 && text[0] == '0' && text[1] == 'x') {
    parsed.base = Base::Hex;
    text.remove_prefix(2);
  } else if (text.size() > 1 && text[0] == '0') {
    parsed.base = Base::Octal;
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  const auto base = static_cast<std::uint64_t>(parsed.base);
  constexpr std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t magnitude = 0;
  for (char c : text) {
    const auto digit = static_cast<std::uint64_t>(digit_value(c));
    if (digit >= base) return std::nullopt;
    if (magnitude > (max - digit) / base) return std::nullopt;
    magnitude = magnitude * base + digit;
  }
  // Below -2^63 no 64-bit type holds it.
  if (parsed.value.negative && magnitude > (std::uint64_t{1} << 63)) return std::nullopt;
  if (magnitude == 0) parsed.value.negative = false;
  parsed.value.magnitude = magnitude;
  return parsed;
}

std::string hex_text(std::uint64_t value) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string reversed;
  do {
    reversed.push_back(digits[value & 0xf]);
    value >>= 4;
  } while (value != 0);
  return "0x" + std::string(reversed.rbegin(), reversed.rend());
}

}  // namespace

bool starts_like_number(std::string_view text) {
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  return (!text.empty() && digit(text[0])) || (text.size() > 1 && text[0] == '-' && digit(text[1]));
}

std::optional<NumberValue> number_value(std::string_view text) {
  const std::optional<ParsedNumber> parsed = parse_number(text);
  if (!parsed) return std::nullopt;
  return parsed->value;
}

bool is_zero(const NumberValue &value) { return value.magnitude == 0; }

bool needs_long(const NumberValue &value) {
  return value.negative ? value.magnitude > (std::uint64_t{1} << 31) : value.magnitude > 0xffffffffu;
}

std::optional<NumberValue> add_count(const NumberValue &value, std::uint64_t count) {
  NumberValue sum;
  if (!value.negative) {
    if (value.magnitude > std::numeric_limits<std::uint64_t>::max() - count) return std::nullopt;
    sum.magnitude = value.magnitude + count;
  } else if (count >= value.magnitude) {
    sum.magnitude = count - value.magnitude;
  } else {
    sum.negative = true;
    sum.magnitude = value.magnitude - count;
  }
  return sum;
}

NumberValue int_value(const NumberValue &value) {
  std::uint32_t bits = static_cast<std::uint32_t>(value.magnitude);
  if (value.negative) bits = ~bits + 1u;
  NumberValue wrapped;
  wrapped.negative = (bits & 0x80000000u) != 0;
  wrapped.magnitude = wrapped.negative ? (~bits + 1u) & 0xffffffffu : bits;
  return wrapped;
}

std::string java_int_literal(std::string_view text) {
  // A decimal of 2^31 or more has ten digits: shorter texts, most numbers,
  // stay as written without a look at their value.
  if (text.size() < 10) return std::string(text);
  const std::optional<ParsedNumber> parsed = parse_number(text);
  if (parsed && parsed->base == Base::Decimal && !parsed->value.negative &&
      parsed->value.magnitude >= (std::uint64_t{1} << 31) && parsed->value.magnitude <= 0xffffffffu)
    return hex_text(parsed->value.magnitude);
  return std::string(text);
}

std::string java_long_literal(std::string_view text) {
  const std::optional<ParsedNumber> parsed = parse_number(text);
  if (!parsed) return std::string(text);
  if (parsed->base == Base::Decimal && !parsed->value.negative &&
      parsed->value.magnitude > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
    return hex_text(parsed->value.magnitude) + "L";
  return std::string(text) + "L";
}
