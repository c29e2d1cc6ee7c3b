#include "records/events_reader.h"

#include "records/record_format.h"

namespace repcopy {

RepEventsBuffer::RepEventsBuffer(byte_buffer data, uint64_t real_len)
    : RepPartBuffer(std::move(data), real_len, record_file::kEventsId) {}

bool RepEventsBuffer::WalkRecords() { return walk_starts<events_layout>(); }

events_layout RepEventsBuffer::record(uint32_t i) const {
  return record_at<events_layout>(i).value_or(events_layout{});
}

void RepEventsBuffer::words(const events_layout& r, std::vector<uint32_t>& out) const {
  out.resize(r.words.count);
  byte_reader words(data_, r.words.at);
  for (uint32_t& w : out) words.u32(w);
}

}  // namespace repcopy
