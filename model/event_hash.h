#pragma once
// A 128-bit hash of everything an event says, for matching events by content: every field,
// the insertion strings with their ordinals, the named fields, the data and the user binary.
// Left out are what a writer renumbers or derives: the cache record numbers, the CRCs (derived
// from the texts) and record_sum (the running sum of time deltas of the file the event sits in,
// which depends on the file's other events).
//
// It walks the content fields of the one field list (model/event_fields.h), so it serves both
// forms of an event (full_event as a reader builds it, stored_event as a batch keeps it): equal
// content gives equal hashes whichever form holds it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "model/full_event.h"
#include "model/stored_event.h"

namespace repcopy {

struct event_hash {
  uint64_t high = 0;
  uint64_t low = 0;
  auto operator<=>(const event_hash&) const = default;
};

// Reuses its serialization buffer between calls; one per thread.
class event_hasher {
 public:
  event_hash operator()(const full_event& e) { return hash(e); }
  event_hash operator()(const stored_event& e) { return hash(e); }

 private:
  template <class Event>
  event_hash hash(const Event& e) {
    size_ = 0;
    for_each_field(*this, e);
    return finish();
  }

 public:
  // One field of the walk; a table puts its length, then the content of each row.
  template <class Field>
  void operator()(const char*, field_role role, const Field& f) {
    if (role != field_role::content) return;
    if constexpr (field_table<Field>) {
      put(uint32_t(f.size()));
      for (const auto& row : f) for_each_field(*this, row);
    } else if constexpr (field_bytes<Field>) {
      put(std::span<const uint8_t>(f));
    } else if constexpr (field_text<Field>) {
      put(std::u16string_view(f));
    } else if constexpr (field_number<Field>) {
      put(f);
    }
  }

 private:
  void put(uint32_t v);
  void put(uint16_t v);
  void put(std::u16string_view s);
  void put(std::span<const uint8_t> b);
  // Room for n more bytes at the end of the buffer (grown by doubling, never cleared).
  uint8_t* extend(size_t n) {
    if (size_ + n > capacity_) grow(size_ + n);
    uint8_t* at = buffer_.get() + size_;
    size_ += n;
    return at;
  }
  void grow(size_t needed);
  event_hash finish() const;

  std::unique_ptr<uint8_t[]> buffer_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace repcopy
