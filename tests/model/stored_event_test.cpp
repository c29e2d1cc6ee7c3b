#include "model/stored_event.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "model/storage_item.h"

namespace repcopy {
namespace {

// Every field different from its neighbours and from its default, so that a field copied from
// the wrong place, or not at all, shows.
full_event every_field() {
  full_event e;
  uint32_t n = 1;
  for (uint32_t* v : {&e.origin_flag, &e.host_computer_crc, &e.platform_id, &e.os_major,
                      &e.os_minor, &e.record_key, &e.computer_crc, &e.user_string1_crc,
                      &e.user_string2_crc, &e.category, &e.src_name_crc, &e.event_id,
                      &e.category_name_crc, &e.event_time, &e.stored_time, &e.computer_type,
                      &e.record_sum, &e.description_crc, &e.string_count, &e.named_count,
                      &e.src_index, &e.cat_index, &e.comp_index, &e.user_index, &e.desc_index})
    *v = 1000 + n++;
  e.string_slots = 7;
  e.strings_aux = 9;
  e.host_computer = u"WS-0042.CORP.EXAMPLE";
  e.under_data_source = u"Security";
  e.computer = u"ws-0042";
  e.user_string1 = u"CORP\\alice";
  e.user_string2 = u"S-1-5-21-1004336348-1177238915-682003330-512";
  e.src_name = u"Microsoft-Windows-Security-Auditing";
  e.category_name = u"Logon";
  e.domain = u"CORP";
  e.description = u"An account was successfully logged on.";
  e.user_binary = {1, 2, 3};
  e.data = {9, 8, 7, 6, 5};
  e.strings = {{1, u"S-1-5-18", 11, 21}, {2, u"", 0, 22}, {5, u"x", 13, 23},
               {6, std::u16string(300, u'q'), 14, 24}};
  e.named_fields = {{u"ProcessId", u"0x1c4", 31, 32, 33, 34}, {u"", u"only a value", 0, 41, 42, 43}};
  e.source_file.path = std::make_shared<const std::string>("/src/a.rep");
  return e;
}

full_event odd_strings() {
  full_event e;
  e.strings = {{1, u"", 0, 0}, {2, u"", 0, 0}};
  e.description = std::u16string(u"a\0b", 3);  // a NUL inside a text stays
  e.named_fields = {{u"", u"", 0, 0, 0, 0}};
  return e;
}

full_event single_characters() {  // odd lengths: every text starts on a char16_t boundary
  full_event e;
  e.data = {1};
  e.computer = u"A";
  e.strings = {{1, u"b", 0, 0}};
  e.user_binary = {2, 3, 4};
  e.src_name = u"c";
  return e;
}

struct stored_case {
  const char* name;
  full_event (*make)();
};

const stored_case kStoredCases[] = {
    {"every field set", every_field},
    {"nothing set", [] { return full_event{}; }},
    {"empty texts and a NUL", odd_strings},
    {"odd lengths", single_characters},
};

// The stored copy has the event's content, in its own memory: the event it came from is gone
// before the copy is read, and moving the copy keeps its texts and tables valid.
TEST(StoredEvent, HoldsTheSameContentInItsOwnBlock) {
  for (const stored_case& c : kStoredCases) {
    SCOPED_TRACE(c.name);
    const full_event expected = c.make();
    std::deque<stored_event> kept;
    {
      auto source = std::make_unique<full_event>(c.make());
      stored_event stored(*source);
      source.reset();
      kept.push_back(std::move(stored));
    }
    kept.emplace_front();  // moves nothing, but the stored event is no longer the first
    EXPECT_EQ(kept.back().to_full_event(), expected);
    // The memory bound counts the reader's event; its stored copy must never hold more.
    // The memory bound counts at least the record and every byte the block must hold.
    uint64_t held = expected.data.size() + expected.user_binary.size();
    for (const std::u16string* t :
         {&expected.host_computer, &expected.under_data_source, &expected.computer,
          &expected.user_string1, &expected.user_string2, &expected.src_name,
          &expected.category_name, &expected.domain, &expected.description})
      held += 2 * t->size();
    for (const insertion_string& s : expected.strings) held += sizeof(stored_string) + 2 * s.text.size();
    for (const named_field& f : expected.named_fields)
      held += sizeof(stored_field) + 2 * (f.name.size() + f.value.size());
    EXPECT_GE(kept.back().bytes(), sizeof(stored_event) + held);
  }
}

// The writers set record numbers through the tables; they stay with the event.
TEST(StoredEvent, RecordNumbersSetByWritersStay) {
  event_batch batch{every_field(), full_event{}};
  batch[0].strings[3].cache_index = 77;
  batch[0].named_fields[1].value_index = 88;
  batch[0].desc_index = 99;
  event_batch moved = std::move(batch);
  const full_event e = moved[0].to_full_event();
  EXPECT_EQ(e.strings[3].cache_index, 77u);
  EXPECT_EQ(e.strings[3].text, std::u16string(300, u'q'));
  EXPECT_EQ(e.named_fields[1].value_index, 88u);
  EXPECT_EQ(e.desc_index, 99u);
  EXPECT_EQ(moved[1].to_full_event(), full_event{});
}

}  // namespace
}  // namespace repcopy
