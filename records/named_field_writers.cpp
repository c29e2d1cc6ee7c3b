#include "records/named_field_writers.h"

#include "records/cache_key.h"
#include "records/cache_writers.h"
#include "records/record_format.h"
#include "records/span_writer.h"

namespace repcopy {

namespace {

using namespace record_file;

// Σ over all named fields of the counted string chosen by part.
template <class Part>
uint64_t fields_size(const event_batch& events, Part part) {
  uint64_t total = 0;
  for (const full_event& e : events) {
    for (const named_field& f : e.named_fields) {
      total += kCountedStringHeader + 2 * uint64_t((f.*part).size());
    }
  }
  return total;
}

size_t field_count(const event_batch& events) {
  size_t n = 0;
  for (const full_event& e : events) n += e.named_fields.size();
  return n;
}

// Writes one cache of named-field strings; text, crc and index select the field's members.
uint32_t write_field_cache(std::span<uint8_t> out, event_batch& events,
                           std::u16string named_field::*text, uint32_t named_field::*crc,
                           uint32_t named_field::*index) {
  span_writer w(out);
  cache_index_map map(field_count(events));
  for (full_event& e : events) {
    for (named_field& f : e.named_fields) {
      cache_key key;
      key.crc1 = f.*crc;
      key.text1 = &(f.*text);
      bool added = false;
      f.*index = map.find_or_add(key, added);
      if (added) w.counted_utf16(f.*text);
    }
  }
  return uint32_t(w.pos());
}

}  // namespace

uint32_t nf_names_cache::estimate_size(const event_batch& events) {
  return clamp_item_size(fields_size(events, &named_field::name));
}

uint32_t nf_names_cache::serialize(std::span<uint8_t> out, event_batch& events) {
  if (out.empty()) return 0;
  return write_field_cache(out, events, &named_field::name, &named_field::name_crc,
                           &named_field::name_index);
}

uint32_t nf_values_cache::estimate_size(const event_batch& events) {
  return clamp_item_size(fields_size(events, &named_field::value));
}

uint32_t nf_values_cache::serialize(std::span<uint8_t> out, event_batch& events) {
  if (out.empty()) return 0;
  return write_field_cache(out, events, &named_field::value, &named_field::value_crc,
                           &named_field::value_index);
}

uint32_t nfields_dat::estimate_size(const event_batch& events) {
  if (field_count(events) == 0) return 0;
  uint64_t total = 4;
  for (const full_event& e : events) {
    total += 4 + uint64_t(kFieldPairSize) * e.named_fields.size();
  }
  return clamp_item_size(total);
}

uint32_t nfields_dat::serialize(std::span<uint8_t> out, event_batch& events) {
  if (out.empty()) return 0;
  span_writer w(out);
  for (const full_event& e : events) {
    w.u32(uint32_t(e.named_fields.size()));
    for (const named_field& f : e.named_fields) {
      w.u32(f.name_index);
      w.u32(f.value_index);
    }
  }
  return uint32_t(w.pos());
}

}  // namespace repcopy
