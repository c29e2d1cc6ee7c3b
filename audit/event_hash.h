#pragma once
// Groups of events and the fields in which two events differ, for the checking commands. The
// content hash itself (event_hash, event_hasher) is in model/event_hash.h.

#include <cstdint>
#include <string>
#include <vector>

#include "model/event_hash.h"
#include "model/full_event.h"

namespace repcopy {

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
