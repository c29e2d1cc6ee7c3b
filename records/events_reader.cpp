#include "records/events_reader.h"

#include "records/record_format.h"
#include "records/string_words.h"

namespace repcopy {

RepEventsBuffer::RepEventsBuffer(std::vector<uint8_t> data, uint64_t real_len)
    : RepPartBuffer(std::move(data), real_len, record_file::kEventsId) {}

bool RepEventsBuffer::walk_record(byte_reader& r, uint32_t& words) {
  const size_t start = r.pos();
  uint32_t data_length = 0;
  uint16_t slots = 0;
  if (!r.has(record_file::kEventsFixedSize) || !r.u32(data_length) ||
      !r.seek(start + record_file::kEventsSlotsOffset) || !r.u16(slots) ||
      !r.seek(start + record_file::kEventsWordsOffset)) {
    return false;
  }
  // Word 0 belongs to every record with slots; later words only while string_slots, read as a
  // signed 16-bit number, allows more than one, up to and including a TERMINATOR.
  const uint32_t limit = string_word_limit(slots);
  words = 0;
  while (words < limit) {
    uint32_t w = 0;
    if (!r.u32(w)) return false;
    ++words;
    if (w == TERMINATOR) break;
  }
  return r.skip(data_length);
}

uint64_t RepEventsBuffer::CountRecords() {
  byte_reader r(data_);
  while (!r.at_end()) {
    uint32_t words = 0;
    if (!walk_record(r, words)) return kWalkFailed;
    ++ulCount_;
  }
  return r.pos();
}

void RepEventsBuffer::ResizeIndex() {
  record_starts_.resize(ulCount_);
  word_counts_.resize(ulCount_);
}

void RepEventsBuffer::FillIndex() {
  byte_reader r(data_);
  for (uint32_t i = 0; i < ulCount_; ++i) {
    record_starts_[i] = uint32_t(r.pos());
    uint32_t words = 0;
    walk_record(r, words);
    word_counts_[i] = uint16_t(words);  // W never exceeds 32767
  }
}

uint32_t RepEventsBuffer::word_count(uint32_t i) const {
  return i < word_counts_.size() ? word_counts_[i] : 0;
}

events_record RepEventsBuffer::record(uint32_t i) const {
  events_record rec;
  if (i >= record_starts_.size()) return rec;
  byte_reader r(data_, record_starts_[i]);
  if (!r.u32(rec.data_length) || !r.u32(rec.src_index) || !r.u32(rec.cat_index) ||
      !r.u32(rec.comp_index) || !r.u32(rec.user_index) || !r.u32(rec.desc_index) ||
      !r.u16(rec.string_slots) || !r.u16(rec.strings_aux) || !r.u32(rec.stored_delta) ||
      !r.u32(rec.event_delta)) {
    return events_record{};
  }
  const uint32_t words = word_counts_[i];
  rec.words.resize(words);
  for (uint32_t j = 0; j < words; ++j) r.u32(rec.words[j]);
  r.bytes(rec.data_length, rec.data);
  return rec;
}

}  // namespace repcopy
