#pragma once
// repdump stats: what a repository holds, per domain, computer and data source: files, events,
// the first and last event time, bytes on disk and unpacked; totals last. As text or JSON.

#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "audit/event_hash.h"

namespace repcopy {

struct group_stats {
  uint64_t files = 0;
  uint64_t events = 0;
  uint32_t first_time = 0xFFFFFFFF;  // event times, seconds since 1970 UTC
  uint32_t last_time = 0;
  uint64_t bytes_on_disk = 0;
  uint64_t bytes_unpacked = 0;  // the unpacked lengths the part tables state

  void add(const group_stats& other);
};

struct repository_stats {
  std::map<event_group, group_stats> groups;
  group_stats totals;
  uint64_t damaged_files = 0;  // files that did not load or yielded damaged records
  // Directories that could not be listed and "*.rep" entries that cannot be read: the path as
  // shown and the system's reason.
  std::vector<std::pair<std::string, std::string>> unreadable;
};

// Reads every "*.rep" file below the paths. A file counts under the domain, computer and data
// source its first footer names (its events' group when the footer cannot tell).
repository_stats collect_stats(const std::vector<std::string>& native_paths);
repository_stats collect_stats(const std::vector<std::u16string>& paths);

void print_stats_text(const repository_stats& stats, std::ostream& out);
void print_stats_json(const repository_stats& stats, std::ostream& out);

}  // namespace repcopy
