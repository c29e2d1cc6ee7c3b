#include "records/position_writers.h"

#include "records/cache_writers.h"
#include "records/record_format.h"
#include "records/span_writer.h"
#include "util/time_text.h"

namespace repcopy {

namespace {

// An empty batch (which the copy engine never hands over) leaves the zero-filled record.
uint32_t empty_position(std::span<uint8_t> out) {
  return out.size() < record_file::kPositionRecordSize ? 0 : record_file::kPositionRecordSize;
}

uint32_t write_position(std::span<uint8_t> out, uint32_t time, uint32_t record_key,
                        const full_event& first) {
  span_writer w(out);
  w.u64(time);
  w.u32(record_key);
  w.u64(seconds_to_filetime(time));
  w.u32(first.os_major);
  w.u32(first.os_minor);
  w.u32(0);
  return uint32_t(w.pos());
}

}  // namespace

uint32_t record_keys::estimate_size(const event_batch& events) {
  return clamp_item_size(uint64_t(record_file::kRecordKeySize) * events.size());
}

uint32_t record_keys::serialize(std::span<uint8_t> out, event_batch& events) {
  span_writer w(out);
  for (const full_event& e : events) {
    w.u32(e.record_key);
    w.u32(e.event_time);
  }
  return uint32_t(w.pos());
}

uint32_t first_pos::estimate_size(const event_batch&) { return record_file::kPositionRecordSize; }

uint32_t first_pos::serialize(std::span<uint8_t> out, event_batch& events) {
  if (events.empty()) return empty_position(out);
  const full_event& first = events.front();
  return write_position(out, first.event_time, first.record_key, first);
}

uint32_t last_pos::estimate_size(const event_batch&) { return record_file::kPositionRecordSize; }

uint32_t last_pos::serialize(std::span<uint8_t> out, event_batch& events) {
  if (events.empty()) return empty_position(out);
  const full_event& last = events.back();
  return write_position(out, last.stored_time, last.record_key, events.front());
}

uint32_t filter_dat::estimate_size(const event_batch&) { return 0; }

uint32_t filter_dat::serialize(std::span<uint8_t>, event_batch&) { return 0; }

uint32_t filters_stat::estimate_size(const event_batch&) { return record_file::kFilterStatSize; }

uint32_t filters_stat::serialize(std::span<uint8_t> out, event_batch& events) {
  if (out.size() < record_file::kFilterStatSize) return 0;
  span_writer w(out);
  w.u64(events.size());
  w.u32(1);
  w.u32(events.empty() ? 0 : events.back().event_time);
  return record_file::kFilterStatSize;  // the last 11 bytes stay zero
}

}  // namespace repcopy
