#pragma once
// The diagnostic hex dump printed by every reader of repository files: a rule line, one line per
// 16-byte row from start/16 to end/16 inclusive (offset, hex columns, text column at 61), and a
// closing rule line, all on standard output.

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <span>

namespace repcopy {

// A range longer than 2 x kHexDumpEdge bytes shows only its first and last kHexDumpEdge bytes,
// with a line between them naming the bytes left out and a closing line with the range's length:
// a damaged file of hundreds of megabytes must not flood the console.
inline constexpr size_t kHexDumpEdge = 256;

// Dumps data[start, end). end is clamped to data.size(); nothing outside data is read.
void hex_dump(std::span<const uint8_t> data, size_t end, size_t start = 0);
void hex_dump_to(std::ostream& os, std::span<const uint8_t> data, size_t end, size_t start = 0);

}  // namespace repcopy
