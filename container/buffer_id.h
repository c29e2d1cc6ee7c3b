#pragma once
// Classification of a container entry: its Buffer ID (by name, else by content) and the part it
// belongs to. Layout and keys in container/format.h.

#include <cstdint>
#include <optional>
#include <string_view>

#include "util/bytes.h"

namespace repcopy {

// Buffer ID 0..14 from the four code units before the first "." of name (the first four when
// the "." stands below position 4), compared exactly with the keys; nullopt when the name has no
// "." or no key matches.
std::optional<int32_t> classify_by_name(std::u16string_view name);

// -2 for data starting with the u32 file magic, -1 for "EDRP", -3 for anything else, including
// data shorter than four bytes.
int32_t classify_by_content(byte_span data);

// Part index: the signed decimal number spelled by the characters before the first "_" (the
// whole name without "_"). Throws the conversion's std::invalid_argument / std::out_of_range.
int32_t part_index_of(std::u16string_view name);

}  // namespace repcopy
