#pragma once
// Deduplication keys of the cache writers. A value is found by the CRC-32 and length of its
// string(s) plus a few small fields, as the format intends, but a hit also compares the
// characters (and a user's binary value), so two different strings that share CRC and length
// still get a record each. The keys refer to strings inside the batch (or the item being
// written), which outlive the maps.
//
// The tables are rebuilt for every batch and a batch adds millions of keys (every insertion
// string of every event), so their memory is taken from a per-thread stock and given back
// afterwards: a batch then reuses the pages of the previous one instead of faulting in fresh ones.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <utility>
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

// One round of 64-bit multiply-xorshift mixing (the finalizer of splitmix64). Each step can be
// undone, so two values never share a result, and only 0 gives 0.
inline uint64_t mix64(uint64_t h) {
  h ^= h >> 30;
  h *= 0xBF58476D1CE4E5B9ULL;
  h ^= h >> 27;
  h *= 0x94D049BB133111EBULL;
  h ^= h >> 31;
  return h;
}

// The hash of a text with this CRC-32 and length.
inline uint64_t text_key_hash(uint32_t crc, size_t length) {
  return mix64((uint64_t(crc) << 32 | uint32_t(length)) ^ 0x9E3779B97F4A7C15ULL);
}

// The characters compared as bytes: char_traits<char16_t> compares one code unit at a time.
inline bool same_text(const char16_t* a, const char16_t* b, size_t length) {
  return length == 0 || std::memcmp(a, b, length * sizeof(char16_t)) == 0;
}

// Vectors of T lent to the tables of this thread: a lent vector comes back empty with the
// capacity of an earlier one; one that grew past kKeptBytes is freed instead of kept. A thread
// uses its tables of one kind one after another, so one spare is enough: the larger of the two
// is kept, and the largest table of a batch needs no new memory in the next batch.
template <class T>
class table_stock {
 public:
  static constexpr size_t kKeptBytes = size_t(64) << 20;

  static std::vector<T> take() { return std::exchange(spare(), std::vector<T>()); }
  static void give_back(std::vector<T>&& v) {
    std::vector<T>& kept = spare();
    if (v.capacity() * sizeof(T) > kKeptBytes || v.capacity() <= kept.capacity()) return;
    v.clear();
    kept = std::move(v);
  }

 private:
  static std::vector<T>& spare() {
    thread_local std::vector<T> kept;
    return kept;
  }
};

// A vector taken from the thread's stock for the life of a table.
template <class T>
class stock_vector {
 public:
  stock_vector() : v_(table_stock<T>::take()) {}
  ~stock_vector() { table_stock<T>::give_back(std::move(v_)); }
  stock_vector(const stock_vector&) = delete;
  stock_vector& operator=(const stock_vector&) = delete;

  std::vector<T>& operator*() { return v_; }
  std::vector<T>* operator->() { return &v_; }
  const std::vector<T>& operator*() const { return v_; }
  const std::vector<T>* operator->() const { return &v_; }

 private:
  std::vector<T> v_;
};

// The slot count of an open-addressing table for this many keys, kept at most 3/4 full.
inline size_t table_capacity(size_t expected) {
  size_t capacity = 16;
  while (capacity < expected + expected / 2) capacity *= 2;
  return capacity;
}

// Doubles an open-addressing table (linear probing; a slot whose hash is 0 is free) and puts
// every taken slot in its place in the larger table. The table doubles within its own memory
// when it has the room (a table from the thread's stock has that of an earlier batch's largest),
// while its taken slots wait in a spare of this thread: a fresh table at every doubling was
// memory the system had to fault in and clear, batch after batch.
template <class Slot>
void double_table(std::vector<Slot>& slots) {
  thread_local std::vector<Slot> taken;
  taken.clear();
  for (const Slot& s : slots) {
    if (s.hash != 0) taken.push_back(s);
  }
  slots.assign(slots.size() * 2, Slot{});
  const size_t mask = slots.size() - 1;
  for (const Slot& s : taken) {
    size_t i = size_t(s.hash) & mask;
    while (slots[i].hash != 0) i = (i + 1) & mask;
    slots[i] = s;
  }
  if (taken.capacity() * sizeof(Slot) > table_stock<Slot>::kKeptBytes) {
    std::vector<Slot>().swap(taken);
  }
}

