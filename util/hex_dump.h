#pragma once
// The diagnostic hex dump printed by every reader of repository files: a rule line, one line per
// 16-byte row from start/16 to end/16 inclusive (offset, hex columns, text column at 61), and a
// closing rule line.

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <span>

#include "util/message_sink.h"

namespace repcopy {

// A range longer than 2 x kHexDumpEdge bytes shows only its first and last kHexDumpEdge bytes,
// with a line between them naming the bytes left out and a closing line with the range's length:
// a damaged file of hundreds of megabytes must not flood the console.
inline constexpr size_t kHexDumpEdge = 256;

// Dumps data[start, end) to messages as lines of kind (standard output). end is clamped to
// data.size(); nothing outside data is read.
void hex_dump(message_sink& messages, std::span<const uint8_t> data, size_t end, size_t start = 0,
              message_kind kind = message_kind::notice);
void hex_dump_to(std::ostream& os, std::span<const uint8_t> data, size_t end, size_t start = 0);

}  // namespace repcopy
