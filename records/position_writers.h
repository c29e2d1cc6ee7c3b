#pragma once
// Writers of the files that describe a segment by position (0_record.keys, 0_first.pos,
// 0_last.pos) and of the two filter files (filter.dat, filters.stat). Layouts in
// records/record_format.h.

#include <cstdint>
#include <span>

#include "records/record_format.h"
#include "records/segment.h"

namespace repcopy {

// (record_key, event_time) per event.
class record_keys : public segment {
 public:
  record_keys() : segment(record_file::kRecordKeysId) {}
  uint32_t estimate_size(const event_batch& events) override;
  uint32_t serialize(std::span<uint8_t> out, event_batch& events) override;
};

// The first event: its event_time, record_key, the FILETIME of that time, and its OS version.
class first_pos : public segment {
 public:
  first_pos() : segment(record_file::kFirstPosId) {}
  uint32_t estimate_size(const event_batch& events) override;
  uint32_t serialize(std::span<uint8_t> out, event_batch& events) override;
};

// The last event's stored_time, record_key and the FILETIME of that time; the OS version of
// the first event.
class last_pos : public segment {
 public:
  last_pos() : segment(record_file::kLastPosId) {}
  uint32_t estimate_size(const event_batch& events) override;
  uint32_t serialize(std::span<uint8_t> out, event_batch& events) override;
};

// Always empty.
class filter_dat : public segment {
 public:
  filter_dat() : segment(record_file::kFilterDatId) {}
  uint32_t estimate_size(const event_batch& events) override;
  uint32_t serialize(std::span<uint8_t> out, event_batch& events) override;
};

// Number of events and the event_time of the last one.
class filters_stat : public segment {
 public:
  filters_stat() : segment(record_file::kFilterStatId) {}
  uint32_t estimate_size(const event_batch& events) override;
  uint32_t serialize(std::span<uint8_t> out, event_batch& events) override;
};

}  // namespace repcopy
