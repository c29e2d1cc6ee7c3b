// The content hash of an event: every field it says something with counts, one at a time, in
// either form of the event; the numbers a writer renumbers or derives do not; and texts next to
// each other cannot trade characters.
#include "model/event_hash.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/model/every_field_event.h"

namespace repcopy {
namespace {

using testutil::every_field_event;

struct field_case {
  const char* field;
  std::function<void(full_event&)> change;
};

// One row per field the hash reads.
const field_case kContentFields[] = {
    {"origin_flag", [](full_event& e) { e.origin_flag = 0; }},
    {"host_computer", [](full_event& e) { e.host_computer = u"HOSU"; }},
    {"platform_id", [](full_event& e) { e.platform_id = 630; }},
    {"os_major", [](full_event& e) { e.os_major = 5; }},
    {"os_minor", [](full_event& e) { e.os_minor = 2; }},
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
    {"user_binary", [](full_event& e) { e.user_binary[2] = 4; }},
    {"user_binary length", [](full_event& e) { e.user_binary.push_back(0); }},
    {"description", [](full_event& e) { e.description = u"An account logged off"; }},
    {"data", [](full_event& e) { e.data[0] = 0; }},
    {"data length", [](full_event& e) { e.data.pop_back(); }},
    {"string_slots", [](full_event& e) { e.string_slots = 3; }},
    {"strings_aux", [](full_event& e) { e.strings_aux = 0; }},
    {"string ordinal", [](full_event& e) { e.strings[1].ordinal = 3; }},
    {"string text", [](full_event& e) { e.strings[0].text = u"firsu"; }},
    {"one string more",
     [](full_event& e) {
       e.strings.push_back({3, u""});
       e.string_count = 3;
     }},
    {"named field name", [](full_event& e) { e.named_fields[0].name = u"Namf"; }},
    {"named field value", [](full_event& e) { e.named_fields[0].value = u"Valuf"; }},
    {"one named field more",
     [](full_event& e) {
       e.named_fields.push_back({u"", u""});
       e.named_count = 2;
     }},
};

// Numbers a writer sets again (cache records), derives (CRCs) or that depend on the file the
// event sits in (record_sum); the file it was read from is no content either.
const field_case kLeftOut[] = {
    {"host_computer_crc", [](full_event& e) { e.host_computer_crc = 5; }},
    {"description_crc", [](full_event& e) { e.description_crc = 5; }},
    {"record_sum", [](full_event& e) { e.record_sum = 5; }},
    {"src_index", [](full_event& e) { e.src_index = 5; }},
    {"comp_index", [](full_event& e) { e.comp_index = 5; }},
    {"string cache_index", [](full_event& e) { e.strings[0].cache_index = 5; }},
    {"named field value_index", [](full_event& e) { e.named_fields[0].value_index = 5; }},
    {"source_file",
     [](full_event& e) { e.source_file.path = std::make_shared<const std::string>("x.rep"); }},
};

TEST(EventHash, EveryFieldChangesTheHashInBothForms) {
  event_hasher hasher;
  const full_event base = every_field_event();
  const event_hash full_base = hasher(base);
  EXPECT_EQ(hasher(stored_event(base)), full_base);
  for (const field_case& c : kContentFields) {
    SCOPED_TRACE(c.field);
    full_event changed = base;
    c.change(changed);
    ASSERT_NE(changed, base);
    const event_hash h = hasher(changed);
    EXPECT_NE(h, full_base);
    EXPECT_EQ(hasher(stored_event(changed)), h);
  }
}

TEST(EventHash, RenumberedAndDerivedFieldsLeaveTheHashAlone) {
  event_hasher hasher;
  const full_event base = every_field_event();
  const event_hash full_base = hasher(base);
  for (const field_case& c : kLeftOut) {
    SCOPED_TRACE(c.field);
    full_event changed = base;
    c.change(changed);
    EXPECT_EQ(hasher(changed), full_base);
  }
}

// A character moved from one text to the next changes the hash: every text counts its length.
TEST(EventHash, NeighbouringTextsCannotTradeCharacters) {
  struct split {
    const char* fields;
    std::function<void(full_event&, std::u16string, std::u16string)> set;
  };
  const split splits[] = {
      {"user strings",
       [](full_event& e, std::u16string a, std::u16string b) {
         e.user_string1 = a;
         e.user_string2 = b;
       }},
      {"named field name and value",
       [](full_event& e, std::u16string a, std::u16string b) {
         e.named_fields[0] = {a, b};
       }},
      {"insertion strings",
       [](full_event& e, std::u16string a, std::u16string b) {
         e.strings = {{1, a}, {1, b}};
       }},
      {"description and data",
       [](full_event& e, std::u16string a, std::u16string b) {
         // The data follows the description: "ab" + {'c', 0} against "a" + {'b', 0, 'c', 0}.
         e.description = a;
         e.data.clear();
         for (char16_t c : b) e.data.insert(e.data.end(), {uint8_t(c), 0});
       }},
  };
  event_hasher hasher;
  for (const split& s : splits) {
    SCOPED_TRACE(s.fields);
    full_event left = every_field_event(), right = every_field_event();
    s.set(left, u"ab", u"c");
    s.set(right, u"a", u"bc");
    EXPECT_NE(hasher(left), hasher(right));
  }
}

}  // namespace
}  // namespace repcopy
