#pragma once
// repdump diff: proves a copy. Every event of the source repository that passes the filters
// must appear in the target exactly once with the same content, and the target must hold no
// other event. Events are matched by content (event_hash), whatever files and batches hold
// them.
//
// Memory grows with the number of groups (domain, computer, data source) and of files, not of
// events: the first pass keeps the path of every file read and per group only a count, the sum
// of the events' 128-bit hashes (a multiset hash: equal multisets give equal sums, the order
// does not matter) and the files that hold the group. Only groups whose counts or sums differ are read again, file by file,
// and their hashes sorted and compared to name the events; a group larger than
// slice_events is compared in slices of its hashes, one slice per reading.

#include <cstdint>
#include <iosfwd>
#include <string>

#include "model/filter_config.h"

namespace repcopy {

struct diff_options {
  filter_config filter;               // applied to the source only
  size_t max_lines = 20;              // differences printed; all are counted
  uint64_t slice_events = 2'000'000;  // events of one group compared at once (32 bytes each)
};

struct diff_counts {
  uint64_t source_events = 0;
  uint64_t target_events = 0;
  uint64_t missing = 0;     // in the source, not in the target
  uint64_t extra = 0;       // in the target, not in the source
  uint64_t changed = 0;     // a missing and an extra event with the same record key
  uint64_t duplicated = 0;  // surplus copies in the target of an event the source holds
  bool equal() const { return missing == 0 && extra == 0 && changed == 0 && duplicated == 0; }
};

// Compares the repositories at source and target (each: hot part, then main part), prints
// the first differences and a closing count line on out. 0 when equal, 1 when not.
int run_diff(const std::u16string& source, const std::u16string& target,
             const diff_options& options, std::ostream& out, diff_counts* counts = nullptr);

}  // namespace repcopy
