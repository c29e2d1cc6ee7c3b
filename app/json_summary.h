#pragma once
// The machine-readable summary of a run (--json): totals and the summary tree's counts.
//
// {"exit_code", "interrupted", "target_full", "dry_run", "elapsed_seconds",
//  "source_files": {"read", "damaged", "skipped"},
//  "events": {"read", "passed_filters", "written", "not_written", "dropped_oversized"},
//  "batches": {"written", "not_written"}, "files_written", "bytes_written",
//  "summary": {"name", "domains": [{"name", "computers": [{"name", "os_version",
//              "data_sources": [{"name", "events", "pending"}]}]}]}}
//
// Names come from file content as UTF-16 and are written as UTF-8; an unpaired surrogate becomes
// U+FFFD, so the text is always valid JSON. In a dry run the written figures are those a copy
// would write.

#include <cstdint>
#include <string>

#include "app/run_counters.h"
#include "copy/event_storage.h"
#include "model/copy_outcome.h"

namespace repcopy {

struct run_totals {
  int exit_code = 0;
  bool interrupted = false;
  bool dry_run = false;
  double elapsed_seconds = 0;
  uint64_t files_written = 0;
  uint64_t bytes_written = 0;
  bool target_full = false;  // the copy stopped because the target had no space left
};

// The JSON text, indented, ending with a line end.
std::string json_summary(const run_totals& totals, const run_counters& counters,
                         const copy_outcome& outcome, const event_storage& storage);

}  // namespace repcopy
