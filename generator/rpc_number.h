// SPDX-License-Identifier: Apache-2.0
// Numbers of the interface language (decimal with an optional "-",
// hexadecimal "0x", octal with a leading "0"), their values, and how they
// are written as Java int and long literals.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A value of at most 64 bits, signed or unsigned: a sign and a magnitude.
struct NumberValue {
  bool negative = false;
  std::uint64_t magnitude = 0;
};

// True for a text that starts like a number: a digit, or "-" and a digit.
// Everything else is a name.
bool starts_like_number(std::string_view text);

// The value of a number text; none when the text is not a number, or its
// value lies beyond what 64 bits hold (above 2^64-1, below -2^63).
std::optional<NumberValue> number_value(std::string_view text);

bool is_zero(const NumberValue &value);
// True when the value needs more than 32 bits: above 2^32-1 or below -2^31.
bool needs_long(const NumberValue &value);
// The value plus a small count, as an enum member after an explicit value
// is; none when the sum leaves the 64 bits.
std::optional<NumberValue> add_count(const NumberValue &value, std::uint64_t count);

// The value as a Java int holds it: its low 32 bits, signed.
NumberValue int_value(const NumberValue &value);

// A number where Java expects an int: a decimal between 2^31 and 2^32-1 is
// written as its 32 bits in lowercase hexadecimal, as every unsigned 32-bit
// value travels in Java; any other text stays as written.
std::string java_int_literal(std::string_view text);
// A number as a Java long literal: as written with "L", except a decimal
// beyond the range of long, written as its 64-bit pattern in hexadecimal.
// A text that is no number of at most 64 bits stays as written.
std::string java_long_literal(std::string_view text);
