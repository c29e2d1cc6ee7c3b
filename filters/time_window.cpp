#include "filters/time_window.h"

#include "model/repository_file_name.h"
#include "util/leading_int.h"
#include "util/text.h"
#include "util/time_text.h"

namespace repcopy {

void time_window_back(filter_config& filter, uint32_t kind, int32_t count, uint32_t now) {
  const uint32_t unit = kind == kTimeDaysBack ? 86400u : 3600u;
  const uint32_t steps_back = 1u - uint32_t(count);  // 1 - N, wrapping
  filter.time_kind = kind;
  filter.time_from = now / unit * unit + steps_back * unit;
  filter.time_to = 0xFFFFFFFF;
  filter.time_on = true;
}

void time_window_dates(message_sink& messages, filter_config& filter, uint32_t kind,
                       std::string_view from_text, std::string_view to_text) {
  if (kind < kTimeFromOnly || kind > kTimeFromTo) {
    messages.err(message_kind::error) << "Unknown filter type, can't apply!";
    return;
  }
  filter.time_kind = kind;
  if (kind == kTimeFromOnly || kind == kTimeFromTo) {
    if (auto from = date_text_time(from_text)) filter.time_from = *from;
  }
  if (kind == kTimeToOnly || kind == kTimeFromTo) {
    if (auto to = date_text_time(to_text)) filter.time_to = *to;
  }
}

date_fields read_date_fields(std::u16string_view text) {
  auto field = [&](size_t offset, size_t width) -> int32_t {
    if (offset >= text.size()) return 0;
    return leading_int32(text.substr(offset, width));
  };
  date_fields f;
  f.year = field(0, 4);
  f.month = field(4, 2);
  f.day = field(6, 2);
  f.hour = field(8, 2);
  f.minute = field(10, 2);
  f.second = field(12, 2);
  f.has_month = text.size() > 4;
  f.has_day = text.size() > 6;
  return f;
}

namespace {

bool leap_year(int32_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int32_t days_in_month(int32_t year, int32_t month) {
  static const int32_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && leap_year(year) ? 29 : kDays[month - 1];
}

}  // namespace

std::optional<uint32_t> date_field_time(std::u16string_view text) {
  date_fields f = read_date_fields(text);
  if (!f.has_month) f.month = 1;
  if (!f.has_day) f.day = 1;
  if (f.year < 1970 || f.year > 2106 || f.month < 1 || f.month > 12 || f.day < 1 ||
      f.day > days_in_month(f.year, f.month) || f.hour < 0 || f.hour > 23 || f.minute < 0 ||
      f.minute > 59 || f.second < 0 || f.second > 59) {
    return std::nullopt;
  }
  const int64_t seconds = days_from_civil(f.year, unsigned(f.month), unsigned(f.day)) * 86400 +
                          f.hour * 3600 + f.minute * 60 + f.second;
  if (seconds < 0 || seconds > int64_t(UINT32_MAX)) return std::nullopt;
  return uint32_t(seconds);
}

std::optional<uint32_t> date_text_time(std::string_view text) {
  return date_field_time(widen_ascii(text));
}

bool file_overlaps_window(const filter_config& filter, std::u16string_view file_name) {
  auto time_at = [&](size_t offset) -> std::optional<uint32_t> {
    if (offset + kFileTimeDigits > file_name.size()) return std::nullopt;
    const std::u16string_view digits = file_name.substr(offset, kFileTimeDigits);
    for (char16_t c : digits)
      if (c < u'0' || c > u'9') return std::nullopt;
    return date_field_time(digits);
  };
  // A name whose time fields are not 14 digits of a valid time says nothing about the file's
  // events: the file is read so that no data is lost, and its events meet the event test.
  const std::optional<uint32_t> first = time_at(kFileFirstTimeOffset);
  const std::optional<uint32_t> last = time_at(kFileLastTimeOffset);
  if (!first || !last) return true;
  if (*first > filter.time_to) return false;
  return *last >= filter.time_from;
}

bool event_in_window(const filter_config& filter, uint32_t event_time) {
  if (!filter.time_on) return true;
  return filter.time_from <= event_time && event_time <= filter.time_to;
}

}  // namespace repcopy
