#pragma once
// segment: the writer of one internal file of a repository file, made by create_segment for a
// Buffer ID (records/record_format.h). create_repository_file runs the fifteen writers, asks each
// for an upper bound of its item (estimate_size), lets it serialize the batch into an area of that
// size, and packs the result. The cache writers store cache record numbers into the
// events and 0_events.dat and 0_nfields.dat read them, so the calling order matters
// (writer/file_layout.h).

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "model/storage_item.h"
#include "records/span_writer.h"
#include "util/byte_buffer.h"

namespace repcopy {

class segment {
 public:
  explicit segment(int32_t buffer_id);
  virtual ~segment() = default;
  segment(const segment&) = delete;
  segment& operator=(const segment&) = delete;

  // Upper bound of the item's unpacked length; 0 exactly when the item is empty.
  virtual uint32_t estimate_size(const event_batch& events) = 0;
  // Writes the item into out (estimate_size bytes; empty when the estimate is 0) and returns its
  // exact length, or kItemOverflow when it would not fit. out holds whatever it held before
  // (the area is never cleared), so every byte of the item is written, zeros included.
  virtual uint32_t serialize(std::span<uint8_t> out, event_batch& events) = 0;

  const int32_t buffer_id;
  const char* item_name;                // e.g. "0_cat.cache", in the packed item header
  const std::u16string wide_item_name;  // the same, for the part table
  uint64_t unpacked_length = 0;         // result of serialize
  uint64_t item_offset = 0;             // where the packed item starts in the file
  uint64_t packed_length = 0;           // compressed stream plus 8 trailer bytes
  uint32_t header_length = 0;           // packed item header length
  byte_buffer packed;                   // the packed item
  int32_t platform_id = -1;             // the file's PlatformID, set before estimate_size
};

// A new writer of the internal file with this Buffer ID. Any other number is a fatal stop
// (fatal_error "Unknown  id: " and the number).
std::unique_ptr<segment> create_segment(int32_t buffer_id);

}  // namespace repcopy
