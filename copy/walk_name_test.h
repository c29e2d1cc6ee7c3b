#pragma once
// The file-name test of the source walk: a repository file's name carries, at character offsets
// 15 and 29, the times of its first and of its last event as 14 digits YYYYMMDDHHmmss (UTC).
// A file is read only when [first, last] overlaps the run's time window.
//
// Kept private to the walk; the filters subsystem owns the same test for the command line.

#include <cstdint>
#include <optional>
#include <string_view>

#include "filters/filter_config.h"

namespace repcopy::walk_detail {

// Seconds since 1970 of a 14-character date text (year 4, month 2, day 2, hour 2, minute 2,
// second 2; a field past the end of the text is 0, a field is read as a signed decimal number
// up to its first non-digit). Empty when the fields do not form a valid calendar date.
std::optional<uint32_t> name_time(std::u16string_view text);

// True when the file should be read: its name overlaps the window, or its name does not carry
// two valid times (such a file is read rather than silently dropped).
bool name_overlaps_window(const filter_config& filter, std::u16string_view name);

}  // namespace repcopy::walk_detail
