#pragma once
// Writers of the six string caches (layouts in records/record_format.h). Each scans the batch in
// order, writes every distinct value once in order of first appearance, and stores the value's
// record number in the event (cat_index, comp_index, desc_index, each insertion string's
// cache_index, src_index, user_index) for events_dat to copy. Strings are written with all
// their code units as they are. An event read from a part comes with that part's record numbers
// in those members, and the writers of the category, computer, description, source and user
// caches look a value up once per part and source record (source_record_memo).

#include <cstdint>
#include <span>
#include <string_view>

#include "records/cache_key.h"
#include "records/record_format.h"
#include "records/segment.h"

namespace repcopy {

// Category record per distinct (name, category, EventID).
class cat_cache : public segment {
 public:
  cat_cache() : segment(record_file::kCatId) {}
  uint32_t estimate_size(const event_batch& events) override;
  uint32_t serialize(std::span<uint8_t> out, event_batch& events) override;
};

// Computer record per distinct (name, time offset); the name is computer, or host_computer
// when the event has none.
class comp_cache : public segment {
 public:
  comp_cache() : segment(record_file::kCompId) {}
  uint32_t estimate_size(const event_batch& events) override;
  uint32_t serialize(std::span<uint8_t> out, event_batch& events) override;
};

// Non-empty descriptions; an empty one gets desc_index kNoIndex and no record.
class desc_cache : public segment {
 public:
  desc_cache() : segment(record_file::kDescId) {}
  uint32_t estimate_size(const event_batch& events) override;
  uint32_t serialize(std::span<uint8_t> out, event_batch& events) override;
};

// Every insertion string of every event.
class ins_cache : public segment {
 public:
  ins_cache() : segment(record_file::kInsId) {}
  uint32_t estimate_size(const event_batch& events) override;
  uint32_t serialize(std::span<uint8_t> out, event_batch& events) override;
};

class src_cache : public segment {
 public:
  src_cache() : segment(record_file::kSrcId) {}
  uint32_t estimate_size(const event_batch& events) override;
  uint32_t serialize(std::span<uint8_t> out, event_batch& events) override;
};

// User record per distinct (string 1, string 2, binary value); the binary value is written.
class user_cache : public segment {
 public:
  user_cache() : segment(record_file::kUserId) {}
  uint32_t estimate_size(const event_batch& events) override;
  uint32_t serialize(std::span<uint8_t> out, event_batch& events) override;
};

// The record number of a text in a cache of texts alone (map); a text seen for the first time is
// written through w as a new record. out is the area w writes into.
uint32_t text_record(text_index_map& map, span_writer& w, std::span<const uint8_t> out,
                     uint32_t crc, std::u16string_view text);

// An item length as u32; a sum that does not fit is clamped (the item cannot be stored then:
// its writer runs out of room and reports kItemOverflow).
inline uint32_t clamp_item_size(uint64_t size) {
  return size > UINT32_MAX ? UINT32_MAX : uint32_t(size);
}

}  // namespace repcopy
