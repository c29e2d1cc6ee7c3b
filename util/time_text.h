#pragma once
// Times: u32 seconds since 1970-01-01 00:00 UTC in event data, filters and properties; FILETIME
// (u64, 100 ns units since 1601-01-01 UTC) where the system clock and the position files need it.

#include <cstdint>
#include <string>

namespace repcopy {

inline constexpr uint64_t kFiletimeUnixEpoch = 116444736000000000ULL;  // 0x019DB1DED53E8000
inline constexpr uint64_t kFiletimeTicksPerSecond = 10000000ULL;

// (filetime - epoch) / 10^7, truncated to 32 bits (wrapping, as the format does).
uint32_t filetime_to_seconds(uint64_t filetime);
// seconds * 10^7 + epoch, computed in 64 bits.
uint64_t seconds_to_filetime(uint32_t seconds);
// Current UTC time as seconds since 1970 (from the platform clock as a FILETIME).
uint32_t current_time();

// Days since 1970-01-01 of a proleptic Gregorian date (may be negative).
int64_t days_from_civil(int64_t year, unsigned month, unsigned day);
struct utc_fields {
  int year;
  unsigned month, day, hour, minute, second, weekday;  // weekday 0 = Sunday
};
utc_fields utc_from_seconds(int64_t seconds);

// "%a %b %d %T %Y" in UTC with English names, e.g. "Thu Jan 01 00:00:00 1970" for 0.
std::string time_text(int64_t seconds);
// The date and time in UTC: "2024-05-06 07:08:09 UTC" for people, or ISO 8601,
// "2024-05-06T07:08:09Z", for programs.
enum class utc_form { spaced, iso };
std::string utc_text(int64_t seconds, utc_form form = utc_form::spaced);
// 14 digits YYYYMMDDHHmmss in UTC, as in properties and repository file names.
std::string time14_text(uint32_t seconds);

}  // namespace repcopy
