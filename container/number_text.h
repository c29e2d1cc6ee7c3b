#pragma once
// Numbers written as text in entry names and property values, read with the rules of the
// standard string-to-number conversions: leading white space, an optional sign, then digits up
// to the first character that is not a digit of the base. Failures are the conversions' own
// exceptions, which the loaders turn into a failed load.

#include <cstdint>
#include <string_view>

namespace repcopy {

// Signed 32-bit, base 10 (std::stoi). Throws std::invalid_argument("invalid stoi argument")
// when there is no digit, std::out_of_range("stoi argument out of range") beyond 32 bits.
int32_t parse_int(std::u16string_view text);

// Unsigned 32-bit, base 10 or 16 (std::stoul on a 32-bit unsigned long): base 16 also takes a
// "0x" prefix, and a minus sign negates the value modulo 2^32. Throws
// std::invalid_argument("invalid stoul argument") / std::out_of_range("stoul argument out of
// range").
uint32_t parse_ulong(std::u16string_view text, int base);

}  // namespace repcopy
