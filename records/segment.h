#pragma once
// segment: the writer of one internal file of a repository file. create_repository_file makes
// the fifteen writers in their fixed positions, asks each for an upper bound of its item
// (estimate_size), lets it serialize the batch into a zero-filled area of that size, and packs
// the result. Writers at positions 0 to 5 and 12, 13 store cache record numbers into the events;
// later writers read them, so the calling order matters.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "model/storage_item.h"

namespace repcopy {

class segment {
 public:
  segment(const char* item_name, const char16_t* wide_item_name)
      : item_name(item_name), wide_item_name(wide_item_name) {}
  virtual ~segment() = default;
  segment(const segment&) = delete;
  segment& operator=(const segment&) = delete;

  // Upper bound of the item's unpacked length; 0 exactly when the item is empty.
  virtual uint32_t estimate_size(const event_batch& events) = 0;
  // Writes the item into out (zero-filled, estimate_size bytes; empty when the estimate is 0)
  // and returns its exact length.
  virtual uint32_t serialize(std::span<uint8_t> out, event_batch& events) = 0;

  const char* item_name;           // e.g. "0_cat.cache", in the packed item header
  const char16_t* wide_item_name;  // the same, for the part table
  uint64_t unpacked_length = 0;    // result of serialize
  uint64_t item_offset = 0;        // where the packed item starts in the file
  uint64_t packed_length = 0;      // compressed stream plus 8 trailer bytes
  uint32_t header_length = 0;      // packed item header length
  std::vector<uint8_t> packed;     // the packed item
  int32_t platform_id = -1;        // the file's PlatformID, set before estimate_size
};

inline constexpr int kSegmentCount = 15;

// A new writer of the class of a position 0 to 14. Any other position prints "Unknown  id: "
// and the position, and ends the process with exit code -1.
std::unique_ptr<segment> create_segment(int position);

}  // namespace repcopy
