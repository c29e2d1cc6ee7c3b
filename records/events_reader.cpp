#include "records/events_reader.h"

#include "records/record_format.h"

namespace repcopy {

RepEventsBuffer::RepEventsBuffer(std::vector<uint8_t> data, uint64_t real_len)
    : RepPartBuffer(std::move(data), real_len, record_file::kEventsId) {}

bool RepEventsBuffer::WalkRecords() {
  return walk_each<events_layout>([this](uint32_t start, const events_layout& r) {
    record_starts_.push_back(start);
    word_counts_.push_back(uint16_t(r.words.count));  // W never exceeds 32767
  });
}

void RepEventsBuffer::ClearIndex() {
  RepPartBuffer::ClearIndex();
  word_counts_ = {};
}

uint32_t RepEventsBuffer::word_count(uint32_t i) const {
  return i < word_counts_.size() ? word_counts_[i] : 0;
}

events_record RepEventsBuffer::record(uint32_t i) const {
  const std::optional<events_layout> layout = record_at<events_layout>(i);
  if (!layout) return {};
  const events_layout& r = *layout;
  events_record rec;
  rec.data_length = r.data_length;
  rec.src_index = r.src_index;
  rec.cat_index = r.cat_index;
  rec.comp_index = r.comp_index;
  rec.user_index = r.user_index;
  rec.desc_index = r.desc_index;
  rec.string_slots = r.string_slots;
  rec.strings_aux = r.strings_aux;
  rec.stored_delta = r.stored_delta;
  rec.event_delta = r.event_delta;
  rec.words.resize(r.words.count);
  byte_reader words(data_, r.words.at);
  for (uint32_t& w : rec.words) words.u32(w);
  rec.data = r.data.bytes;
  return rec;
}

}  // namespace repcopy
