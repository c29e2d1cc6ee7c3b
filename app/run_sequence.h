#pragma once
// The second half of a run, after the options were accepted: builds the copy machinery, copies,
// prints the summary and the elapsed-time line, and tears the machinery down.

#include <cstdint>
#include <string>

#include "compression/deflate.h"
#include "model/filter_config.h"

namespace repcopy {

struct run_record;

struct run_request {
  filter_config filter;
  std::string source_path;  // as typed: second-to-last argument
  std::string target_path;  // as typed: last argument
  bool verbose = false;
  uint64_t start_time = 0;   // FILETIME taken by the entry point
  bool dry_run = false;      // read, filter and pack everything, create nothing in the target
  bool quiet = false;        // no summary tree and no elapsed-time line
  bool progress = false;     // a self-updating progress line on standard error
  std::string json_path;     // a JSON summary to this file; "-" for standard output
  int32_t threads = 0;       // writer threads; 0 for writer_thread_count of the machine
  int32_t level = 0;         // --level: compression level 1..12; 0 for the engine's default
  compression::engine engine = compression::built_engine();  // writes with (tests compare them)
  int32_t read_threads = 0;  // --read-threads; 0 for default_read_threads of the machine
  bool allow_duplicates = false;  // write every event, also those the target already holds
  // Where the run keeps its counts for the JSON summary, which the entry point writes; without
  // one the sequence keeps its own and writes the summary itself.
  run_record* record = nullptr;
};

// Writer threads for a machine: one per logical processor, one less from four processors on.
int32_t writer_thread_count(unsigned processors);

// Returns the process exit code: 0 when everything was copied, 3 (kExitPartial) when the copy
// finished but not everything made it into the target, 130 (kExitInterrupted) after a stop
// signal, 2 (kExitUsage) when the JSON file cannot be created (before anything is read). The
// counts, choices and the summary tree are left in request.record.
int run_sequence(const run_request& request);

}  // namespace repcopy
