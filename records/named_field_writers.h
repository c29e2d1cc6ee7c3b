#pragma once
// Writers of the named-field files. The two caches store each distinct field name (value) once
// and put its record number into the field's name_index (value_index); 0_nfields.dat then lists
// per event its (name_index, value_index) pairs. All three estimate 0, and so are left out of
// the file, when no event of the batch has a named field.

#include <cstdint>
#include <span>

#include "records/record_format.h"
#include "records/segment.h"

namespace repcopy {

class nf_names_cache : public segment {
 public:
  nf_names_cache() : segment(record_file::kNfNamesId) {}
  uint32_t estimate_size(const event_batch& events) override;
  uint32_t serialize(std::span<uint8_t> out, event_batch& events) override;
};

class nf_values_cache : public segment {
 public:
  nf_values_cache() : segment(record_file::kNfValuesId) {}
  uint32_t estimate_size(const event_batch& events) override;
  uint32_t serialize(std::span<uint8_t> out, event_batch& events) override;
};

// One field list record per event, also for events without fields (F = 0). The estimate is 4
// bytes more than the item needs.
class nfields_dat : public segment {
 public:
  nfields_dat() : segment(record_file::kNfieldsId) {}
  uint32_t estimate_size(const event_batch& events) override;
  uint32_t serialize(std::span<uint8_t> out, event_batch& events) override;
};

}  // namespace repcopy
