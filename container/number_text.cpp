#include "container/number_text.h"

#include <stdexcept>

namespace repcopy {

namespace {

bool is_space(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

int digit_value(char16_t c, int base) {
  int v = 99;
  if (c >= u'0' && c <= u'9')
    v = c - u'0';
  else if (c >= u'a' && c <= u'z')
    v = c - u'a' + 10;
  else if (c >= u'A' && c <= u'Z')
    v = c - u'A' + 10;
  return v < base ? v : -1;
}

struct scanned {
  bool any_digit = false;
  bool negative = false;
  bool overflow = false;  // magnitude above limit
  uint64_t magnitude = 0;
};

// Reads white space, sign, optional "0x" (base 16) and digits; the magnitude saturates just
// above limit so that long digit strings cannot wrap.
scanned scan(std::u16string_view text, int base, uint64_t limit) {
  scanned s;
  size_t i = 0;
  while (i < text.size() && is_space(text[i])) ++i;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) s.negative = text[i++] == u'-';
  if (base == 16 && i + 2 < text.size() && text[i] == u'0' &&
      (text[i + 1] == u'x' || text[i + 1] == u'X') && digit_value(text[i + 2], 16) >= 0) {
    i += 2;
  }
  for (; i < text.size(); ++i) {
    int d = digit_value(text[i], base);
    if (d < 0) break;
    s.any_digit = true;
    if (!s.overflow) {
      s.magnitude = s.magnitude * uint64_t(base) + uint64_t(d);
      if (s.magnitude > limit) s.overflow = true;
    }
  }
  return s;
}

}  // namespace

int32_t parse_int(std::u16string_view text) {
  scanned s = scan(text, 10, uint64_t(INT32_MAX) + 1);
  if (!s.any_digit) throw std::invalid_argument("invalid stoi argument");
  if (s.overflow || (!s.negative && s.magnitude > uint64_t(INT32_MAX))) {
    throw std::out_of_range("stoi argument out of range");
  }
  return s.negative ? int32_t(-int64_t(s.magnitude)) : int32_t(s.magnitude);
}

uint32_t parse_ulong(std::u16string_view text, int base) {
  scanned s = scan(text, base, UINT32_MAX);
  if (!s.any_digit) throw std::invalid_argument("invalid stoul argument");
  if (s.overflow) throw std::out_of_range("stoul argument out of range");
  uint32_t v = uint32_t(s.magnitude);
  return s.negative ? uint32_t(0u - v) : v;
}

}  // namespace repcopy
