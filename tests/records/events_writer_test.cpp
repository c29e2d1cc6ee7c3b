// 0_events.dat as written, against hand-written bytes.

#include "records/events_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

#include "record_test_util.h"
#include "records/string_words.h"

namespace repcopy {
namespace {

using test::byte_builder;
using test::bytes;
using test::event_builder;
using test::ins;

// Cache indexes as the cache writers would have stored them.
full_event indexed(event_builder b, uint32_t first_cache_index = 0x10) {
  full_event e = b;
  e.src_index = 1;
  e.cat_index = 2;
  e.comp_index = 3;
  e.user_index = 4;
  e.desc_index = kNoIndex;
  for (size_t k = 0; k < e.strings.size(); ++k)
    e.strings[k].cache_index = first_cache_index + uint32_t(k);
  return e;
}

// The fixed 36 bytes with the indexes of indexed().
byte_builder fixed(uint32_t data_length, uint16_t slots, uint16_t aux, uint32_t stored_delta,
                   uint32_t event_delta) {
  byte_builder b;
  b.u32(data_length).u32(1).u32(2).u32(3).u32(4).u32(0xFFFFFFFF);
  b.u16(slots).u16(aux).u32(stored_delta).u32(event_delta);
  return b;
}

bytes write(std::vector<full_event> list) {
  event_batch events(list.begin(), list.end());
  events_dat writer;
  const uint32_t estimate = writer.estimate_size(events);
  bytes item = test::write_item(writer, events);
  EXPECT_EQ(item.size(), estimate) << "the estimate of 0_events.dat is exact";
  return item;
}

TEST(EventsDatWriter, EventWithoutStringsOrDataIs36Bytes) {
  bytes item = write({indexed(event_builder().times(1000, 990))});
  bytes expected = fixed(0, 0, 0, 990, 1000);
  ASSERT_EQ(item.size(), 36u);
  EXPECT_EQ(item, expected);
}

TEST(EventsDatWriter, StringsAuxAndDataAreCarried) {
  full_event e = indexed(event_builder().times(7, 7));
  e.strings_aux = 0xBEEF;
  e.data = {0xDE, 0xAD, 0x00};
  bytes expected = fixed(3, 0, 0xBEEF, 7, 7).raw({0xDE, 0xAD, 0x00});
  EXPECT_EQ(write({e}), expected);
}

// One event per case: string_slots, ordinals, and the words expected after the fixed part
// (cache indexes 0x10, 0x11, ... in list order).
struct words_case {
  const char* name;
  uint16_t slots;
  std::vector<uint32_t> ordinals;
  std::vector<uint32_t> words;
};

void PrintTo(const words_case& c, std::ostream* os) { *os << c.name; }

const words_case kWordCases[] = {
    {"ordinals 1 2 3", 3, {1, 2, 3}, {0x10, 0x11, 0x12}},
    {"ordinals 1 2 5", 5, {1, 2, 5}, {0x10, 0x11, 0x12 | EXPLICIT_FLAG, 4, TERMINATOR}},
    {"first ordinal 3", 3, {3}, {0x10 | EXPLICIT_FLAG, 2, TERMINATOR}},
    {"first ordinal 3 of 3 slots with more",
     4,
     {3, 4},
     {0x10 | EXPLICIT_FLAG, 2, 0x11, TERMINATOR}},
    {"ordinals 1 2 3 of 5 slots", 5, {1, 2, 3}, {0x10, 0x11, 0x12, TERMINATOR}},
    {"ordinals 1 3 of 3 slots", 3, {1, 3}, {0x10, 0x11 | EXPLICIT_FLAG, 2}},
    {"slots without strings", 4, {}, {TERMINATOR}},
    {"one slot without strings", 1, {}, {TERMINATOR}},
    {"no slots no strings", 0, {}, {}},
    {"slots 32768 one string", 32768, {1}, {0x10}},
    {"slots 65535 no strings", 65535, {}, {TERMINATOR}},
    {"decreasing ordinals",
     10,
     {6, 2},
     {0x10 | EXPLICIT_FLAG, 5, 0x11 | EXPLICIT_FLAG, 1, TERMINATOR}},
    {"gap then back in sequence", 4, {1, 3, 4}, {0x10, 0x11 | EXPLICIT_FLAG, 2, 0x12}},
};

class EventsDatWords : public testing::TestWithParam<words_case> {};

TEST_P(EventsDatWords, WritesExactlyTheseWords) {
  const words_case& c = GetParam();
  std::vector<insertion_string> list;
  for (uint32_t o : c.ordinals) list.push_back(ins(o, u"s"));
  full_event e = indexed(event_builder().times(5, 5).strings(c.slots, list));

  EXPECT_EQ(RealIndexCount(e), c.words.size());
  byte_builder expected = fixed(0, c.slots, 0, 5, 5);
  for (uint32_t w : c.words) expected.u32(w);
  EXPECT_EQ(write({e}), expected.take());
}

INSTANTIATE_TEST_SUITE_P(Cases, EventsDatWords, testing::ValuesIn(kWordCases),
                         [](const auto& info) {
                           std::string n = info.param.name;
                           std::replace(n.begin(), n.end(), ' ', '_');
                           return n;
                         });

TEST(EventsDatWriter, TimesAreDeltasWrappedModulo2To32) {
  // The batch is sorted by event_time; stored times of different computers may go backwards.
  full_event a = indexed(event_builder().times(100, 100));
  full_event b = indexed(event_builder().times(200, 50));
  full_event c = indexed(event_builder().times(200, 0xFFFFFFF0));
  // clang-format off
  bytes expected = byte_builder()
                       .raw(fixed(0, 0, 0, 100, 100))
                       .raw(fixed(0, 0, 0, 0xFFFFFFCE, 100))   // 50 - 100
                       .raw(fixed(0, 0, 0, 0xFFFFFFBE, 0));    // 0xFFFFFFF0 - 50
  EXPECT_EQ(write({a, b, c}), expected);
  // clang-format on
}

TEST(EventsDatWriter, EmptyBatchIsAnEmptyItem) {
  event_batch events;
  events_dat writer;
  EXPECT_EQ(writer.estimate_size(events), 0u);
  EXPECT_EQ(writer.serialize({}, events), 0u);
}

TEST(EventsDatWriter, RecordsFollowEachOtherWithTheirData) {
  full_event a = indexed(event_builder().times(10, 10).strings(2, {ins(1, u"x"), ins(2, u"y")}));
  a.data = {1, 2};
  full_event b = indexed(event_builder().times(12, 12), 0x20);
  b.data = {3};
  // clang-format off
  bytes expected = byte_builder()
                       .raw(fixed(2, 2, 0, 10, 10)).u32(0x10).u32(0x11).raw({1, 2})
                       .raw(fixed(1, 0, 0, 2, 2)).raw({3});
  // clang-format on
  EXPECT_EQ(write({a, b}), expected);
}

TEST(EventsDatWriter, NeverWritesPastItsArea) {
  event_batch events{
      indexed(event_builder().times(1, 1).strings(3, {ins(1, u"a"), ins(2, u"b"), ins(3, u"c")}))};
  events_dat writer;
  const uint32_t estimate = writer.estimate_size(events);
  bytes area(estimate + 8, 0xAA);
  const uint32_t written = writer.serialize(std::span<uint8_t>(area.data(), estimate - 5), events);
  EXPECT_LE(written, estimate - 5);
  for (size_t i = estimate - 5; i < area.size(); ++i) EXPECT_EQ(area[i], 0xAA);
}

using EventsDatDeathTest = testing::Test;

// Runs serialize with standard output sent to standard error, where EXPECT_EXIT looks.
void serialize_to_stderr(event_batch& events) {
  std::cout.rdbuf(std::cerr.rdbuf());
  events_dat writer;
  bytes area(writer.estimate_size(events), 0);
  writer.serialize(area, events);
}

TEST_F(EventsDatDeathTest, MoreStringsThanTheSlotsAllowStopTheProcess) {
  // Three words cannot be found by a reader of a record with string_slots 2, nor one word in a
  // record without slots.
  event_batch three{
      indexed(event_builder().times(1, 1).strings(2, {ins(1, u"a"), ins(2, u"b"), ins(3, u"c")}))};
  EXPECT_EXIT(serialize_to_stderr(three), testing::ExitedWithCode(255),
              "^error: jr \\+ 1 != RealIndexCount\n$");
  event_batch unslotted{indexed(event_builder().times(1, 1).strings(0, {ins(1, u"a")}))};
  EXPECT_EXIT(serialize_to_stderr(unslotted), testing::ExitedWithCode(255),
              "error: jr \\+ 1 != RealIndexCount");
}

}  // namespace
}  // namespace repcopy
