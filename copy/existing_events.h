#pragma once
// The events a target already holds of one group (computer and data source), as content hashes
// with the number of times each is held. The duplicate check takes one away for every event of
// the run it finds here, so an event the source holds k times and the target n times is written
// max(0, k - n) times.
//
// Kept as one sorted array of (hash, count): 24 bytes per distinct event. Hashes of newly read
// files are collected first and merged in before the next lookup.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/event_hash.h"

namespace repcopy {

class existing_events {
 public:
  void add(const event_hash& h) { pending_.push_back(h); }
  // True, and one fewer left, when the target holds the event more often than it was taken.
  bool take(const event_hash& h);
  // Distinct events held (after merging what was added).
  size_t distinct();
  bool empty() const { return entries_.empty() && pending_.empty(); }
  // Bytes of memory the index holds (its arrays' capacity).
  uint64_t bytes() const {
    return entries_.capacity() * sizeof(entry) + pending_.capacity() * sizeof(event_hash);
  }
  // Gives the memory back.
  void clear() {
    std::vector<entry>().swap(entries_);
    std::vector<event_hash>().swap(pending_);
  }

 private:
  struct entry {
    event_hash hash;
    uint32_t count = 0;
  };
  void merge();

  std::vector<entry> entries_;
  std::vector<event_hash> pending_;
};

}  // namespace repcopy
