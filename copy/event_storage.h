#pragma once
// event_storage: collects the events that pass the filters into batches, one batch per data
// source of a computer of a domain, and hands a batch out as a storage_item when it is full, when
// the storage as a whole holds too many events, and at the end of the run. Main thread only.
//
// Entries are created on first use and never removed, so the entry pointers an item carries stay
// valid for the storage's lifetime. Names are ordered by UTF-16 code units (std::u16string's
// ordering), a shorter prefix first.

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "model/full_event.h"
#include "model/storage_item.h"
#include "util/message_sink.h"

namespace repcopy {

// Results of event_storage::add and of the two take operations.
inline constexpr int32_t kStorageAdded = 0;
inline constexpr int32_t kBatchBytesFull = -555;   // not added: the batch would pass the byte limit
inline constexpr int32_t kBatchEventsFull = -777;  // added: the batch reached the event limit
inline constexpr int32_t kPendingFull = -999;      // added: the storage reached the pending limit
inline constexpr int32_t kNoBatch = -888;          // take: nothing to take

inline constexpr int32_t kBatchEventLimit = 64000;
inline constexpr int32_t kBatchByteLimit = 25000000;
inline constexpr int32_t kPendingLimit = 500000;
// The same bounds in bytes of memory (stored_event::bytes): a batch leaves when its events hold
// kBatchMemoryLimit bytes, and the largest batch leaves when all pending events hold
// kPendingMemoryLimit bytes, however large the events are.
inline constexpr uint64_t kBatchMemoryLimit = uint64_t(48) << 20;
inline constexpr uint64_t kPendingMemoryLimit = uint64_t(128) << 20;

inline constexpr char16_t kUnknownName[] = u"Unknown";

struct ds_entry {
  std::u16string name;
  uint32_t total = 0;         // events ever added to this data source
  uint32_t batch_count = 0;   // events in the current batch
  uint32_t batch_bytes = 0;   // event-data bytes of the current batch
  uint64_t batch_memory = 0;  // memory held by the events of the current batch
  event_batch ds_full_events;
  std::vector<std::shared_ptr<const std::string>> source_files;  // of the current batch
};

struct computer_entry {
  std::u16string name;  // the upper-cased computer name, equal to its key
  std::map<std::u16string, ds_entry> data_sources;
  // Taken from the event that created the entry.
  uint32_t platform_id = 0;
  uint32_t os_major = 0;
  uint32_t os_minor = 0;
  uint32_t computer_type = 0;
};

struct domain_entry {
  std::u16string name;
  std::map<std::u16string, computer_entry> computers;
};

class event_storage {
 public:
  // The limits are fixed for a run; tests use small ones. Each is at least 1.
  explicit event_storage(int32_t batch_event_limit = kBatchEventLimit,
                         int32_t batch_byte_limit = kBatchByteLimit,
                         int32_t pending_limit = kPendingLimit,
                         uint64_t batch_memory_limit = kBatchMemoryLimit,
                         uint64_t pending_memory_limit = kPendingMemoryLimit);
  event_storage(const event_storage&) = delete;
  event_storage& operator=(const event_storage&) = delete;

  // Adds the event to its data source's batch. Returns kStorageAdded, kBatchBytesFull (the
  // event is not stored), kBatchEventsFull (also when the batch reached its memory limit) or
  // kPendingFull (also when the pending events reached theirs). For kBatchBytesFull and
  // kBatchEventsFull the item's entry pointers, names and computer details are set from the
  // entries the event belongs to (the domain entry's name, so "Unknown" for an event without a
  // domain, and the upper-cased computer key); otherwise the item is left alone.
  // The event moves into the batch when it is stored; after kBatchBytesFull it is untouched.
  // Its source file goes to the batch's list (storage_item::source_files) instead of staying
  // with it; an event that names none comes from the file of the last one that did.
  int32_t add(stored_event& event, storage_item& item);
  // The same for a full_event: the batch keeps a stored copy.
  int32_t add(const full_event& event, storage_item& item);

  // Moves the batch of item.p_ds (set by the last add) into the item: 0, or kNoBatch when that
  // batch is empty (the item is then unchanged).
  int32_t take_named(storage_item& item);
  // Moves the largest batch (the first in key order among equals) into the item: 0, or kNoBatch
  // when every batch is empty.
  int32_t take_largest(storage_item& item);

  // Takes events that were taken out of ds but never written (a stopped copy) off its total, so
  // the summary counts only what was written.
  void take_back(ds_entry& ds, uint32_t events) { ds.total -= std::min(ds.total, events); }

  // The summary tree of domains, computers and data sources with their event counts.
  void print_summary(message_sink& messages) const;

  const std::u16string& name() const { return name_; }
  const std::map<std::u16string, domain_entry>& domains() const { return domains_; }
  uint64_t total_added() const { return total_added_; }
  uint32_t pending() const { return pending_; }
  uint32_t peak_pending() const { return peak_pending_; }
  uint64_t pending_memory() const { return pending_memory_; }
  uint64_t peak_pending_memory() const { return peak_pending_memory_; }
  int32_t batch_event_limit() const { return batch_event_limit_; }
  int32_t batch_byte_limit() const { return batch_byte_limit_; }
  int32_t pending_limit() const { return pending_limit_; }

 private:
  struct place {
    domain_entry* domain = nullptr;
    computer_entry* computer = nullptr;
    ds_entry* ds = nullptr;
  };
  // The last lookup, reused while consecutive events name the same computer and data source:
  // known at once when they come from the same part and computer record (the names are then the
  // same), compared otherwise. A new computer entry can change where an event belongs, so
  // creating one clears it.
  struct lookup_cache {
    bool valid = false;
    uint32_t source_part = 0;
    uint32_t comp_index = 0;
    std::u16string host_computer;
    std::u16string computer;
    std::u16string data_source;
    place where;
  };

  place find_place(const stored_event& event);
  computer_entry* find_computer(const std::u16string& key, domain_entry*& domain);
  static void fill_header(storage_item& item, domain_entry* domain, computer_entry* computer,
                          ds_entry* ds);
  void move_batch(storage_item& item, ds_entry& ds);

  std::u16string name_ = kUnknownName;
  std::map<std::u16string, domain_entry> domains_;
  uint64_t total_added_ = 0;
  uint32_t pending_ = 0;
  uint32_t peak_pending_ = 0;
  uint64_t pending_memory_ = 0;
  uint64_t peak_pending_memory_ = 0;
  int32_t batch_event_limit_;
  int32_t batch_byte_limit_;
  int32_t pending_limit_;
  uint64_t batch_memory_limit_;
  uint64_t pending_memory_limit_;
  lookup_cache cache_;
  std::shared_ptr<const std::string> source_file_;  // of the last event that named one
};

}  // namespace repcopy
