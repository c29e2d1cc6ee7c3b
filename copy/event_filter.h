#pragma once
// The event-level filter step of the copy driver: the EventID test and the time event test,
// applied to every event a source delivers before it reaches the event storage.

#include <algorithm>
#include <cstdint>

#include "filters/filter_config.h"

namespace repcopy {

// Without a list every event passes. With one, a listed EventID passes only a white list (kind
// 2) and an unlisted one only a black list (kind 1); any other kind drops everything.
inline bool passes_event_id(const filter_config& filter, uint32_t event_id) {
  if (!filter.id_on) return true;
  const bool found = std::find(filter.ids.begin(), filter.ids.end(), event_id) != filter.ids.end();
  return found ? filter.id_kind == 2 : filter.id_kind == 1;
}

// Both bounds of the window are inclusive.
inline bool passes_time(const filter_config& filter, uint32_t event_time) {
  if (!filter.time_on) return true;
  return filter.time_from <= event_time && event_time <= filter.time_to;
}

}  // namespace repcopy
