#include "records/events_writer.h"

#include <vector>

#include "records/cache_writers.h"
#include "records/record_layouts.h"
#include "records/string_words.h"
#include "util/fatal.h"
#include "util/prefetch.h"

namespace repcopy {

namespace {

// The string words of e into words (cleared first).
void string_words_of(const stored_event& e, std::vector<uint32_t>& words) {
  words.clear();
  uint32_t gap = 0;
  for (size_t k = 0; k < e.strings.size(); ++k) {
    const stored_string& s = e.strings[k];
    const uint32_t position = s.ordinal - 1;
    if (position == uint32_t(k) + gap) {
      words.push_back(s.cache_index);
    } else {
      words.push_back(s.cache_index | EXPLICIT_FLAG);
      words.push_back(position);
      gap = position - uint32_t(k);
    }
  }
  // A reader takes words until string_slots or a TERMINATOR; end the array where ours ends.
  if (words.size() < string_word_limit(e.string_slots)) words.push_back(TERMINATOR);
}

// The record of e; its words live in words, its data in e.
events_layout record_of(const stored_event& e, const std::vector<uint32_t>& words,
                        uint32_t previous_stored, uint32_t previous_event) {
  events_layout r;
  r.data_length = uint32_t(e.data.size());
  r.src_index = e.src_index;
  r.cat_index = e.cat_index;
  r.comp_index = e.comp_index;
  r.user_index = e.user_index;
  r.desc_index = e.desc_index;
  r.string_slots = e.string_slots;
  r.strings_aux = e.strings_aux;
  r.stored_delta = e.stored_time - previous_stored;
  r.event_delta = e.event_time - previous_event;
  r.words.words = words;
  r.data.bytes = e.data;
  return r;
}

}  // namespace

uint32_t events_dat::estimate_size(const event_batch& events) {
  // A record's size is its size without words plus four bytes a word, and RealIndexCount
  // counts the words without building them.
  uint64_t total = 0;
  const std::vector<uint32_t> no_words;
  for (const stored_event& e : events) {
    total += record_size(record_of(e, no_words, 0, 0)) + 4 * uint64_t(RealIndexCount(e));
  }
  return clamp_item_size(total);
}

uint32_t events_dat::serialize(std::span<uint8_t> out, event_batch& events) {
  span_writer w(out);
  write_archive a(w);
  std::vector<uint32_t> words;
  uint32_t previous_stored = 0;
  uint32_t previous_event = 0;
  const size_t n = events.size();
  for (size_t i = 0; i < n; ++i) {
    // The event eight ahead, the rows of the strings four ahead (util/prefetch.h).
    if (i + 8 < n) prefetch(&events[i + 8].strings);
    if (i + 4 < n) prefetch_range(events[i + 4].strings.data(), events[i + 4].strings.size_bytes());
    const stored_event& e = events[i];
    string_words_of(e, words);
    // (words.size() is RealIndexCount(e), counted by the same rule.)
    if (words.size() > string_word_limit(e.string_slots)) {
      fatal_stop("error: jr + 1 != RealIndexCount\n");
    }
    describe(a, record_of(e, words, previous_stored, previous_event));
    previous_stored = e.stored_time;
    previous_event = e.event_time;
  }
  return w.item_length();
}

}  // namespace repcopy
