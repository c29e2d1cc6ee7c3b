// The fields repdump diff names for a changed event: each field alone is named, under its own
// name, and the numbers the hash leaves out are never named.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "audit/event_hash.h"
#include "tests/model/every_field_event.h"

namespace repcopy {
namespace {

using testutil::every_field_event;

TEST(ChangedFields, EachFieldIsNamedAlone) {
  struct row {
    const char* named;  // nullptr: nothing is named
    std::function<void(full_event&)> change;
  };
  const row rows[] = {
      {"origin_flag", [](full_event& e) { e.origin_flag = 0; }},
      {"host_computer", [](full_event& e) { e.host_computer = u"HOSU"; }},
      {"platform_id", [](full_event& e) { e.platform_id = 630; }},
      {"os_version", [](full_event& e) { e.os_major = 5; }},
      {"os_version", [](full_event& e) { e.os_minor = 2; }},
      {"under_data_source", [](full_event& e) { e.under_data_source = u"System"; }},
      {"record_key", [](full_event& e) { e.record_key = 78; }},
      {"computer", [](full_event& e) { e.computer = u"pd"; }},
      {"user_string1", [](full_event& e) { e.user_string1 = u"CORQ"; }},
      {"user_string2", [](full_event& e) { e.user_string2 = u"bob"; }},
      {"category", [](full_event& e) { e.category = 13; }},
      {"src_name", [](full_event& e) { e.src_name = u"Sourcf"; }},
      {"event_id", [](full_event& e) { e.event_id = 4625; }},
      {"category_name", [](full_event& e) { e.category_name = u"Logoff"; }},
      {"event_time", [](full_event& e) { e.event_time += 1; }},
      {"stored_time", [](full_event& e) { e.stored_time += 1; }},
      {"domain", [](full_event& e) { e.domain = u"CORQ"; }},
      {"computer_type", [](full_event& e) { e.computer_type = 3; }},
      {"user_binary", [](full_event& e) { e.user_binary.pop_back(); }},
      {"description", [](full_event& e) { e.description = u"An account logged off"; }},
      {"data", [](full_event& e) { e.data[3] = 0; }},
      {"string_slots", [](full_event& e) { e.string_slots = 3; }},
      {"string_slots", [](full_event& e) { e.strings_aux = 0; }},
      {"strings", [](full_event& e) { e.strings[1].ordinal = 3; }},
      {"strings", [](full_event& e) { e.strings[0].text = u"firsu"; }},
      {"strings", [](full_event& e) { e.strings.pop_back(); }},
      {"named_fields", [](full_event& e) { e.named_fields[0].name = u"Namf"; }},
      {"named_fields", [](full_event& e) { e.named_fields[0].value = u"Valuf"; }},
      {"named_fields",
       [](full_event& e) {
         e.named_fields.push_back({u"", u""});
       }},
      {nullptr, [](full_event& e) { e.record_sum = 5; }},
      {nullptr, [](full_event& e) { e.description_crc = 5; }},
      {nullptr, [](full_event& e) { e.cat_index = 5; }},
      {nullptr, [](full_event& e) { e.strings[0].cache_index = 5; }},
  };
  const full_event base = every_field_event();
  EXPECT_TRUE(changed_fields(base, base).empty());
  for (const row& r : rows) {
    full_event changed = base;
    r.change(changed);
    const std::vector<std::string> expected =
        r.named ? std::vector<std::string>{r.named} : std::vector<std::string>{};
    EXPECT_EQ(changed_fields(base, changed), expected) << (r.named ? r.named : "(none)");
    EXPECT_EQ(changed_fields(changed, base), expected) << (r.named ? r.named : "(none)");
  }
}

}  // namespace
}  // namespace repcopy
