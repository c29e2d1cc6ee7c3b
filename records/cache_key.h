#pragma once
// Deduplication key of the cache writers. A value is found by the CRC-32 and length of its
// string(s) plus a few small fields, as the format intends, but a hit also compares the
// characters (and a user's binary value), so two different strings that share CRC and length
// still get a record each. The key refers to strings inside the batch, which outlives the map.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace repcopy {

struct cache_key {
  uint32_t crc1 = 0;
  uint32_t crc2 = 0;
  uint32_t extra1 = 0;  // small fields of the record: category, EventID, time offset...
  uint32_t extra2 = 0;
  std::u16string_view text1;
  std::u16string_view text2;
  std::span<const uint8_t> binary;

  bool operator==(const cache_key& o) const;
};

struct cache_key_hash {
  size_t operator()(const cache_key& k) const;
};

// Record numbers in order of first appearance: an open-addressing table of (hash, record number)
// over the keys in record order. One block per table instead of one node per key, because a
// batch adds millions of keys (every insertion string of every event).
class cache_index_map {
 public:
  explicit cache_index_map(size_t expected) {
    keys_.reserve(expected);
    size_t capacity = 16;
    while (capacity < expected + expected / 2) capacity *= 2;
    slots_.assign(capacity, slot{});
  }

  // The record number of key; added is true when the key is new and its record must be
  // appended.
  uint32_t find_or_add(const cache_key& key, bool& added) {
    const uint64_t hash = cache_key_hash{}(key) | 1;  // 0 marks a free slot
    size_t mask = slots_.size() - 1;
    for (size_t i = size_t(hash) & mask;; i = (i + 1) & mask) {
      slot& s = slots_[i];
      if (s.hash == 0) {
        if ((keys_.size() + 1) * 4 > slots_.size() * 3) {  // keep the table at most 3/4 full
          grow();
          return find_or_add(key, added);
        }
        s.hash = hash;
        s.index = uint32_t(keys_.size());
        keys_.push_back(key);
        added = true;
        return s.index;
      }
      if (s.hash == hash && keys_[s.index] == key) {
        added = false;
        return s.index;
      }
    }
  }

 private:
  struct slot {
    uint64_t hash = 0;
    uint32_t index = 0;
  };

  void grow() {
    std::vector<slot> old(slots_.size() * 2);
    old.swap(slots_);
    const size_t mask = slots_.size() - 1;
    for (const slot& s : old) {
      if (s.hash == 0) continue;
      size_t i = size_t(s.hash) & mask;
      while (slots_[i].hash != 0) i = (i + 1) & mask;
      slots_[i] = s;
    }
  }

  std::vector<slot> slots_;
  std::vector<cache_key> keys_;
};

}  // namespace repcopy
