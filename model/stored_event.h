#pragma once
// stored_event: an event as it waits in a batch for its writer. It holds what a full_event holds,
// but its strings, binary values and insertion-string and named-field tables all live in one heap
// block of its own, so storing an event costs one allocation instead of one per field, and
// freeing a written batch costs one free per event. Fields keep full_event's names; texts are
// views and tables are spans into the block. The writers set the cache record numbers (the *_index
// members of the event, its strings and its fields) while they serialize.
//
// Move-only: the views point into the block, which moves with the event.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "model/full_event.h"

namespace repcopy {

struct stored_string {
  uint32_t ordinal = 0;
  uint32_t crc = 0;
  uint32_t cache_index = 0;
  std::u16string_view text;
};

struct stored_field {
  uint32_t name_crc = 0;
  uint32_t value_crc = 0;
  uint32_t name_index = 0;
  uint32_t value_index = 0;
  std::u16string_view name;
  std::u16string_view value;
};

struct stored_event {
  stored_event() = default;
  // Copies every field of the event into one block.
  explicit stored_event(const full_event& e);
  stored_event(stored_event&&) noexcept = default;
  stored_event& operator=(stored_event&&) noexcept = default;

  // The full_event with the same content (for tests and tools).
  full_event to_full_event() const;
  // Bytes of memory the event holds: the record (a heap block of its own in a batch) and its
  // block, each with the allocator's overhead. The copy bounds batches and queues with it.
  static constexpr uint64_t kBlockOverhead = 16;
  uint64_t bytes() const {
    return sizeof(stored_event) + kBlockOverhead + (block_size_ ? block_size_ + kBlockOverhead : 0);
  }

  uint32_t origin_flag = 0;
  std::u16string_view host_computer;
  uint32_t host_computer_crc = 0;
  uint32_t platform_id = 0;
  uint32_t os_major = 0;
  uint32_t os_minor = 0;
  std::u16string_view under_data_source;
  uint32_t record_key = 0;
  std::u16string_view computer;
  uint32_t computer_crc = 0;
  std::u16string_view user_string1;
  uint32_t user_string1_crc = 0;
  std::u16string_view user_string2;
  uint32_t user_string2_crc = 0;
  uint32_t category = 0;
  std::u16string_view src_name;
  uint32_t src_name_crc = 0;
  uint32_t event_id = 0;
  std::u16string_view category_name;
  uint32_t category_name_crc = 0;
  uint32_t event_time = 0;
  uint32_t stored_time = 0;
  std::u16string_view domain;
  uint32_t computer_type = 0;
  std::span<const uint8_t> user_binary;
  uint32_t record_sum = 0;
  std::u16string_view description;
  uint32_t description_crc = 0;
  std::span<const uint8_t> data;
  uint16_t string_slots = 0;
  uint16_t strings_aux = 0;
  uint32_t string_count = 0;
  std::span<stored_string> strings;
  uint32_t named_count = 0;
  std::span<stored_field> named_fields;
  uint32_t src_index = 0;
  uint32_t cat_index = 0;
  uint32_t comp_index = 0;
  uint32_t user_index = 0;
  uint32_t desc_index = 0;
  source_file_ref source_file;

 private:
  // Tables first (they need pointer alignment), then binary values, then texts.
  std::unique_ptr<std::byte[]> block_;
  size_t block_size_ = 0;
};

}  // namespace repcopy
