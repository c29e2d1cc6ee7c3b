#pragma once
// A 128-bit hash of everything an event says, for matching events by content: every field,
// the insertion strings with their ordinals, the named fields, the data and the user binary.
// Left out are what a writer renumbers or derives: the cache record numbers, the CRCs (derived
// from the texts) and record_sum (the running sum of time deltas of the file the event sits in,
// which depends on the file's other events).

#include <cstdint>
#include <string>
#include <vector>

#include "model/full_event.h"

namespace repcopy {

struct event_hash {
  uint64_t high = 0;
  uint64_t low = 0;
  auto operator<=>(const event_hash&) const = default;
};

// Reuses its serialization buffer between calls; one per thread.
class event_hasher {
 public:
  event_hash operator()(const full_event& e);

 private:
  void put(uint32_t v);
  void put(const std::u16string& s);
  void put(const std::vector<uint8_t>& b);
  std::vector<uint8_t> buffer_;
};

// The events of one domain, computer and data source form one group.
struct event_group {
  std::u16string domain;
  std::u16string computer;
  std::u16string data_source;
  auto operator<=>(const event_group&) const = default;
};
inline event_group group_of(const full_event& e) {
  return {e.domain, e.host_computer, e.under_data_source};
}
std::string group_text(const event_group& g);

// The fields in which two events differ, named as in full_event ("strings", "data", ...);
// the fields the hash leaves out are not compared.
std::vector<std::string> changed_fields(const full_event& a, const full_event& b);

}  // namespace repcopy
