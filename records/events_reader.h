#pragma once
// Reader of 0_events.dat (layout in records/record_format.h, word array in
// records/string_words.h, description events_layout in records/record_layouts.h). The walk checks
// each record's fixed 36 bytes, each string word and the data before reading them, so Load fails
// on a record that is cut short or claims more than the item holds.
//
// The index keeps the record start (RepPartBuffer::record_starts_) and the word count W;
// record(i) reads the record back with the same description.

#include <cstdint>
#include <vector>

#include "records/rep_buffer.h"

namespace repcopy {

struct events_record {
  uint32_t data_length = 0;
  uint32_t src_index = 0;
  uint32_t cat_index = 0;
  uint32_t comp_index = 0;
  uint32_t user_index = 0;
  uint32_t desc_index = 0;
  uint16_t string_slots = 0;
  uint16_t strings_aux = 0;
  uint32_t stored_delta = 0;    // stored_time minus that of the previous record (mod 2^32)
  uint32_t event_delta = 0;     // event_time minus that of the previous record (mod 2^32)
  std::vector<uint32_t> words;  // the W string words
  byte_span data;               // data_length bytes inside the buffer
};

class RepEventsBuffer : public RepPartBuffer {
 public:
  RepEventsBuffer(std::vector<uint8_t> data, uint64_t real_len);

  // Record i (< ulCount()) after a successful Load; an empty record otherwise.
  events_record record(uint32_t i) const;
  // W of record i.
  uint32_t word_count(uint32_t i) const;

 protected:
  bool WalkRecords() override;
  void ClearIndex() override;

 private:
  std::vector<uint16_t> word_counts_;
};

}  // namespace repcopy
