#include "copy/walk_name_test.h"

namespace repcopy::walk_detail {

namespace {

bool is_space(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

// A signed decimal number from at most width characters at offset: leading white space and a
// sign accepted, stops at the first non-digit, no digits give 0.
int64_t field(std::u16string_view text, size_t offset, size_t width) {
  if (offset >= text.size()) return 0;
  std::u16string_view f = text.substr(offset, width);
  size_t i = 0;
  while (i < f.size() && is_space(f[i])) ++i;
  bool negative = false;
  if (i < f.size() && (f[i] == u'+' || f[i] == u'-')) negative = f[i++] == u'-';
  int64_t value = 0;
  while (i < f.size() && f[i] >= u'0' && f[i] <= u'9') value = value * 10 + (f[i++] - u'0');
  return negative ? -value : value;
}

bool is_leap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Days from 1970-01-01 to the given civil date (proleptic Gregorian calendar).
int64_t days_from_civil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

}  // namespace

std::optional<uint32_t> name_time(std::u16string_view text) {
  const int64_t year = field(text, 0, 4), month = field(text, 4, 2), day = field(text, 6, 2);
  const int64_t hour = field(text, 8, 2), minute = field(text, 10, 2), second = field(text, 12, 2);
  static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1601 || month < 1 || month > 12 || day < 1) return std::nullopt;
  if (day > kMonthDays[month - 1] + (month == 2 && is_leap(year))) return std::nullopt;
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
    return std::nullopt;
  const int64_t seconds =
      days_from_civil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  return uint32_t(uint64_t(seconds));  // truncated to 32 bits like every time of the system
}

bool name_overlaps_window(const filter_config& filter, std::u16string_view name) {
  if (name.size() <= 15) return true;
  std::optional<uint32_t> first = name_time(name.substr(15, 14));
  std::optional<uint32_t> last = name.size() > 29 ? name_time(name.substr(29, 14)) : std::nullopt;
  if (!first || !last) return true;
  if (*first > filter.time_to) return false;
  return *last >= filter.time_from;
}

}  // namespace repcopy::walk_detail
