#pragma once
// The EventID part of the filter_config: a white or black list from the -i / -j option text.

#include <cstdint>
#include <string_view>
#include <vector>

#include "model/filter_config.h"

namespace repcopy {

inline constexpr uint32_t kIdBlackList = 1;  // -j: listed EventIDs are dropped
inline constexpr uint32_t kIdWhiteList = 2;  // -i: only listed EventIDs pass

// The comma-separated option text as a list, in order, duplicates kept. Every piece between
// commas gives one value: its leading signed decimal number (white space and sign accepted,
// stops at the first non-digit, 0 without digits, clamped to the signed 32-bit range) as a
// 32-bit pattern. So "1,,2" gives 1, 0, 2; a trailing comma adds a 0; "" gives {0}; "-1" gives
// 0xFFFFFFFF; " 7" and "7x" give 7.
std::vector<uint32_t> build_id_list(std::string_view text);

// Sets id_kind, ids and id_on from the option kind and text.
void set_id_filter(filter_config& filter, uint32_t kind, std::string_view text);

// When id_on: a listed EventID passes exactly for a white list, an unlisted one exactly for a
// black list. Otherwise every EventID passes.
bool id_passes(const filter_config& filter, uint32_t event_id);

}  // namespace repcopy
