#pragma once
// The machine-readable summary of a run (--json), written on every exit after the options were
// read: a usage error, a refused path, a finished, partial or interrupted copy, a fatal stop.
// The fields are listed (and explained) in the README under "JSON summary"; a test holds a
// produced summary against that list.
//
// Names come from file content as UTF-16 and are written as UTF-8; an unpaired surrogate becomes
// U+FFFD, so the text is always valid JSON. In a dry run the written figures are those a copy
// would write.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "app/run_counters.h"
#include "copy/event_storage.h"
#include "model/copy_outcome.h"
#include "model/filter_config.h"

namespace repcopy {

class console_output;

inline constexpr int kJsonSchemaVersion = 2;

// What a run did, gathered as it goes: created by the entry point before the options are read,
// filled by the option loop and the run sequence, turned into the summary when the process ends.
struct run_record {
  std::string json_path;       // empty: no summary; "-": standard output
  int json_descriptor = -1;    // standard output set aside for "--json -", or -1
  bool json_unusable = false;  // the file could not be created: nothing more is tried
  uint64_t start_time = 0;     // FILETIME
  uint64_t end_time = 0;       // FILETIME; 0 until the run ends
  int exit_code = 0;
  std::string error;  // the line of a usage error or refused path, or a fatal stop
  std::string source_path, target_path;  // as typed; empty until read
  bool filter_read = false;              // filter holds the command line's filters
  filter_config filter;
  int32_t count_back = 0;                            // the number of -d or -r
  int32_t threads = 0, read_threads = 0, level = 0;  // 0 until chosen
  bool dry_run = false, quiet = false;
  bool interrupted = false, target_full = false;
  uint64_t files_written = 0, bytes_written = 0;
  uint64_t events_passed = 0;
  run_counters counters;
  copy_outcome outcome;
  nlohmann::ordered_json tree;  // the summary tree; null until the copy ended
  // Not in the summary: the console the entry point set up for the run, and why the --log file
  // could not be opened.
  console_output* console = nullptr;
  std::string log_error;
};

// The summary tree of the copy as JSON: {"name", "domains": [{"name", "computers": [{"name",
// "os_version", "data_sources": [{"name", "events", "pending"}]}]}]}.
nlohmann::ordered_json summary_tree_json(const event_storage& storage);

// "2026-12-07T02:19:19.123Z" for a FILETIME.
std::string iso_time_text(uint64_t filetime);

// The JSON text, indented, ending with a line end.
std::string json_summary(const run_record& record);

// Writes text to path under a temporary name beside it ("<path>.tmp"), then renames it over
// path, so that path always holds a complete summary. False with error set on failure (the
// temporary file is then removed).
bool replace_file(const std::string& path, const std::string& text, std::string& error);
// Writes the summary where json_path says (standard output for "-"), unless there is no path or
// the file could not be created; a failure is reported on standard error.
void write_json_summary(const run_record& record);
// Whether a file can be created beside path under the temporary name (created and removed).
bool can_create_beside(const std::string& path, std::string& error);

}  // namespace repcopy
