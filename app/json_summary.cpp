#include "app/json_summary.h"

#include <cstdio>

#include "app/progress.h"
#include "app/usage.h"
#include "filters/time_window.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "util/error_text.h"
#include "util/paths.h"
#include "util/text.h"
#include "util/time_text.h"

namespace repcopy {

namespace {

using json = nlohmann::ordered_json;

json time_json(const filter_config& filter, int32_t count_back) {
  if (!filter.time_on) return nullptr;
  static const char* const kinds[] = {"", "days_back", "hours_back", "from", "to", "from_to"};
  json time;
  time["kind"] = filter.time_kind <= 5 ? kinds[filter.time_kind] : "";
  if (filter.time_kind == kTimeDaysBack || filter.time_kind == kTimeHoursBack) {
    time["count"] = count_back;
  }
  time["from"] = utc_text(filter.time_from, utc_form::iso);
  time["to"] = utc_text(filter.time_to, utc_form::iso);
  return time;
}

json filters_json(const run_record& r) {
  if (!r.filter_read) return nullptr;
  json ids = nullptr;
  if (r.filter.id_on) {
    ids = {{"list", r.filter.id_kind == 2 ? "include" : "exclude"}, {"ids", r.filter.ids}};
  }
  return {{"time", time_json(r.filter, r.count_back)}, {"event_ids", std::move(ids)}};
}

json text_or_null(const std::string& text) {
  if (text.empty()) return nullptr;
  return text;
}

std::string temporary_name(const std::string& path) { return path + ".tmp"; }

}  // namespace

json summary_tree_json(const event_storage& storage) {
  json domains = json::array();
  for (const auto& [domain_key, domain] : storage.domains()) {
    json computers = json::array();
    for (const auto& [computer_key, computer] : domain.computers) {
      json sources = json::array();
      for (const auto& [ds_key, ds] : computer.data_sources) {
        sources.push_back(
            {{"name", to_utf8(ds.name)}, {"events", ds.total}, {"pending", ds.batch_count}});
      }
      computers.push_back({{"name", to_utf8(computer.name)},
                           {"os_version", std::to_string(computer.os_major) + "." +
                                              std::to_string(computer.os_minor)},
                           {"data_sources", std::move(sources)}});
    }
    domains.push_back({{"name", to_utf8(domain.name)}, {"computers", std::move(computers)}});
  }
  return {{"name", to_utf8(storage.name())}, {"domains", std::move(domains)}};
}

std::string iso_time_text(uint64_t filetime) {
  const uint64_t units = filetime > kFiletimeUnixEpoch ? filetime - kFiletimeUnixEpoch : 0;
  std::string text = utc_text(int64_t(units / kFiletimeTicksPerSecond), utc_form::iso);
  char millis[8];
  std::snprintf(millis, sizeof millis, ".%03uZ", unsigned(units % kFiletimeTicksPerSecond / 10000));
  text.pop_back();
  return text + millis;
}

std::string json_summary(const run_record& r) {
  const run_counters& counters = r.counters;
  const copy_outcome& outcome = r.outcome;
  const uint64_t unreadable_directories = outcome.unreadable_directories();
  json out;
  out["schema_version"] = kJsonSchemaVersion;
  out["tool"] = "repcopy";
  out["tool_version"] = version_number();
  out["started_at"] = iso_time_text(r.start_time);
  out["ended_at"] = iso_time_text(r.end_time);
  out["exit_code"] = r.exit_code;
  out["error"] = text_or_null(r.error);
  out["source"] = text_or_null(r.source_path);
  out["target"] = text_or_null(r.target_path);
  out["filters"] = filters_json(r);
  out["shard"] =
      r.filter_read && r.filter.shard_count > 1
          ? json(std::to_string(r.filter.shard_index) + "/" + std::to_string(r.filter.shard_count))
          : json(nullptr);
  out["threads"] = r.threads;
  out["read_threads"] = r.read_threads;
  out["level"] = r.level;
  out["dry_run"] = r.dry_run;
  out["quiet"] = r.quiet;
  out["interrupted"] = r.interrupted;
  out["target_full"] = r.target_full;
  out["elapsed_seconds"] = double(r.end_time > r.start_time ? r.end_time - r.start_time : 0) / 1e7;
  out["source_files"] = {{"read", counters.files_read.load()},
                         {"outside_time_window", counters.files_skipped.load()}};
  out["events"] = {{"read", counters.events_read.load()},
                   {"passed_filters", r.events_passed},
                   {"written", outcome.written_events()},
                   {"already_in_target", outcome.already_in_target()}};
  out["batches"] = {{"written", outcome.written_batches()}};
  out["not_copied"] = {
      {"damaged_source_files", outcome.damaged_files()},
      {"unreadable_source_files", outcome.unreadable() - unreadable_directories},
      {"unreadable_source_directories", unreadable_directories},
      {"source_paths_skipped", outcome.skipped()},
      {"source_files_with_names_the_target_cannot_take", outcome.name_failed_files()},
      {"batches_not_written", outcome.failed_batches()},
      {"events_not_written", outcome.failed_events()},
      {"oversized_events_dropped", outcome.dropped_events()},
      {"damaged_target_files", outcome.damaged_target_files()}};
  out["files_written"] = r.files_written;
  out["bytes_written"] = r.bytes_written;
  out["summary"] = r.tree;
  // Every name is valid UTF-8 already; replace is the guard should one ever not be.
  return out.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

bool can_create_beside(const std::string& path, std::string& error) {
  std::u16string wide;
  platform::output_file file;
  if (to_extended_path(discard_messages(), temporary_name(path), wide) != 0 || !file.create(wide)) {
    error = error_text();
    return false;
  }
  file.close();
  platform::remove_path(wide);
  return true;
}

bool replace_file(const std::string& path, const std::string& text, std::string& error) {
  std::u16string temporary, final_path;
  if (to_extended_path(discard_messages(), temporary_name(path), temporary) != 0 ||
      to_extended_path(discard_messages(), path, final_path) != 0) {
    error = error_text();
    return false;
  }
  platform::output_file file;
  if (!file.create(temporary)) {
    error = error_text();
    return false;
  }
  uint32_t written = 0;
  const bool ok =
      file.write(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()), written) &&
      written == text.size();
  if (!ok) error = error_text();
  if (!file.close() && ok) {
    error = error_text();
    platform::remove_path(temporary);
    return false;
  }
  if (!ok) {
    platform::remove_path(temporary);
    return false;
  }
  if (!platform::rename_path(temporary, final_path)) {
    error = error_text();
    platform::remove_path(temporary);
    return false;
  }
  return true;
}

void write_json_summary(const run_record& record) {
  if (record.json_path.empty() || record.json_unusable) return;
  const std::string text = json_summary(record);
  message_sink& console =
      record.console != nullptr ? static_cast<message_sink&>(*record.console) : plain_console();
  if (record.json_path == "-") {
    if (record.json_descriptor < 0 || !platform::write_descriptor(record.json_descriptor, text)) {
      console.write(message_kind::summary, message_stream::out, text);
    }
    return;
  }
  std::string error;
  if (!replace_file(record.json_path, text, error)) {
    console.err(message_kind::error)
        << "Can't write the JSON file " << record.json_path << ":" << error;
  }
}

}  // namespace repcopy
