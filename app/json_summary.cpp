#include "app/json_summary.h"

#include <nlohmann/json.hpp>

#include "util/text.h"

namespace repcopy {

std::string json_summary(const run_totals& totals, const run_counters& counters,
                         const copy_outcome& outcome, const event_storage& storage) {
  using json = nlohmann::ordered_json;
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

  json out;
  out["exit_code"] = totals.exit_code;
  out["interrupted"] = totals.interrupted;
  out["target_full"] = totals.target_full;
  out["dry_run"] = totals.dry_run;
  out["elapsed_seconds"] = totals.elapsed_seconds;
  out["source_files"] = {{"read", counters.files_read.load()},
                         {"damaged", outcome.damaged_files()},
                         {"skipped", counters.files_skipped.load()}};
  out["events"] = {{"read", counters.events_read.load()},
                   {"passed_filters", storage.total_added() + outcome.dropped_events()},
                   {"written", outcome.written_events()},
                   {"not_written", outcome.failed_events()},
                   {"dropped_oversized", outcome.dropped_events()},
                   {"already_in_target", outcome.already_in_target()}};
  out["batches"] = {{"written", outcome.written_batches()},
                    {"not_written", outcome.failed_batches()}};
  out["files_written"] = totals.files_written;
  out["bytes_written"] = totals.bytes_written;
  out["summary"] = {{"name", to_utf8(storage.name())}, {"domains", std::move(domains)}};
  // Every name is valid UTF-8 already; replace is the guard should one ever not be.
  return out.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace repcopy
