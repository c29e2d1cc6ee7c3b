#pragma once
// full_event: the record in which a source builds an event, by joining an events record with
// its caches. The copy packs it into a stored_event (model/stored_event.h), the form in which the
// event storage batches it and the writers of a target file serialize it again. Every string
// carries its CRC-32 (over its UTF-16LE bytes, 0 for an empty string) so that writers can
// deduplicate by CRC and length. Plain value type: deep copy, cheap move.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace repcopy {

inline constexpr uint32_t kNoIndex = 0xFFFFFFFF;

struct insertion_string {
  uint32_t ordinal = 0;  // one-based slot number
  std::u16string text;
  uint32_t crc = 0;
  uint32_t cache_index = 0;  // record number in "0_ins.cache", set by the writer
  bool operator==(const insertion_string&) const = default;
};

struct named_field {
  std::u16string name;
  std::u16string value;
  uint32_t name_crc = 0;
  uint32_t value_crc = 0;
  uint32_t name_index = 0;   // record number in "0_nf_names.cache"
  uint32_t value_index = 0;  // record number in "0_nf_values.cache"
  bool operator==(const named_field&) const = default;
};

// The repository file an event was read from (its native path), so that a batch that cannot be
// written can name the files whose events it held. Not part of the event's content: it compares
// equal always and no writer serializes it.
struct source_file_ref {
  std::shared_ptr<const std::string> path;
  bool operator==(const source_file_ref&) const { return true; }
};

struct full_event {
  uint32_t origin_flag = 0;
  std::u16string host_computer;  // upper-cased computer or host name of the source file
  uint32_t host_computer_crc = 0;
  uint32_t platform_id = 0;
  uint32_t os_major = 0;
  uint32_t os_minor = 0;
  std::u16string under_data_source;
  uint32_t record_key = 0;
  std::u16string computer;  // the event's own computer name (computer cache)
  uint32_t computer_crc = 0;
  std::u16string user_string1;
  uint32_t user_string1_crc = 0;
  std::u16string user_string2;
  uint32_t user_string2_crc = 0;
  uint32_t category = 0;  // 16-bit value
  std::u16string src_name;
  uint32_t src_name_crc = 0;
  uint32_t event_id = 0;
  std::u16string category_name;
  uint32_t category_name_crc = 0;
  uint32_t event_time = 0;   // seconds since 1970 UTC
  uint32_t stored_time = 0;  // event_time - time_offset of the computer record
  std::u16string domain;
  uint32_t computer_type = 0;
  std::vector<uint8_t> user_binary;
  // The running sum of the events file's event-time deltas up to this record: the event time as
  // the file codes it. Kept for completeness; the time used is event_time, and the writer codes
  // its deltas from event_time again.
  uint32_t record_sum = 0;
  std::u16string description;
  uint32_t description_crc = 0;
  std::vector<uint8_t> data;
  uint16_t string_slots = 0;
  uint16_t strings_aux = 0;
  uint32_t string_count = 0;
  std::vector<insertion_string> strings;
  uint32_t named_count = 0;
  std::vector<named_field> named_fields;
  // Cache record numbers; kNoIndex means none (except comp_index, always valid). A constructed
  // event has every number 0, as the reader fills them all.
  uint32_t src_index = 0;
  uint32_t cat_index = 0;
  uint32_t comp_index = 0;
  uint32_t user_index = 0;
  uint32_t desc_index = 0;
  source_file_ref source_file;

  // Back to the constructed state (the copy driver reuses one event).
  void reset() { *this = full_event{}; }
  bool operator==(const full_event&) const = default;
};

}  // namespace repcopy
