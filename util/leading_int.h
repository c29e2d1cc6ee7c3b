#pragma once
// Reads the leading signed decimal number of a text the way strtol does in base 10: leading white
// space, an optional sign, then digits up to the first non-digit. No digits gives 0; a value past
// the signed 32-bit range gives the nearest limit. Used for option numbers, EventID pieces and the
// fields of date texts (8-bit and UTF-16 texts alike).

#include <cstdint>
#include <string_view>

namespace repcopy {

template <class CharT>
int32_t leading_int32(std::basic_string_view<CharT> text) {
  size_t i = 0;
  auto is_space = [](CharT c) { return c == CharT(' ') || (c >= CharT('\t') && c <= CharT('\r')); };
  while (i < text.size() && is_space(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == CharT('+') || text[i] == CharT('-'))) {
    negative = text[i] == CharT('-');
    ++i;
  }
  // Accumulate the magnitude, saturating just past the range so long digit runs cannot overflow.
  constexpr int64_t kLimit = int64_t(INT32_MAX) + 1;
  int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= CharT('0') && text[i] <= CharT('9'); ++i) {
    magnitude = magnitude * 10 + (text[i] - CharT('0'));
    if (magnitude > kLimit) magnitude = kLimit;
  }
  int64_t value = negative ? -magnitude : magnitude;
  if (value > INT32_MAX) return INT32_MAX;
  return int32_t(value);  // -kLimit is exactly INT32_MIN
}

inline int32_t leading_int32(const char* text) {
  return leading_int32(std::string_view(text ? text : ""));
}

}  // namespace repcopy
