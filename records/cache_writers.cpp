#include "records/cache_writers.h"

#include <algorithm>
#include <bit>

#include "compression/crc32.h"
#include "records/cache_key.h"
#include "records/record_layouts.h"
#include "util/prefetch.h"

namespace repcopy {

namespace {

using namespace record_file;

// The records each event may add, built from the event. The estimates count one per event (an
// upper bound: equal values are written once).
category_record category_of(const stored_event& e) {
  category_record r;
  r.name.text = e.category_name;
  r.category = uint16_t(e.category);
  r.event_id = e.event_id;
  return r;
}

std::u16string_view computer_name(const stored_event& e) {
  return e.computer.empty() ? e.host_computer : e.computer;
}

uint32_t computer_name_crc(const stored_event& e) {
  return e.computer.empty() ? e.host_computer_crc : e.computer_crc;
}

computer_record computer_of(const stored_event& e) {
  computer_record r;
  r.name.text = computer_name(e);
  r.time_offset = e.event_time - e.stored_time;
  return r;
}

user_record user_of(const stored_event& e) {
  user_record r;
  r.string1.text = e.user_string1;
  r.string2.text = e.user_string2;
  r.binary_length = uint32_t(e.user_binary.size());
  r.binary.bytes = e.user_binary;
  return r;
}

string_record string_of(std::u16string_view text) {
  string_record r;
  r.text.text = text;
  return r;
}

cache_key text_key(uint32_t crc, std::u16string_view text) {
  cache_key key;
  key.crc1 = crc;
  key.text1 = text;
  return key;
}

// Sets index, which holds the event's source record number on entry, to its target record:
// remembered from an earlier event of the same part, or else given by lookup() and remembered.
template <class Lookup>
void take_record(source_record_memo& memo, uint32_t part, uint32_t& index, Lookup&& lookup) {
  const uint32_t known = memo.find(part, index);
  if (known != source_record_memo::kNotFound) {
    index = known;
    return;
  }
  const uint32_t source_record = index;
  index = lookup();
  memo.remember(part, source_record, index);
}

// The tables of the five caches whose repeats the memo answers start for this many values and
// grow as values come: a batch holds a few per part, not one per event.
constexpr size_t kFirstMemoValues = 1024;

}  // namespace

// A new text's slot compares with the characters of the record just written (on a little-endian
// machine the same bytes as in memory), which lie close to the other distinct texts, rather than
// with the event's copy somewhere in the batch; after a hit the table moves on to the text that
// hit (text_index_map::find).
uint32_t text_record(text_index_map& map, span_writer& w, std::span<const uint8_t> out,
                     uint32_t crc, std::u16string_view text) {
  text_index_map::probe p;
  const uint32_t found = map.find(crc, text, p);
  if (found != text_index_map::kNotFound) return found;
  write_archive a(w);
  describe(a, string_of(text));
  const void* kept = text.data();
  if constexpr (std::endian::native == std::endian::little) {
    if (w.ok()) kept = out.data() + (w.pos() - text.size() * sizeof(char16_t));
  }
  return map.add(p, crc, text, kept);
}

uint32_t cat_cache::estimate_size(const event_batch& events) {
  uint64_t total = 0;
  for (const stored_event& e : events) total += record_size(category_of(e));
  return clamp_item_size(total);
}

uint32_t cat_cache::serialize(std::span<uint8_t> out, event_batch& events) {
  span_writer w(out);
  write_archive a(w);
  cache_index_map map(std::min(events.size(), kFirstMemoValues));
  source_record_memo memo;
  for (stored_event& e : events) {
    take_record(memo, e.source_part.serial, e.cat_index, [&] {
      cache_key key = text_key(e.category_name_crc, e.category_name);
      key.extra1 = uint16_t(e.category);
      key.extra2 = e.event_id;
      bool added = false;
      const uint32_t record = map.find_or_add(key, added);
      if (added) describe(a, category_of(e));
      return record;
    });
  }
  return w.item_length();
}

uint32_t comp_cache::estimate_size(const event_batch& events) {
  uint64_t total = 0;
  for (const stored_event& e : events) total += record_size(computer_of(e));
  return clamp_item_size(total);
}

uint32_t comp_cache::serialize(std::span<uint8_t> out, event_batch& events) {
  span_writer w(out);
  write_archive a(w);
  cache_index_map map(std::min(events.size(), kFirstMemoValues));
  source_record_memo memo;
  for (stored_event& e : events) {
    take_record(memo, e.source_part.serial, e.comp_index, [&] {
      const computer_record record = computer_of(e);
      cache_key key = text_key(computer_name_crc(e), computer_name(e));
      key.extra1 = record.time_offset;
      bool added = false;
      const uint32_t index = map.find_or_add(key, added);
      if (added) describe(a, record);
      return index;
    });
  }
  return w.item_length();
}

uint32_t desc_cache::estimate_size(const event_batch& events) {
  uint64_t total = 0;
  for (const stored_event& e : events) {
    if (!e.description.empty()) total += record_size(string_of(e.description));
  }
  return clamp_item_size(total);
}

uint32_t desc_cache::serialize(std::span<uint8_t> out, event_batch& events) {
  span_writer w(out);
  text_index_map map(std::min(events.size(), kFirstMemoValues));
  source_record_memo memo;
  for (stored_event& e : events) {
    if (e.description.empty()) {
      e.desc_index = kNoIndex;
      continue;
    }
    take_record(memo, e.source_part.serial, e.desc_index,
                [&] { return text_record(map, w, out, e.description_crc, e.description); });
  }
  return w.item_length();
}

uint32_t ins_cache::estimate_size(const event_batch& events) {
  // Each string's record is its text with a 4-byte count (string_record).
  constexpr uint64_t kCountBytes = record_size(string_record{});
  uint64_t total = 0;
  for (const stored_event& e : events) {
    total += kCountBytes * e.strings.size() + sizeof(char16_t) * e.string_text_units();
  }
  return clamp_item_size(total);
}

uint32_t ins_cache::serialize(std::span<uint8_t> out, event_batch& events) {
  span_writer w(out);
  // Sized for a few distinct strings an event (a third of all strings in real collections);
  // the table grows when a batch has more.
  text_index_map map(events.size() * 4);
  // Kept by the thread from batch to batch, with the room the largest part needed.
  thread_local part_string_memo memo;
  memo.start_batch();
  const size_t n = events.size();
  for (size_t i = 0; i < n; ++i) {
    // A string the memo does not know costs a table slot and, found there, a comparison of its
    // characters, and neither is in this thread's cache: ask for the memory of the events ahead
    // step by step (the event eight ahead, the rows of its strings four ahead, the characters
    // and slots of the strings the memo does not know yet two ahead), each step reading only
    // what an earlier one asked for, so that the waits overlap the work on the events before.
    if (i + 8 < n) prefetch(&events[i + 8].strings);
    if (i + 4 < n) prefetch_range(events[i + 4].strings.data(), events[i + 4].strings.size_bytes());
    if (i + 2 < n) {
      const stored_event& ahead = events[i + 2];
      const bool same_part = ahead.source_part.serial == memo.part();
      for (const stored_string& s : ahead.strings) {
        if (same_part && memo.find(s.cache_index) != part_string_memo::kNotFound) continue;
        prefetch_range(s.text.data(), s.text.size() * 2);
        prefetch(map.first_slot(s.crc, s.text.size()));
      }
    }
    memo.start_part(events[i].source_part.serial);
    for (stored_string& s : events[i].strings) {
      const uint32_t source_record = s.cache_index;
      const uint32_t known = memo.find(source_record);
      if (known != part_string_memo::kNotFound) {
        s.cache_index = known;
        continue;
      }
      s.cache_index = text_record(map, w, out, s.crc, s.text);
      memo.remember(source_record, s.cache_index);
    }
  }
  return w.item_length();
}

uint32_t src_cache::estimate_size(const event_batch& events) {
  uint64_t total = 0;
  for (const stored_event& e : events) total += record_size(string_of(e.src_name));
  return clamp_item_size(total);
}

uint32_t src_cache::serialize(std::span<uint8_t> out, event_batch& events) {
  span_writer w(out);
  text_index_map map(std::min(events.size(), kFirstMemoValues));
  source_record_memo memo;
  for (stored_event& e : events) {
    take_record(memo, e.source_part.serial, e.src_index,
                [&] { return text_record(map, w, out, e.src_name_crc, e.src_name); });
  }
  return w.item_length();
}

uint32_t user_cache::estimate_size(const event_batch& events) {
  uint64_t total = 0;
  for (const stored_event& e : events) total += record_size(user_of(e));
  return clamp_item_size(total);
}

uint32_t user_cache::serialize(std::span<uint8_t> out, event_batch& events) {
  span_writer w(out);
  write_archive a(w);
  cache_index_map map(std::min(events.size(), kFirstMemoValues));
  source_record_memo memo;
  for (stored_event& e : events) {
    take_record(memo, e.source_part.serial, e.user_index, [&] {
      cache_key key = text_key(e.user_string1_crc, e.user_string1);
      key.crc2 = e.user_string2_crc;
      key.text2 = e.user_string2;
      key.binary = e.user_binary;
      key.extra1 = e.user_binary.empty() ? 0 : crc32_of(e.user_binary.data(), e.user_binary.size());
      bool added = false;
      const uint32_t record = map.find_or_add(key, added);
      if (added) describe(a, user_of(e));
      return record;
    });
  }
  return w.item_length();
}

}  // namespace repcopy
