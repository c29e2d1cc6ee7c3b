#include "records/position_writers.h"

#include "records/cache_writers.h"
#include "records/record_layouts.h"
#include "util/time_text.h"

namespace repcopy {

namespace {

record_key_record key_of(const stored_event& e) { return {e.record_key, e.event_time}; }

position_record position_of(uint32_t time, uint32_t record_key, const stored_event& first) {
  position_record r;
  r.time = time;
  r.record_key = record_key;
  r.filetime = seconds_to_filetime(time);
  r.os_major = first.os_major;
  r.os_minor = first.os_minor;
  return r;
}

// An empty batch (which the copy engine never hands over) gets a record of zeros.
uint32_t write_position(std::span<uint8_t> out, const event_batch& events, bool last) {
  span_writer w(out);
  write_archive a(w);
  if (events.empty()) {
    describe(a, position_record{});
    return w.ok() ? w.item_length() : 0;
  }
  const stored_event& first = events.front();
  const stored_event& e = last ? events.back() : first;
  describe(a, position_of(last ? e.stored_time : e.event_time, e.record_key, first));
  return w.item_length();
}

}  // namespace

uint32_t record_keys::estimate_size(const event_batch& events) {
  uint64_t total = 0;
  for (const stored_event& e : events) total += record_size(key_of(e));
  return clamp_item_size(total);
}

uint32_t record_keys::serialize(std::span<uint8_t> out, event_batch& events) {
  span_writer w(out);
  write_archive a(w);
  for (const stored_event& e : events) describe(a, key_of(e));
  return w.item_length();
}

uint32_t first_pos::estimate_size(const event_batch&) { return record_size(position_record{}); }

uint32_t first_pos::serialize(std::span<uint8_t> out, event_batch& events) {
  return write_position(out, events, false);
}

uint32_t last_pos::estimate_size(const event_batch&) { return record_size(position_record{}); }

uint32_t last_pos::serialize(std::span<uint8_t> out, event_batch& events) {
  return write_position(out, events, true);
}

uint32_t filter_dat::estimate_size(const event_batch&) { return 0; }

uint32_t filter_dat::serialize(std::span<uint8_t>, event_batch&) { return 0; }

uint32_t filters_stat::estimate_size(const event_batch&) {
  return record_size(filter_stat_record{});
}

uint32_t filters_stat::serialize(std::span<uint8_t> out, event_batch& events) {
  if (out.empty()) return 0;
  filter_stat_record r;
  r.events = events.size();
  r.last_event_time = events.empty() ? 0 : events.back().event_time;
  span_writer w(out);
  write_archive a(w);
  describe(a, r);
  return w.item_length();
}

}  // namespace repcopy
