#pragma once
// The record-level tests of the file reader: the EventID list and the time window applied to
// the events records of a repository file before their events are built.
//
// Kept private to the reader; the filters subsystem owns the same tests for the copy driver.

#include <algorithm>
#include <cstdint>

#include "filters/filter_config.h"

namespace repcopy::reading_detail {

inline constexpr uint32_t kPlatformFullEventId = 610;  // keeps all 32 bits of an EventID

// The EventID as events of this platform carry it: all 32 bits for 610, else the low 16 bits.
inline uint32_t masked_event_id(uint32_t stored, uint32_t platform_id) {
  return platform_id == kPlatformFullEventId ? stored : stored & 0xFFFF;
}

// A listed EventID passes a white list (kind 2) only; an unlisted one a black list (kind 1)
// only. Call only with an active list.
inline bool event_id_passes(const filter_config& f, uint32_t event_id) {
  const bool listed = std::find(f.ids.begin(), f.ids.end(), event_id) != f.ids.end();
  return listed ? f.id_kind == 2 : f.id_kind == 1;
}

// Both bounds belong to the window. Call only with an active window.
inline bool time_in_window(const filter_config& f, uint32_t event_time) {
  return event_time >= f.time_from && event_time <= f.time_to;
}

}  // namespace repcopy::reading_detail
