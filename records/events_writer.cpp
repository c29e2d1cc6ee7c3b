#include "records/events_writer.h"

#include "records/cache_writers.h"
#include "records/record_format.h"
#include "records/span_writer.h"
#include "records/string_words.h"
#include "util/fatal.h"

namespace repcopy {

namespace {

// Writes the string words of e and returns how many were written.
uint32_t write_string_words(span_writer& w, const full_event& e) {
  uint32_t written = 0;
  uint32_t gap = 0;
  for (size_t k = 0; k < e.strings.size(); ++k) {
    const insertion_string& s = e.strings[k];
    const uint32_t position = s.ordinal - 1;
    if (position == uint32_t(k) + gap) {
      w.u32(s.cache_index);
      written += 1;
    } else {
      w.u32(s.cache_index | EXPLICIT_FLAG);
      w.u32(position);
      written += 2;
      gap = position - uint32_t(k);
    }
  }
  // A reader takes words until string_slots or a TERMINATOR; end the array where ours ends.
  if (written < string_word_limit(e.string_slots)) {
    w.u32(TERMINATOR);
    written += 1;
  }
  return written;
}

}  // namespace

uint32_t events_dat::estimate_size(const event_batch& events) {
  uint64_t total = 0;
  for (const full_event& e : events) {
    total += record_file::kEventsFixedSize + 4 * uint64_t(RealIndexCount(e)) + e.data.size();
  }
  return clamp_item_size(total);
}

uint32_t events_dat::serialize(std::span<uint8_t> out, event_batch& events) {
  span_writer w(out);
  uint32_t previous_stored = 0;
  uint32_t previous_event = 0;
  for (const full_event& e : events) {
    w.u32(uint32_t(e.data.size()));
    w.u32(e.src_index);
    w.u32(e.cat_index);
    w.u32(e.comp_index);
    w.u32(e.user_index);
    w.u32(e.desc_index);
    w.u16(e.string_slots);
    w.u16(e.strings_aux);
    w.u32(e.stored_time - previous_stored);
    w.u32(e.event_time - previous_event);
    previous_stored = e.stored_time;
    previous_event = e.event_time;

    const uint32_t written = write_string_words(w, e);
    if (written != RealIndexCount(e) || written > string_word_limit(e.string_slots)) {
      fatal_stop("error: jr + 1 != RealIndexCount\n");
    }
    w.bytes(e.data);
  }
  return uint32_t(w.pos());
}

}  // namespace repcopy
