#pragma once
// Deduplication key of the cache writers. A value is found by the CRC-32 and length of its
// string(s) plus a few small fields, as the format intends, but a hit also compares the
// characters (and a user's binary value), so two different strings that share CRC and length
// still get a record each. The key refers to strings inside the batch, which outlives the map.

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace repcopy {

struct cache_key {
  uint32_t crc1 = 0;
  uint32_t crc2 = 0;
  uint32_t extra1 = 0;  // small fields of the record: category, EventID, time offset...
  uint32_t extra2 = 0;
  const std::u16string* text1 = nullptr;
  const std::u16string* text2 = nullptr;
  const std::vector<uint8_t>* binary = nullptr;

  bool operator==(const cache_key& o) const;
};

struct cache_key_hash {
  size_t operator()(const cache_key& k) const;
};

// Record numbers in order of first appearance.
class cache_index_map {
 public:
  explicit cache_index_map(size_t expected) { map_.reserve(expected); }

  // The record number of key; added is true when the key is new and its record must be
  // appended.
  uint32_t find_or_add(const cache_key& key, bool& added) {
    auto [it, inserted] = map_.try_emplace(key, uint32_t(map_.size()));
    added = inserted;
    return it->second;
  }

 private:
  std::unordered_map<cache_key, uint32_t, cache_key_hash> map_;
};

}  // namespace repcopy
