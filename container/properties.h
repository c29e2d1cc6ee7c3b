#pragma once
// The property block that ends each footer: name/value pairs of UTF-16 text (layout in
// container/format.h), parsed into the footer's property map.

#include <cstdint>
#include <string>
#include <string_view>

#include "container/footer.h"
#include "container/number_text.h"
#include "util/bytes.h"
#include "util/message_sink.h"

namespace repcopy {

// Parses the block at footer.property_offset into footer.properties and sets
// footer.property_len. The block must end at the footer's end (for the last footer, the end of
// the file). Returns property_len, or 0 on any error (with its messages and dumps) and for an
// empty block. why, when given, receives a short reason for a 0 result.
uint64_t parse_property_block(message_sink& messages, footer_record& footer, byte_span file,
                              std::string* why = nullptr);

bool has_property(const footer_record& footer, std::u16string_view name);
// The value, or nullptr when the footer has no such property.
const std::u16string* get_property(const footer_record& footer, std::u16string_view name);

// "name = value" per property, in map order, as summary lines on standard output.
void dump_properties(message_sink& messages, const footer_record& footer);

}  // namespace repcopy
