#include "records/cache_writers.h"

#include "records/cache_key.h"
#include "records/record_format.h"
#include "records/span_writer.h"
#include "util/crc32.h"

namespace repcopy {

namespace {

using namespace record_file;

uint64_t counted_size(const std::u16string& s) {
  return kCountedStringHeader + 2 * uint64_t(s.size());
}

cache_key text_key(uint32_t crc, const std::u16string& text) {
  cache_key key;
  key.crc1 = crc;
  key.text1 = &text;
  return key;
}

// The record number of a text in a cache of texts alone; a text seen for the first time is
// written as a new record.
uint32_t text_record(cache_index_map& map, span_writer& w, uint32_t crc,
                     const std::u16string& text) {
  bool added = false;
  const uint32_t index = map.find_or_add(text_key(crc, text), added);
  if (added) w.counted_utf16(text);
  return index;
}

const std::u16string& computer_name(const full_event& e) {
  return e.computer.empty() ? e.host_computer : e.computer;
}

uint32_t computer_name_crc(const full_event& e) {
  return e.computer.empty() ? e.host_computer_crc : e.computer_crc;
}

}  // namespace

uint32_t cat_cache::estimate_size(const event_batch& events) {
  uint64_t total = 0;
  for (const full_event& e : events) total += counted_size(e.category_name) + kCategoryExtra;
  return clamp_item_size(total);
}

uint32_t cat_cache::serialize(std::span<uint8_t> out, event_batch& events) {
  span_writer w(out);
  cache_index_map map(events.size());
  for (full_event& e : events) {
    cache_key key = text_key(e.category_name_crc, e.category_name);
    key.extra1 = uint16_t(e.category);
    key.extra2 = e.event_id;
    bool added = false;
    e.cat_index = map.find_or_add(key, added);
    if (added) {
      w.counted_utf16(e.category_name);
      w.u16(uint16_t(e.category));
      w.u16(kCategoryMarker);
      w.u32(e.event_id);
    }
  }
  return uint32_t(w.pos());
}

uint32_t comp_cache::estimate_size(const event_batch& events) {
  uint64_t total = 0;
  for (const full_event& e : events) total += counted_size(computer_name(e)) + kComputerExtra;
  return clamp_item_size(total);
}

uint32_t comp_cache::serialize(std::span<uint8_t> out, event_batch& events) {
  span_writer w(out);
  cache_index_map map(events.size());
  for (full_event& e : events) {
    const std::u16string& name = computer_name(e);
    const uint32_t time_offset = e.event_time - e.stored_time;
    cache_key key = text_key(computer_name_crc(e), name);
    key.extra1 = time_offset;
    bool added = false;
    e.comp_index = map.find_or_add(key, added);
    if (added) {
      w.counted_utf16(name);
      w.u32(time_offset);
    }
  }
  return uint32_t(w.pos());
}

uint32_t desc_cache::estimate_size(const event_batch& events) {
  uint64_t total = 0;
  for (const full_event& e : events) {
    if (!e.description.empty()) total += counted_size(e.description);
  }
  return clamp_item_size(total);
}

uint32_t desc_cache::serialize(std::span<uint8_t> out, event_batch& events) {
  span_writer w(out);
  cache_index_map map(events.size());
  for (full_event& e : events) {
    if (e.description.empty()) {
      e.desc_index = kNoIndex;
      continue;
    }
    e.desc_index = text_record(map, w, e.description_crc, e.description);
  }
  return uint32_t(w.pos());
}

uint32_t ins_cache::estimate_size(const event_batch& events) {
  uint64_t total = 0;
  for (const full_event& e : events) {
    for (const insertion_string& s : e.strings) total += counted_size(s.text);
  }
  return clamp_item_size(total);
}

uint32_t ins_cache::serialize(std::span<uint8_t> out, event_batch& events) {
  span_writer w(out);
  size_t strings = 0;
  for (const full_event& e : events) strings += e.strings.size();
  cache_index_map map(strings);
  for (full_event& e : events) {
    for (insertion_string& s : e.strings) s.cache_index = text_record(map, w, s.crc, s.text);
  }
  return uint32_t(w.pos());
}

uint32_t src_cache::estimate_size(const event_batch& events) {
  uint64_t total = 0;
  for (const full_event& e : events) total += counted_size(e.src_name);
  return clamp_item_size(total);
}

uint32_t src_cache::serialize(std::span<uint8_t> out, event_batch& events) {
  span_writer w(out);
  cache_index_map map(events.size());
  for (full_event& e : events) {
    e.src_index = text_record(map, w, e.src_name_crc, e.src_name);
  }
  return uint32_t(w.pos());
}

uint32_t user_cache::estimate_size(const event_batch& events) {
  uint64_t total = 0;
  for (const full_event& e : events) {
    total += counted_size(e.user_string1) + counted_size(e.user_string2) + 4 + e.user_binary.size();
  }
  return clamp_item_size(total);
}

uint32_t user_cache::serialize(std::span<uint8_t> out, event_batch& events) {
  span_writer w(out);
  cache_index_map map(events.size());
  for (full_event& e : events) {
    cache_key key = text_key(e.user_string1_crc, e.user_string1);
    key.crc2 = e.user_string2_crc;
    key.text2 = &e.user_string2;
    key.binary = &e.user_binary;
    key.extra1 = e.user_binary.empty() ? 0 : crc32_of(e.user_binary.data(), e.user_binary.size());
    bool added = false;
    e.user_index = map.find_or_add(key, added);
    if (added) {
      w.counted_utf16(e.user_string1);
      w.counted_utf16(e.user_string2);
      w.u32(uint32_t(e.user_binary.size()));
      w.bytes(e.user_binary);
    }
  }
  return uint32_t(w.pos());
}

}  // namespace repcopy
