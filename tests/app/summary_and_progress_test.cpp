// The JSON summary and the progress line's text.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "app/json_summary.h"
#include "app/progress.h"
#include "util/time_text.h"

namespace repcopy {
namespace {

full_event event_named(std::u16string domain, std::u16string computer, std::u16string source) {
  full_event e;
  e.domain = std::move(domain);
  e.host_computer = e.computer = std::move(computer);
  e.under_data_source = std::move(source);
  e.platform_id = 500;
  e.os_major = 6;
  e.os_minor = 1;
  return e;
}

// Names from file content may hold any code units: the JSON stays valid and every name is the
// UTF-8 of its code units, an unpaired surrogate becoming U+FFFD.
TEST(JsonSummary, TotalsAndTreeWithHostileNames) {
  event_storage storage;
  storage_item item;
  const std::u16string lone_high = {u'A', char16_t(0xD800), u'B'};
  const std::u16string lone_low = {char16_t(0xDC00)};
  const std::u16string pair = {char16_t(0xD83D), char16_t(0xDE00), u'"', u'\\', u'\n', u'\x01'};
  storage.add(event_named(lone_high, u"srv", pair), item);
  storage.add(event_named(lone_high, u"srv", pair), item);
  storage.add(event_named(u"", lone_low, u"Security"), item);
  run_record record;
  record.outcome.add_written_batch(2);
  record.outcome.add_failed_batch(1);
  record.outcome.add_unreadable();
  record.outcome.add_unreadable_directory();
  record.counters.files_read = 4;
  record.counters.files_skipped = 2;
  record.counters.events_read = 3;
  record.exit_code = 3;
  record.dry_run = true;
  record.target_full = true;
  record.start_time = kFiletimeUnixEpoch + 1700000000ull * kFiletimeTicksPerSecond;
  record.end_time = record.start_time + 15000000;
  record.files_written = 1;
  record.bytes_written = 4096;
  record.events_passed = 3;
  record.tree = summary_tree_json(storage);

  const nlohmann::json j = nlohmann::json::parse(json_summary(record));
  EXPECT_EQ(j["exit_code"], 3);
  EXPECT_EQ(j["dry_run"], true);
  EXPECT_EQ(j["target_full"], true);
  EXPECT_EQ(j["elapsed_seconds"], 1.5);
  EXPECT_EQ(j["started_at"], "2023-11-14T22:13:20.000Z");
  EXPECT_EQ(j["ended_at"], "2023-11-14T22:13:21.500Z");
  EXPECT_EQ(j["error"], nullptr);
  EXPECT_EQ(j["source_files"], nlohmann::json::parse(R"({"read":4,"outside_time_window":2})"));
  EXPECT_EQ(j["events"], nlohmann::json::parse(R"({"read":3,"passed_filters":3,"written":2,
                                                  "already_in_target":0})"));
  EXPECT_EQ(j["batches"], nlohmann::json::parse(R"({"written":1})"));
  EXPECT_EQ(j["not_copied"], nlohmann::json::parse(R"({"damaged_source_files":0,
      "unreadable_source_files":1, "unreadable_source_directories":1, "source_paths_skipped":0,
      "source_files_with_names_the_target_cannot_take":0, "batches_not_written":1,
      "events_not_written":1, "oversized_events_dropped":0, "damaged_target_files":0})"));
  EXPECT_EQ(std::tie(j["files_written"], j["bytes_written"]), std::tuple(1, 4096));
  const auto& domains = j["summary"]["domains"];
  ASSERT_EQ(domains.size(), 2u);
  EXPECT_EQ(domains[0]["name"],
            "A\xEF\xBF\xBD"
            "B");  // keys in code-unit order: "A..." first
  EXPECT_EQ(domains[1]["name"], "Unknown");
  const auto& computer = domains[0]["computers"][0];
  EXPECT_EQ(std::tie(computer["name"], computer["os_version"]), std::tuple("SRV", "6.1"));
  EXPECT_EQ(computer["data_sources"][0]["name"], "\xF0\x9F\x98\x80\"\\\n\x01");
  EXPECT_EQ(computer["data_sources"][0]["events"], 2);
  EXPECT_EQ(computer["data_sources"][0]["pending"], 2);
  EXPECT_EQ(domains[1]["computers"][0]["name"], "\xEF\xBF\xBD");
}

// The share done and the time left follow the events written (the source's events estimated
// from those read per source byte); the rate is unpacked bytes; narrower terminals get shorter
// forms, never a line reaching the last column.
TEST(ProgressLine, Text) {
  const progress_figures start{0, 8011, 0, 128000000, 0, 0, 0, 0};
  // A quarter of the source read, 448000 of an estimated 2048000 events written after 5 s.
  const progress_figures middle{1234,   8011,   32000000, 128000000,
                                512000, 448000, 64000000, 5000000000};
  const progress_figures end{8011,     8011,     128000000,  128000000,
                             20000000, 20000000, 3725000000, 3725000000000};
  const progress_figures unsurveyed{3, 0, 10, 0, 7, 0, 100, 1000000000};
  const std::tuple<progress_figures, unsigned, std::string> cases[] = {
      {start, 200, "0% 0/8011 files, events 0 read 0 written, 0.0 MB/s, 0 ev/s, 0:00 (-:-- left)"},
      {middle, 200,
       "21% 1234/8011 files, events 512.0k read 448.0k written, 12.8 MB/s, 89.6k ev/s, 0:05 "
       "(0:17 left)"},
      {middle, 80, "21% events 512.0k read 448.0k written, 12.8 MB/s, 89.6k ev/s, 0:17 left"},
      {middle, 60, "21% 448.0k written, 12.8 MB/s, 89.6k ev/s, 0:17 left"},
      {middle, 30, "21% 448.0k written, 12.8 MB/s"},
      {middle, 20, "21% 448.0k written,"},
      {end, 200,
       "100% 8011/8011 files, events 20.0M read 20.0M written, 1.0 MB/s, 5369 ev/s, 1:02:05 "
       "(0:00 left)"},
      {unsurveyed, 200,
       "0% 3/0 files, events 7 read 0 written, 0.0 MB/s, 0 ev/s, 0:01 (-:-- left)"}};
  for (const auto& [figures, columns, text] : cases) {
    EXPECT_EQ(progress_text(figures, columns), text) << columns;
    EXPECT_LT(progress_text(figures, columns).size(), columns);
  }
}

}  // namespace
}  // namespace repcopy