// Record numbers in order of first appearance: an open-addressing table of (hash, record number)
// over the keys in record order.
class cache_index_map {
 public:
  explicit cache_index_map(size_t expected) {
    keys_->reserve(expected);
    slots_->assign(table_capacity(expected), slot{});
  }

  // The record number of key; added is true when the key is new and its record must be
  // appended.
  uint32_t find_or_add(const cache_key& key, bool& added) {
    const uint64_t hash = cache_key_hash{}(key) | 1;  // 0 marks a free slot
    std::vector<slot>& slots = *slots_;
    std::vector<cache_key>& keys = *keys_;
    size_t mask = slots.size() - 1;
    for (size_t i = size_t(hash) & mask;; i = (i + 1) & mask) {
      slot& s = slots[i];
      if (s.hash == 0) {
        if ((keys.size() + 1) * 4 > slots.size() * 3) {  // keep the table at most 3/4 full
          grow();
          return find_or_add(key, added);
        }
        s.hash = hash;
        s.index = uint32_t(keys.size());
        keys.push_back(key);
        added = true;
        return s.index;
      }
      if (s.hash == hash && keys[s.index] == key) {
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

  void grow() { double_table(*slots_); }

  stock_vector<slot> slots_;
  stock_vector<cache_key> keys_;
};

// The same for keys that are one text alone (the caches of descriptions, sources, insertion
// strings and named-field names and values): each slot holds the place and length of the text's
// characters, so a probe reads the slot and, on a hash hit, the characters, and nothing else.
// The characters may be kept anywhere that outlives the table and holds them as in memory (as
// bytes: they are compared with memcmp).
class text_index_map {
 public:
  static constexpr uint32_t kNotFound = 0xFFFFFFFF;
  // The table starts for at most this many texts and doubles as they come: a batch's texts are
  // mostly repeats, and a table sized for all of them would be mostly empty.
  static constexpr size_t kFirstKeys = 65536;

  explicit text_index_map(size_t expected) {
    slots_->assign(table_capacity(std::min<size_t>(expected, kFirstKeys)), slot{});
  }

  // Where find left off: the free slot for the text and its hash.
  struct probe {
    size_t at = 0;
    uint64_t hash = 0;
  };

  // The record number of the text with this CRC-32, or kNotFound with where to add it. A found
  // text's slot then keeps text's characters (which must outlive the table): the comparison has
  // just read them, so the next one of a string that repeats often reads memory in cache.
  uint32_t find(uint32_t crc, std::u16string_view text, probe& p) {
    p.hash = text_key_hash(crc, text.size()) | 1;  // 0 marks a free slot
    std::vector<slot>& slots = *slots_;
    const size_t mask = slots.size() - 1;
    const size_t bytes = text.size() * sizeof(char16_t);
    for (size_t i = size_t(p.hash) & mask;; i = (i + 1) & mask) {
      slot& s = slots[i];
      if (s.hash == 0) {
        p.at = i;
        return kNotFound;
      }
      if (s.hash == p.hash && s.crc == crc && s.bytes == bytes &&
          (bytes == 0 || std::memcmp(s.text, text.data(), bytes) == 0)) {
        s.text = text.data();
        return s.index;
      }
    }
  }

  // The slot where find starts looking for a text with this CRC-32 and length, for a caller
  // that knows its next texts early and asks the processor to load it.
  const void* first_slot(uint32_t crc, size_t length) const {
    const std::vector<slot>& slots = *slots_;
    return &slots[size_t(text_key_hash(crc, length) | 1) & (slots.size() - 1)];
  }

  // Adds the text that find did not find (no other key added since), its characters kept at
  // kept; its record number, the next one.
  uint32_t add(const probe& p, uint32_t crc, std::u16string_view text, const void* kept) {
    if ((size_ + 1) * 4 > slots_->size() * 3) {  // keep the table at most 3/4 full
      grow();
      probe again;
      find(crc, text, again);
      return add(again, crc, text, kept);
    }
    (*slots_)[p.at] = {p.hash, kept, text.size() * sizeof(char16_t), uint32_t(size_), crc};
    return uint32_t(size_++);
  }

  // find, and add when not found with the characters kept where text is; added is true then.
  uint32_t find_or_add(uint32_t crc, std::u16string_view text, bool& added) {
    probe p;
    const uint32_t index = find(crc, text, p);
    added = index == kNotFound;
    return added ? add(p, crc, text, text.data()) : index;
  }

 private:
  struct slot {
    uint64_t hash = 0;
    const void* text = nullptr;
    size_t bytes = 0;
    uint32_t index = 0;
    uint32_t crc = 0;
  };

  void grow() { double_table(*slots_); }

  stock_vector<slot> slots_;
  size_t size_ = 0;
};

// The target record numbers of source records already met in a batch. Events read from one part
// (source_part_ref) that name the same record of one of its caches hold the same value,
// so only the first of them is looked up by its value; the others take its record by (part,
// source record number) and their texts, which lie in each event's own block, are not read. An
// event of part 0 (read from no part) is never remembered.
class source_record_memo {
 public:
  static constexpr uint32_t kNotFound = 0xFFFFFFFF;

  source_record_memo() { slots_->assign(kFirstSlots, slot{}); }

  // The target record remembered for this part's source record, or kNotFound.
  uint32_t find(uint32_t part, uint32_t source_record) const {
    if (part == 0) return kNotFound;
    const uint64_t hash = hash_of(part, source_record);
    const std::vector<slot>& slots = *slots_;
    const size_t mask = slots.size() - 1;
    for (size_t i = size_t(hash) & mask;; i = (i + 1) & mask) {
      if (slots[i].hash == hash) return slots[i].target;
      if (slots[i].hash == 0) return kNotFound;
    }
  }

  // Remembers the target record of a source record that find did not know.
  void remember(uint32_t part, uint32_t source_record, uint32_t target) {
    if (part == 0) return;
    if ((size_ + 1) * 4 > slots_->size() * 3) double_table(*slots_);  // at most 3/4 full
    const uint64_t hash = hash_of(part, source_record);
    std::vector<slot>& slots = *slots_;
    const size_t mask = slots.size() - 1;
    size_t i = size_t(hash) & mask;
    while (slots[i].hash != 0) i = (i + 1) & mask;
    slots[i] = {hash, target};
    ++size_;
  }

 private:
  static constexpr size_t kFirstSlots = 1024;

  struct slot {
    uint64_t hash = 0;  // 0 marks a free slot
    uint32_t target = 0;
  };

  // Two keys never share a hash, and no key is 0 (no part is).
  static uint64_t hash_of(uint32_t part, uint32_t source_record) {
    return mix64(uint64_t(part) << 32 | source_record);
  }

  stock_vector<slot> slots_;
  size_t size_ = 0;
};

// The target records of the insertion strings of one part's events, by the string's record
// number in that part's cache. A batch sorted by time holds long runs of one part's events, whose
// strings name the same records of its cache over and over: a repeat then costs one load from a
// small array, not a probe of the batch's table and a comparison of its characters. Moving to
// another part forgets the one before (its entries belong to an older generation, so nothing is
// cleared); a part met again is looked up by value like any string. Part 0 (events read from no
// part) and record numbers from kMaxRecords up are never remembered.
class part_string_memo {
 public:
  static constexpr uint32_t kNotFound = 0xFFFFFFFF;
  static constexpr uint32_t kMaxRecords = 1u << 20;

  // A new batch: every target record of the one before is forgotten.
  void start_batch() {
    part_ = 0;
    next_generation();
  }
  // The events that follow were read from this part.
  void start_part(uint32_t part) {
    if (part == part_) return;
    part_ = part;
    next_generation();
  }

  uint32_t part() const { return part_; }

  // The target record of the current part's source record, or kNotFound.
  uint32_t find(uint32_t source_record) const {
    if (part_ == 0 || source_record >= entries_.size()) return kNotFound;
    const entry& e = entries_[source_record];
    return e.generation == generation_ ? e.target : kNotFound;
  }
  void remember(uint32_t source_record, uint32_t target) {
    if (part_ == 0 || source_record >= kMaxRecords) return;
    if (source_record >= entries_.size()) {
      entries_.resize(std::max<size_t>(size_t(source_record) + 1, entries_.size() * 2));
    }
    entries_[source_record] = {generation_, target};
  }

 private:
  struct entry {
    uint32_t generation = 0;  // never the current one before it is set
    uint32_t target = 0;
  };

  void next_generation() {
    if (++generation_ == 0) {  // once in four billion parts: forget by clearing
      std::fill(entries_.begin(), entries_.end(), entry{});
      generation_ = 1;
    }
  }

  std::vector<entry> entries_;
  uint32_t generation_ = 0;
  uint32_t part_ = 0;
};

}  // namespace repcopy
