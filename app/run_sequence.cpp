#include "app/run_sequence.h"

#include <memory>
#include <optional>
#include <vector>

#include "app/elapsed.h"
#include "app/exit_codes.h"
#include "app/json_summary.h"
#include "app/progress.h"
#include "app/run_counters.h"
#include "app/target_contents.h"
#include "copy/copy_driver.h"
#include "copy/duplicate_check.h"
#include "copy/event_storage.h"
#include "copy/worker_pool.h"
#include "filters/time_window.h"
#include "model/copy_outcome.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "source/rep_file_source.h"
#include "source/rep_source2.h"
#include "source/repository_walk.h"
#include "util/error_text.h"
#include "util/paths.h"
#include "util/repeat_limit.h"
#include "util/text.h"
#include "writer/rep_target.h"
#include "writer/write_options.h"

namespace repcopy {

namespace {

// Counts the files the copy will read (and their bytes) and those the time window leaves out,
// walking the source as the copy will. What the walk says about the tree (unreadable
// directories, paths too long) is dropped: the copy's own walk says it again, in its place.
void survey_source(const std::u16string& root, const filter_config& filter,
                   run_counters& counters) {
  for (uint32_t mode : {repository_walk::kModeHot, repository_walk::kModeMain}) {
    repository_walk walk(root, mode, nullptr, nullptr, nullptr);
    for (std::string path; walk.next_path(discard_messages(), path);) {
      const std::u16string name =
          platform::text_name(path.substr(path.find_last_of(platform::kNativeSeparator) + 1));
      if (filter.time_on && !file_overlaps_window(filter, name)) {
        ++counters.files_skipped;
        continue;
      }
      uint64_t size = 0;
      platform::file_size(path, size);
      ++counters.files_total;
      counters.bytes_total += size;
    }
  }
  counters.surveyed = true;
}

// The bytes of an event's content as read, unpacked: its data, binary and texts.
uint64_t content_bytes(const full_event& e) {
  uint64_t units = e.description.size();
  for (const insertion_string& s : e.strings) units += s.text.size();
  return e.data.size() + e.user_binary.size() + units * sizeof(char16_t);
}

}  // namespace

int32_t writer_thread_count(unsigned processors) {
  if (processors < 1) processors = 1;
  return int32_t(processors >= 4 ? processors - 1 : processors);
}

int run_sequence(const run_request& request) {
  // The entry point's record outlives the run, so that a fatal stop still finds the counts.
  run_record own_record;
  run_record& record = request.record != nullptr ? *request.record : own_record;
  // With "--json -" nothing but the JSON belongs on standard output: every other line the copy
  // prints there goes to standard error instead. With -q those lines are dropped (below).
  const int standard_output = request.json_path == "-" ? platform::set_aside_standard_output() : -1;
  record.json_descriptor = request.json_path == "-" ? standard_output : -1;
  // Every line printed from here on passes the console (the entry point's, else one of our own),
  // handed down to every part of the copy: -q drops the notices, and the progress line is taken
  // away before any line is written.
  console_output own_console;
  console_output& console = record.console != nullptr ? *record.console : own_console;
  console.set_drop_notices(request.quiet);
  // The summary is written when the process ends; whether it can be is known before reading.
  if (!request.json_path.empty() && request.json_path != "-") {
    std::string error;
    if (!can_create_beside(request.json_path, error)) {
      console.err(message_kind::error)
          << "Can't create the JSON file " << request.json_path << ":" << error;
      record.json_unusable = true;
      return kExitUsage;
    }
  }
  platform::install_stop_handlers();

  copy_outcome& outcome = record.outcome;
  run_counters& counters = record.counters;
  // A path that cannot be converted has been reported; the source then finds no walk root.
  std::u16string source_root;
  to_extended_path(console, request.source_path, source_root);
  if (request.progress || !request.json_path.empty()) {
    survey_source(source_root, request.filter, counters);
  }

  // Built in this order and destroyed in reverse: target, sources, storage, pool. The pool's
  // destructor stops and joins its threads if an exception leaves the driver.
  record.threads = request.threads > 0 ? request.threads
                                       : writer_thread_count(platform::logical_processor_count());
  worker_pool pool(console, record.threads);
  event_storage storage;

  // Each file read is counted with its bytes and events for the progress line and the summary.
  const RepSource2::file_processor read_file = [&](message_sink& messages, const std::string& path,
                                                   const event_sink& sink) {
    uint64_t size = 0;
    platform::file_size(path, size);
    const int32_t result =
        process_repository_file(messages, path, &request.filter, &outcome, [&](full_event& e) {
          ++counters.events_read;
          counters.unpacked_bytes_read += content_bytes(e);
          sink(e);
        });
    ++counters.files_read;
    counters.bytes_read += size;
    return result;
  };
  // One visit set for both parts: nothing reached through a link is read twice in a run.
  visit_set visits;
  RepSource2 hot(console, source_root, RepSource2::kModeHot, &request.filter, &outcome, read_file,
                 &visits);
  RepSource2 main_part(console, source_root, RepSource2::kModeMain, &request.filter, &outcome,
                       read_file, &visits);
  const unsigned read_threads = request.read_threads > 0
                                    ? unsigned(request.read_threads)
                                    : default_read_threads(platform::logical_processor_count());
  record.read_threads = int32_t(read_threads);
  hot.set_read_threads(read_threads);
  main_part.set_read_threads(read_threads);
  // Until the first batch leaves, the writers have nothing to do: by default one more thread
  // reads while a writer waits for work.
  if (request.read_threads == 0) {
    const std::function<bool()> writer_idle = [&pool] { return pool.idle_threads() > 0; };
    hot.set_spare_reader(writer_idle);
    main_part.set_spare_reader(writer_idle);
  }
  std::vector<CommonSource*> sources{&hot, &main_part};

  std::u16string target_root;
  to_extended_path(console, request.target_path, target_root);
  const write_options options = make_write_options(request.level, request.dry_run, request.engine);
  RepTarget target(console, target_root, options, create_segment, &outcome);
  record.level = options.level;
  // Unless duplicates are allowed, every batch passes the duplicate check first, which leaves
  // out what the target already holds; the files this run writes are never read by it.
  rep_target_contents contents(console, target_root);
  duplicate_check_target checked(console, target, contents, outcome, !request.dry_run);
  if (!request.allow_duplicates) {
    target.set_file_hook([&checked](const storage_item& item, const std::string& path) {
      checked.file_named(item, path);
    });
  }
  CommonTarget& copy_target =
      request.allow_duplicates ? static_cast<CommonTarget&>(target) : checked;

  std::optional<progress_line> progress;
  if (request.progress) {
    progress.emplace(
        counters, [&] { return outcome.written_events(); }, console);
  }
  const std::function<bool()> stop = platform::stop_requested;
  const int32_t copied = run_copy_driver(console, pool, storage, sources, copy_target, outcome, stop);
  const bool interrupted = copied == kCopyStopped;
  const bool target_full = copied == kCopyTargetFull;

  const uint64_t end_time = platform::system_time_as_filetime();
  progress.reset();
  const bool complete = outcome.complete() && !interrupted && !target_full;
  const int exit_code = interrupted ? kExitInterrupted : complete ? kExitSuccess : kExitPartial;
  // What the duplicate check left out: after the written line when the copy is incomplete,
  // else after the summary tree when it left out anything.
  const bool report_already = !request.allow_duplicates;
  // The failures printed only in part: how many more there were.
  for (const repeat_limit::closing_line& line : failure_repeats().take_closing_lines()) {
    if (line.to_error) {
      console.err(message_kind::error) << line.text;
    } else {
      console.out(message_kind::notice) << line.text;  // dropped with -q
    }
  }
  if (!request.quiet && request.json_path != "-") storage.print_summary(console);
  // The result the user asked for: printed with -q too.
  if (request.dry_run && request.json_path != "-") {
    console.out(message_kind::summary) << "Dry run: " << target.files_written() << " file(s) with "
                                       << target.bytes_written() << " byte(s) would be written";
  }
  if (complete && report_already && outcome.already_in_target() != 0 && !request.quiet &&
      request.json_path != "-") {
    console.out(message_kind::summary) << outcome.already_line();
  }
  if (!request.quiet && request.json_path != "-")
    print_elapsed(console, request.start_time, end_time);
  if (interrupted) {
    console.err(message_kind::error)
        << "Copy interrupted: reading stopped, batches not yet written were dropped";
  }
  if (target_full) {
    const std::string refused = target.stop_line();
    if (!refused.empty()) {
      console.err(message_kind::error) << refused;
    } else {
      console.err(message_kind::error)
          << "Copy stopped: no space left in the target; reading stopped, batches not yet "
             "written were dropped";
    }
  }
  if (!complete) {
    console.err(message_kind::error) << outcome.written_line();
    if (report_already) console.err(message_kind::error) << outcome.already_line();
    const bool rerun = interrupted || target_full || outcome.failed_batches() != 0;
    console.err(message_kind::error) << outcome.summary_line(rerun);
  }
  record.exit_code = exit_code;
  record.end_time = end_time;
  record.interrupted = interrupted;
  record.target_full = target_full;
  record.files_written = target.files_written();
  record.bytes_written = target.bytes_written();
  record.events_passed = storage.total_added() + outcome.dropped_events();
  record.tree = summary_tree_json(storage);
  if (request.record == nullptr && !request.json_path.empty()) {
    record.json_path = request.json_path;
    write_json_summary(record);
  }
  return exit_code;
}

}  // namespace repcopy
