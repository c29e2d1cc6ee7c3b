#include "records/named_field_writers.h"

#include "records/cache_key.h"
#include "records/cache_writers.h"
#include "records/record_layouts.h"

namespace repcopy {

namespace {

string_record string_of(std::u16string_view text) {
  string_record r;
  r.text.text = text;
  return r;
}

field_list_record field_list_of(const stored_event& e) {
  field_list_record r;
  r.count = uint32_t(e.named_fields.size());
  r.pairs.fields = e.named_fields;
  return r;
}

// Σ over all named fields of the string record of the part chosen by text.
uint64_t fields_size(const event_batch& events, row_text stored_field::*text) {
  uint64_t total = 0;
  for (const stored_event& e : events) {
    for (const stored_field& f : e.named_fields) total += record_size(string_of(f.*text));
  }
  return total;
}

size_t field_count(const event_batch& events) {
  size_t n = 0;
  for (const stored_event& e : events) n += e.named_fields.size();
  return n;
}

// Writes one cache of named-field strings; text, crc and index select the field's members.
uint32_t write_field_cache(std::span<uint8_t> out, event_batch& events,
                           row_text stored_field::*text, uint32_t stored_field::*crc,
                           uint32_t stored_field::*index) {
  span_writer w(out);
  text_index_map map(field_count(events));
  for (stored_event& e : events) {
    for (stored_field& f : e.named_fields) {
      f.*index = text_record(map, w, out, f.*crc, f.*text);
    }
  }
  return w.item_length();
}

}  // namespace

uint32_t nf_names_cache::estimate_size(const event_batch& events) {
  return clamp_item_size(fields_size(events, &stored_field::name));
}

uint32_t nf_names_cache::serialize(std::span<uint8_t> out, event_batch& events) {
  if (out.empty()) return 0;
  return write_field_cache(out, events, &stored_field::name, &stored_field::name_crc,
                           &stored_field::name_index);
}

uint32_t nf_values_cache::estimate_size(const event_batch& events) {
  return clamp_item_size(fields_size(events, &stored_field::value));
}

uint32_t nf_values_cache::serialize(std::span<uint8_t> out, event_batch& events) {
  if (out.empty()) return 0;
  return write_field_cache(out, events, &stored_field::value, &stored_field::value_crc,
                           &stored_field::value_index);
}

uint32_t nfields_dat::estimate_size(const event_batch& events) {
  if (field_count(events) == 0) return 0;
  uint64_t total = 4;
  for (const stored_event& e : events) total += record_size(field_list_of(e));
  return clamp_item_size(total);
}

uint32_t nfields_dat::serialize(std::span<uint8_t> out, event_batch& events) {
  if (out.empty()) return 0;
  span_writer w(out);
  write_archive a(w);
  for (const stored_event& e : events) describe(a, field_list_of(e));
  return w.item_length();
}

}  // namespace repcopy
