#pragma once
// storage_item: one batch of events of one data source of one computer, with the names and
// computer details the target needs to file it. The unit of work of the writer threads; it owns
// its events. The entry pointers refer into the event storage and are never followed by writers.
// A batch keeps its events as stored_events: one heap block per event.

#include <cstdint>
#include <cstddef>
#include <deque>
#include <initializer_list>
#include <string>
#include <utility>

#include "model/full_event.h"
#include "model/stored_event.h"

namespace repcopy {

struct domain_entry;
struct computer_entry;
struct ds_entry;

// The events of one batch in the order they were stored (the target sorts them by time).
class event_batch {
 public:
  using container = std::deque<stored_event>;
  using iterator = container::iterator;
  using const_iterator = container::const_iterator;

  event_batch() = default;
  event_batch(event_batch&&) = default;
  event_batch& operator=(event_batch&&) = default;
  event_batch(const event_batch&) = delete;
  event_batch& operator=(const event_batch&) = delete;
  event_batch(std::initializer_list<full_event> events) {
    for (const full_event& e : events) push_back(e);
  }
  // n events with every field empty.
  explicit event_batch(size_t n) : events_(n) {}

  // Stores a copy of the event.
  void push_back(const full_event& e) { events_.emplace_back(e); }
  void push_back(stored_event&& e) { events_.push_back(std::move(e)); }

  size_t size() const { return events_.size(); }
  bool empty() const { return events_.empty(); }
  void clear() { events_.clear(); }
  void swap(event_batch& other) noexcept { events_.swap(other.events_); }
  // Orders the events by event_time exactly as std::sort over the events with that comparison
  // does, equal times included (the order the written files have always had). The sort runs
  // over (time, position) pairs, which cost a fraction of moving whole events about, and each
  // event then moves once to its place.
  void sort_by_event_time();

  stored_event& operator[](size_t i) { return events_[i]; }
  const stored_event& operator[](size_t i) const { return events_[i]; }
  stored_event& front() { return events_.front(); }
  const stored_event& front() const { return events_.front(); }
  stored_event& back() { return events_.back(); }
  const stored_event& back() const { return events_.back(); }
  iterator begin() { return events_.begin(); }
  iterator end() { return events_.end(); }
  const_iterator begin() const { return events_.begin(); }
  const_iterator end() const { return events_.end(); }

 private:
  container events_;
};

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
  uint64_t footprint = 0;  // memory held by the events (stored_event::bytes), 0 when not counted
  event_batch events;
  // On the last batch of its data source in a run (taken after the reading ended): how many
  // batches the data source gave in the run, this one included; 0 on every other batch. Earlier
  // batches may still be in a writer's hands when the last one is written.
  uint32_t group_batches = 0;
};

}  // namespace repcopy
