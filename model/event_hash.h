#pragma once
// A 128-bit hash of everything an event says, for matching events by content: every field,
// the insertion strings with their ordinals, the named fields, the data and the user binary.
// Left out are what a writer renumbers or derives: the cache record numbers, the CRCs (derived
// from the texts) and record_sum (the running sum of time deltas of the file the event sits in,
// which depends on the file's other events).
//
// One walk of the fields serves both forms of an event (full_event as a reader builds it,
// stored_event as a batch keeps it): equal content gives equal hashes whichever form holds it.

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
    put(e.origin_flag);
    put(e.host_computer);
    put(e.platform_id);
    put(e.os_major);
    put(e.os_minor);
    put(e.under_data_source);
    put(e.record_key);
    put(e.computer);
    put(e.user_string1);
    put(e.user_string2);
    put(e.category);
    put(e.src_name);
    put(e.event_id);
    put(e.category_name);
    put(e.event_time);
    put(e.stored_time);
    put(e.domain);
    put(e.computer_type);
    put(bytes(e.user_binary));
    put(e.description);
    put(bytes(e.data));
    put(uint32_t(e.string_slots) | uint32_t(e.strings_aux) << 16);
    put(uint32_t(e.strings.size()));
    for (const auto& s : e.strings) {
      put(s.ordinal);
      put(s.text);
    }
    put(uint32_t(e.named_fields.size()));
    for (const auto& f : e.named_fields) {
      put(f.name);
      put(f.value);
    }
    return finish();
  }

  static std::span<const uint8_t> bytes(std::span<const uint8_t> b) { return b; }
  void put(uint32_t v);
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
