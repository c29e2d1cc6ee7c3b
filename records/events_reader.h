#pragma once
// Reader of 0_events.dat (layout in records/record_format.h, word array in
// records/string_words.h, description events_layout in records/record_layouts.h). The walk checks
// each record's fixed 36 bytes, each string word and the data before reading them, so Load fails
// on a record that is cut short or claims more than the item holds.
//
// The index keeps the record starts (RepPartBuffer::record_starts_); record(i) reads the record
// back with the same description, words() its string words.

#include <cstdint>
#include <vector>

#include "records/record_layouts.h"
#include "records/rep_buffer.h"

namespace repcopy {

class RepEventsBuffer : public RepPartBuffer {
 public:
  RepEventsBuffer(byte_buffer data, uint64_t real_len);

  // Record i (< ulCount()) after a successful Load, its data a run inside the buffer; an empty
  // record otherwise.
  events_layout record(uint32_t i) const;
  // The string words of a record of this buffer (cleared first, its memory reused).
  void words(const events_layout& r, std::vector<uint32_t>& out) const;

 protected:
  bool WalkRecords() override;
};

}  // namespace repcopy
