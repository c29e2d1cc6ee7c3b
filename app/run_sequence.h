#pragma once
// The second half of a run, after the options were accepted: builds the copy machinery, copies,
// prints the summary and the elapsed-time line, and tears the machinery down.

#include <cstdint>
#include <string>

#include "model/filter_config.h"

namespace repcopy {

struct run_request {
  filter_config filter;
  std::string source_path;  // as typed: second-to-last argument
  std::string target_path;  // as typed: last argument
  bool verbose = false;
  uint64_t start_time = 0;  // FILETIME taken by the entry point
};

// Writer threads for a machine: one per logical processor, one less from four processors on.
int32_t writer_thread_count(unsigned processors);

// Returns the process exit code: 0 when everything was copied, 3 (kExitPartial) when the copy
// finished but not everything made it into the target.
int run_sequence(const run_request& request);

}  // namespace repcopy
