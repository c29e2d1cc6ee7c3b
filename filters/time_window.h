#pragma once
// The time window of the filter_config: built from a count of days or hours back, or from date
// texts of the form YYYY[MM[DD[HH[mm[ss]]]]] (UTC); and the two tests that use it, one on
// repository file names (before a file is opened) and one on single events. Times are seconds
// since 1970-01-01 00:00:00 UTC as unsigned 32-bit numbers; both bounds are inclusive.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "model/filter_config.h"
#include "util/message_sink.h"

namespace repcopy {

inline constexpr uint32_t kTimeDaysBack = 1;
inline constexpr uint32_t kTimeHoursBack = 2;
inline constexpr uint32_t kTimeFromOnly = 3;
inline constexpr uint32_t kTimeToOnly = 4;
inline constexpr uint32_t kTimeFromTo = 5;

// Sets time_kind (1 days back, 2 hours back), time_from and time_to = 0xFFFFFFFF, and time_on.
// now is the current time in seconds (passed in so that callers and tests can fix it). All
// arithmetic wraps in 32 bits: count 1 starts at the beginning of the current UTC day or hour,
// count 2 one day or hour earlier, count 0 at the beginning of the next one.
void time_window_back(filter_config& filter, uint32_t kind, int32_t count, uint32_t now);

// Sets time_kind and the bound or bounds of kind 3 (from_text), 4 (to_text) or 5 (both). A bound
// whose text is not a valid date keeps its default (the command line refuses such texts before
// calling this). Any other kind prints "Unknown filter type, can't apply!" on standard error and
// leaves the bounds alone. Does not set time_on: the caller does.
void time_window_dates(message_sink& messages, filter_config& filter, uint32_t kind,
                       std::string_view from_text, std::string_view to_text);

// The six fields of a date text, read at fixed offsets (year 0..3, month 4..5, day 6..7,
// hour 8..9, minute 10..11, second 12..13; the rest is ignored). A field that starts at or past
// the end of the text is absent; a present field is the leading signed number of its characters
// (0 when it has no digits), so "2019-0305" has month 0 and day 3.
struct date_fields {
  int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool has_month = false, has_day = false;
};
date_fields read_date_fields(std::u16string_view text);

// Seconds since 1970 of a date text. An absent month or day counts as 1 ("2019" is
// 2019-01-01 00:00:00, "201903" is 2019-03-01); absent hour, minute and second count as 0.
// nullopt when the fields do not form a calendar time that fits the unsigned 32-bit range
// (month 1-12, day within its month, hour 0-23, minute and second 0-59, 1970-01-01 00:00:00 up
// to 2106-02-07 06:28:15).
std::optional<uint32_t> date_field_time(std::u16string_view text);
std::optional<uint32_t> date_text_time(std::string_view text);  // each byte widened

// Whether a repository file with this name can hold events inside the window: false when its
// first event lies after time_to or its last event before time_from (the name's layout is in
// model/repository_file_name.h). Does not look at time_on.
// A name whose two times are not 14 digits forming a valid time counts as overlapping (the
// file is read, and its events are tested one by one).
bool file_overlaps_window(const filter_config& filter, std::u16string_view file_name);

// When time_on, whether time_from <= event_time <= time_to; otherwise true.
bool event_in_window(const filter_config& filter, uint32_t event_time);

}  // namespace repcopy
