#pragma once
// The events a target already holds of one group (computer and data source), as content hashes
// with the number of times each is held. The duplicate check takes one away for every event of
// the run it finds here, so an event the source holds k times and the target n times is written
// max(0, k - n) times.
//
// Kept as one sorted array of (hash, count): 24 bytes per distinct event. Hashes of newly read
// files are collected first and merged in before the next lookup. A batch is looked up in one
// ascending pass (take_all): a search per event in a large group's array pays a cache miss at
// nearly every step, a pass in order reads the array front to back.

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "model/event_hash.h"

namespace repcopy {

class existing_events {
 public:
  void add(const event_hash& h) { pending_.push_back(h); }
  // True, and one fewer left, when the target holds the event more often than it was taken.
  bool take(const event_hash& h);
  // Takes each hash of a batch as take() would, one after another. sorted: (hash, position in
  // the batch) pairs in ascending order of hash. Returns the positions taken.
  std::vector<uint32_t> take_all(std::span<const std::pair<event_hash, uint32_t>> sorted);
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
