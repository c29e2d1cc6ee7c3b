// repgen: writes a sample source repository with the project's own writers. Seeded and
// deterministic in content (file names carry fresh GUIDs): several domains, computers and data
// sources, Windows and non-Windows platforms, a hot part and a main part, insertion strings with
// gaps, named fields, user binaries and event data.
//
//   repgen <repository_dir> [events] [seed]

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "model/storage_item.h"
#include "platform/platform.h"
#include "util/crc32.h"
#include "util/fatal.h"
#include "util/paths.h"
#include "util/text.h"
#include "writer/rep_target.h"

namespace repcopy {
namespace {

struct computer_spec {
  std::u16string domain;  // empty for non-Windows hosts
  std::u16string name;
  uint32_t platform_id;
  uint32_t time_offset;
  std::vector<std::u16string> data_sources;
};

const std::vector<computer_spec>& computers() {
  static const std::vector<computer_spec> kComputers = {
      {u"CORP", u"SRV01", 500, 0, {u"Security", u"System", u"Application"}},
      {u"CORP", u"dc02.corp.local", 500, 3600, {u"Security", u"Directory Service"}},
      {u"LAB", u"WKS-17", 500, 7200, {u"Application", u"Custom Audit Trail"}},
      {u"", u"web01", 630, 0, {u"Syslog", u"LinuxAccountsMonitoring"}},
      {u"", u"sun9", 610, 0, {u"Solaris Audit"}},
  };
  return kComputers;
}

std::u16string text_of(std::mt19937& rng, const char* prefix, int range) {
  return widen_ascii(std::string(prefix) + std::to_string(rng() % unsigned(range)));
}

void set_crcs(full_event& e) {
  e.host_computer_crc = crc32_of_text(e.host_computer);
  e.computer_crc = crc32_of_text(e.computer);
  e.user_string1_crc = crc32_of_text(e.user_string1);
  e.user_string2_crc = crc32_of_text(e.user_string2);
  e.src_name_crc = crc32_of_text(e.src_name);
  e.category_name_crc = crc32_of_text(e.category_name);
  e.description_crc = crc32_of_text(e.description);
  for (auto& s : e.strings) s.crc = crc32_of_text(s.text);
  for (auto& f : e.named_fields) {
    f.name_crc = crc32_of_text(f.name);
    f.value_crc = crc32_of_text(f.value);
  }
}

full_event make_event(std::mt19937& rng, const computer_spec& c, const std::u16string& ds,
                      uint32_t time, uint32_t key) {
  full_event e;
  e.origin_flag = 1;
  e.host_computer = ascii_upper(c.name);
  e.platform_id = c.platform_id;
  e.under_data_source = ds;
  e.record_key = key;
  e.computer = c.name;
  e.user_string1 = text_of(rng, "user", 12);
  e.user_string2 = c.platform_id == 500 ? c.domain : u"";
  if (rng() % 4 == 0) e.user_binary = {1, 5, 0, 0, 0, 0, 0, 5, uint8_t(rng()), uint8_t(rng())};
  e.category = rng() % 16;
  e.src_name = text_of(rng, "Source-", 5);
  uint32_t id = 4600 + rng() % 40;
  e.event_id = c.platform_id == 610 ? id | 0x10000u : id;
  e.category_name = text_of(rng, "Category ", 8);
  e.event_time = time;
  e.stored_time = time - c.time_offset;
  e.record_sum = time;
  e.domain = c.platform_id == 500 ? c.domain : (c.platform_id == 630 ? u"LINUX" : u"SunOS");
  if (rng() % 3 != 0) e.description = text_of(rng, "Something happened #", 50);
  e.data.resize(rng() % 48);
  for (auto& b : e.data) b = uint8_t(rng());
  // Insertion strings: ordinals 1..n, sometimes with a gap (1, 2, 5).
  uint32_t n = rng() % 5;
  uint32_t ordinal = 0;
  for (uint32_t k = 0; k < n; ++k) {
    ordinal += (rng() % 6 == 0) ? 3 : 1;
    insertion_string s;
    s.ordinal = ordinal;
    s.text = text_of(rng, "arg", 30);
    e.strings.push_back(s);
  }
  e.string_slots = uint16_t(ordinal);
  e.string_count = uint32_t(e.strings.size());
  if (rng() % 5 == 0) {
    named_field f;
    f.name = text_of(rng, "Field", 4);
    f.value = text_of(rng, "value-", 20);
    e.named_fields.push_back(f);
  }
  e.named_count = uint32_t(e.named_fields.size());
  set_crcs(e);
  return e;
}

// Files one batch under root and starts a new one.
int flush(RepTarget& target, const computer_spec& c, const std::u16string& ds, storage_item& item) {
  if (item.events.empty()) return 0;
  item.domain_name = c.platform_id == 500 ? c.domain : u"Unknown";
  item.computer_name = ascii_upper(c.name);
  item.platform_id = c.platform_id;
  item.ds_name = ds;
  item.batch_count = uint32_t(item.events.size());
  item.ds_total = item.batch_count;
  int failed = target.flush_items(std::move(item)) != 0 ? 1 : 0;
  item = storage_item{};
  return failed;
}

// Writes count events spread over every computer and data source below root, in files of at
// most kFileEvents events, so that directories hold several files.
int write_part(const std::u16string& root, std::mt19937& rng, uint32_t count, uint32_t start,
               uint32_t& key) {
  constexpr size_t kFileEvents = 250;
  RepTarget target(root);
  std::map<std::pair<size_t, size_t>, storage_item> batches;
  int failures = 0;
  for (uint32_t i = 0; i < count; ++i) {
    size_t ci = rng() % computers().size();
    const computer_spec& c = computers()[ci];
    size_t di = rng() % c.data_sources.size();
    storage_item& item = batches[{ci, di}];
    item.events.push_back(make_event(rng, c, c.data_sources[di], start + i * 7, ++key));
    if (item.events.size() == kFileEvents) failures += flush(target, c, c.data_sources[di], item);
  }
  for (auto& [k, item] : batches) {
    const computer_spec& c = computers()[k.first];
    failures += flush(target, c, c.data_sources[k.second], item);
  }
  return failures;
}

int generate(int argc, char** argv) {
  const std::vector<std::string> args = platform::utf8_arguments(argc, argv);
  if (argc < 2) {
    std::cerr << "usage: repgen <repository_dir> [events=3000] [seed=1]" << std::endl;
    return 2;
  }
  uint32_t events = argc > 2 ? uint32_t(std::strtoul(argv[2], nullptr, 10)) : 3000;
  uint32_t seed = argc > 3 ? uint32_t(std::strtoul(argv[3], nullptr, 10)) : 1;
  std::u16string root;
  if (to_extended_path(args[1], root) != 0) return 2;
  std::mt19937 rng(seed);
  uint32_t key = 0;
  const uint32_t start = 1700000000;  // 2023-11-14
  uint32_t hot = events / 10;
  int failures =
      write_part(root + platform::kSeparator + u"Hot$", rng, hot, start + (events - hot) * 7, key);
  failures += write_part(root, rng, events - hot, start, key);
  std::cout << "repgen: " << events << " events written to " << argv[1] << std::endl;
  return failures == 0 ? 0 : 1;
}

}  // namespace
}  // namespace repcopy

int main(int argc, char** argv) {
  using namespace repcopy;
  platform::setup_console();
  try {
    return generate(argc, argv);
  } catch (const fatal_error& error) {
    print_fatal(error, std::cout, std::cerr);
    return kFatalExitCode;
  }
}
