#pragma once
// Writer of 0_events.dat (layout in records/record_format.h, word array in
// records/string_words.h). Runs after the cache writers, whose record numbers it copies from the
// events. Times are delta-coded against the previous event of the batch (modulo 2^32); the first
// record holds absolute times.

#include <cstdint>
#include <span>

#include "records/record_format.h"
#include "records/segment.h"

namespace repcopy {

class events_dat : public segment {
 public:
  events_dat() : segment(record_file::kEventsId) {}
  // The exact item length, counted by the events record description.
  uint32_t estimate_size(const event_batch& events) override;
  // A fatal stop (fatal_error "error: jr + 1 != RealIndexCount\n") when the words written for an
  // event are not the words a reader will take for it (only possible for an event holding more
  // strings than its string_slots allow).
  uint32_t serialize(std::span<uint8_t> out, event_batch& events) override;
};

}  // namespace repcopy
