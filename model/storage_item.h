#pragma once
// storage_item: one batch of events of one data source of one computer, with the names and
// computer details the target needs to file it. The unit of work of the writer threads; it owns
// its events. The entry pointers refer into the event storage and are never followed by writers.

#include <cstdint>
#include <deque>
#include <string>

#include "model/full_event.h"

namespace repcopy {

struct domain_entry;
struct computer_entry;
struct ds_entry;

using event_batch = std::deque<full_event>;

struct storage_item {
  domain_entry* domain = nullptr;
  computer_entry* computer = nullptr;
  ds_entry* p_ds = nullptr;
  std::u16string domain_name;
  std::u16string computer_name;
  uint32_t platform_id = 0;
  uint32_t os_major = 0;
  uint32_t os_minor = 0;
  uint32_t computer_type = 0;
  std::u16string ds_name;
  uint32_t ds_total = 0;
  uint32_t batch_count = 0;
  uint64_t footprint = 0;  // memory held by the events (full_event::footprint), 0 when not counted
  event_batch events;
};

}  // namespace repcopy
