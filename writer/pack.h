#pragma once
// Packing one serialized internal file into a packed item (layout in container/format.h).

#include <cstddef>
#include <cstdint>
#include <span>

#include "records/segment.h"
#include "util/message_sink.h"
#include "writer/write_options.h"

namespace repcopy {

// The classic output bound for an input of L bytes: 2L up to 512 bytes, else L; 0 becomes 512;
// above 1 MiB it grows by L / 1000. Computed in 32 bits.
uint32_t pack_bound(uint32_t length);

// The capacity a writer thread's reused buffer grows to for length bytes: length rounded up to a
// whole step of 256 KiB, so that growing a little costs no new block each time, while the
// buffer stays within a step of the largest need.
inline size_t grown_capacity(size_t length) {
  constexpr size_t kGrowthStep = size_t(256) << 10;
  return (length + kGrowthStep - 1) / kGrowthStep * kGrowthStep;
}

// The packed item's system byte: 11 for PlatformID 500, 3 for every other.
uint8_t packed_item_system(int32_t platform_id);

// Raw deflate of source into destination in one call, with the engine and level of options. On
// success returns 0 and sets compressed to the stream's length. On failure prints the
// diagnostics, saves source as a "bad-" file in the current directory and returns -1.
int32_t pack_internal_file(message_sink& messages, const write_options& options,
                           std::span<const uint8_t> source,
                           std::span<uint8_t> destination, size_t& compressed);

// Fills writer.packed with the packed item of data and sets header_length and packed_length
// (stream + trailer). Returns the header length, or 0 when compression failed (the item name is
// printed; writer.packed is then empty and must not be written).
uint32_t pack_item(message_sink& messages, const write_options& options, segment& writer,
                   std::span<const uint8_t> data);

}  // namespace repcopy
