#include "util/time_text.h"

#include <cstdio>

#include "platform/platform.h"

namespace repcopy {

uint32_t filetime_to_seconds(uint64_t filetime) {
  return uint32_t((filetime - kFiletimeUnixEpoch) / kFiletimeTicksPerSecond);
}

uint64_t seconds_to_filetime(uint32_t seconds) {
  return uint64_t(seconds) * kFiletimeTicksPerSecond + kFiletimeUnixEpoch;
}

uint32_t current_time() { return filetime_to_seconds(platform::system_time_as_filetime()); }

// Howard Hinnant's civil-date algorithms.
int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + int64_t(doe) - 719468;
}

utc_fields utc_from_seconds(int64_t seconds) {
  // Floor division and remainder without negating or multiplying back, which would overflow
  // for the extreme values a damaged file can hold.
  int64_t days = seconds / 86400;
  int64_t rem = seconds % 86400;
  if (rem < 0) {
    --days;
    rem += 86400;
  }
  utc_fields f{};
  f.hour = unsigned(rem / 3600);
  f.minute = unsigned(rem % 3600 / 60);
  f.second = unsigned(rem % 60);
  f.weekday = unsigned(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = unsigned(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  f.day = doy - (153 * mp + 2) / 5 + 1;
  f.month = mp < 10 ? mp + 3 : mp - 9;
  f.year = int(int64_t(yoe) + era * 400 + (f.month <= 2));
  return f;
}

std::string time_text(int64_t seconds) {
  static const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  utc_fields f = utc_from_seconds(seconds);
  char buf[80];
  std::snprintf(buf, sizeof buf, "%s %s %02u %02u:%02u:%02u %d", kDays[f.weekday],
                kMonths[f.month - 1], f.day, f.hour, f.minute, f.second, f.year);
  return buf;
}

std::string utc_text(int64_t seconds, utc_form form) {
  const utc_fields f = utc_from_seconds(seconds);
  char buf[48];
  std::snprintf(buf, sizeof buf,
                form == utc_form::iso ? "%04d-%02u-%02uT%02u:%02u:%02uZ"
                                      : "%04d-%02u-%02u %02u:%02u:%02u UTC",
                f.year, f.month, f.day, f.hour, f.minute, f.second);
  return buf;
}

std::string time14_text(uint32_t seconds) {
  utc_fields f = utc_from_seconds(seconds);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%4.4d%2.2u%2.2u%2.2u%2.2u%2.2u", f.year, f.month, f.day, f.hour,
                f.minute, f.second);
  return buf;
}

}  // namespace repcopy
