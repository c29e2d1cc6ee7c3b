// 0_events.dat: the writer against hand-written bytes, the string-word rule written and read
// back, and RepEventsBuffer with the word decoder over hand-written bytes.
#include <gtest/gtest.h>

#include "record_test_util.h"
#include "records/cache_readers.h"
#include "records/events_reader.h"
#include "records/record_format.h"
#include "records/string_words.h"
#include "util/fatal.h"

namespace repcopy {
namespace {

using test::bytes;
using test::ins;
using test::le;

// An event with the cache indexes the cache writers would have stored: src 1, cat 2, comp 3,
// user 4, no description, strings 0x10, 0x11, ... in list order.
full_event indexed(uint32_t event_time, uint32_t stored_time, uint16_t slots = 0,
                   const std::vector<uint32_t>& ordinals = {}) {
  full_event e = test::E({.event_time = event_time, .stored_time = stored_time});
  e.string_slots = slots;
  std::tie(e.src_index, e.cat_index, e.comp_index, e.user_index) = std::tuple(1, 2, 3, 4);
  e.desc_index = kNoIndex;
  for (uint32_t o : ordinals) e.strings.push_back(ins(o, u"s"));
  for (size_t k = 0; k < e.strings.size(); ++k) e.strings[k].cache_index = 0x10 + uint32_t(k);
  e.string_count = uint32_t(e.strings.size());
  return e;
}

// The fixed 36 bytes with the indexes of indexed().
le fixed(uint32_t data_length, uint16_t slots, uint32_t stored_delta, uint32_t event_delta) {
  le b = le().u32s({data_length, 1, 2, 3, 4, test::kNone});
  return b.u16(slots).u16(0).u32s({stored_delta, event_delta});
}

bytes write(event_batch events) {
  const uint32_t estimate = create_segment(record_file::kEventsId)->estimate_size(events);
  bytes item = test::write_item(record_file::kEventsId, events);
  EXPECT_EQ(item.size(), estimate) << "the estimate of 0_events.dat is exact";
  return item;
}

TEST(EventsDatWriter, FixedPartDataAndWrappedTimeDeltas) {
  EXPECT_EQ(write({indexed(1000, 990)}), bytes(fixed(0, 0, 990, 1000)));  // 36 bytes
  // The batch is sorted by event_time; stored times of different computers may go backwards.
  full_event b = indexed(200, 50), c = indexed(200, 0xFFFFFFF0);
  b.data = {0xDE, 0xAD};
  le expected = fixed(0, 0, 100, 100);
  expected.raw(fixed(2, 0, 0xFFFFFFCE, 100)).raw({0xDE, 0xAD});  // 50 - 100
  expected.raw(fixed(0, 0, 0xFFFFFFBE, 0));                      // 0xFFFFFFF0 - 50
  EXPECT_EQ(write({indexed(100, 100), b, c}), bytes(expected));
}

// One event per case: string_slots, ordinals, and the words expected after the fixed part.
const struct words_case {
  uint16_t slots;
  std::vector<uint32_t> ordinals;
  std::vector<uint32_t> words;
} kWordCases[] = {
    {3, {1, 2, 3}, {0x10, 0x11, 0x12}},
    {5, {1, 2, 5}, {0x10, 0x11, 0x12 | EXPLICIT_FLAG, 4, TERMINATOR}},
    {3, {3}, {0x10 | EXPLICIT_FLAG, 2, TERMINATOR}},  // a first ordinal of 3
    {5, {1, 2, 3}, {0x10, 0x11, 0x12, TERMINATOR}},   // fewer words than slots
    {3, {1, 3}, {0x10, 0x11 | EXPLICIT_FLAG, 2}},     // as many as slots
    {4, {}, {TERMINATOR}},                            // slots without strings
    {0, {}, {}},
    {32768, {1}, {0x10}},  // a reader takes one word
    {65535, {}, {TERMINATOR}},
    {10, {6, 2}, {0x10 | EXPLICIT_FLAG, 5, 0x11 | EXPLICIT_FLAG, 1, TERMINATOR}},
    {300, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, {}}  // words not compared, read back only
};

TEST(StringWords, WrittenExactlyAndReadBackToTheSameStrings) {
  for (const words_case& c : kWordCases) {
    SCOPED_TRACE(::testing::Message() << "slots " << c.slots << ", " << c.ordinals.size());
    std::vector<insertion_string> strings;
    for (uint32_t o : c.ordinals) strings.push_back(ins(o, u"t" + std::u16string(1, char16_t(o))));
    full_event e = indexed(5, 5, c.slots, c.ordinals);
    if (!c.words.empty() || c.ordinals.empty()) {
      EXPECT_EQ(RealIndexCount(stored_event(e)), c.words.size());
      le expected = fixed(0, c.slots, 5, 5);
      for (uint32_t w : c.words) expected.u32(w);
      EXPECT_EQ(write({e}), bytes(expected));
    }
    // Through the writers and readers, with a second event that shows where the first ends.
    event_batch events{test::E({.event_time = 5, .string_slots = c.slots, .strings = strings}),
                       test::E({.event_time = 6, .string_slots = 1, .strings = {ins(1, u"next")}})};
    const bytes ins_item = test::write_item(record_file::kInsId, events),
                events_item = test::write_item(record_file::kEventsId, events);
    // Every string is distinct and every word counted: both estimates are exact.
    EXPECT_EQ(create_segment(record_file::kInsId)->estimate_size(events), ins_item.size());
    EXPECT_EQ(create_segment(record_file::kEventsId)->estimate_size(events), events_item.size());
    RepInsBuffer cache(ins_item, ins_item.size());
    RepEventsBuffer reader(events_item, events_item.size());
    ASSERT_EQ(cache.Load(), 0);
    ASSERT_EQ(reader.Load(), 0);
    ASSERT_EQ(reader.ulCount(), 2u);
    EXPECT_EQ(reader.record(0).words.count, RealIndexCount(events[0]));
    for (uint32_t i = 0; i < 2; ++i) {
      std::vector<uint32_t> words;
      reader.words(reader.record(i), words);
      const auto slots = decode_string_words(words, reader.record(i).string_slots);
      ASSERT_EQ(slots.size(), events[i].strings.size());
      for (size_t k = 0; k < slots.size(); ++k) {
        EXPECT_EQ(slots[k].ordinal, events[i].strings[k].ordinal);
        EXPECT_EQ(cache.string_at(slots[k].cache_index), events[i].strings[k].text);
      }
    }
  }
}

TEST(EventsDatWriter, MoreStringsThanTheSlotsAllowAreAFatalStop) {
  event_batch events{indexed(1, 1, 2, {1, 2, 3})};
  auto writer = create_segment(record_file::kEventsId);
  bytes area(writer->estimate_size(events), 0);
  try {
    writer->serialize(area, events);
    ADD_FAILURE() << "no fatal stop";
  } catch (const fatal_error& e) {
    EXPECT_EQ(e.marker(), "error: jr + 1 != RealIndexCount\n");
  }
}

le head(uint32_t data_length, uint16_t slots) {
  return le().u32s({data_length, 11, 12, 13, 14, 15}).u16(slots).u16(0x1234).u32s({100, 200});
}

TEST(RepEventsBuffer, ReadsEveryFieldAndSlotsOf32768TakeWordZeroOnly) {
  le item = head(2, 3).u32s({7, NO_STRING, 8}).raw({0xAB, 0xCD});
  item.raw(head(4, 40000)).u32s({9, 10});  // 4 bytes of data, not words
  RepEventsBuffer buffer(item, item.b.size());
  ASSERT_EQ(buffer.Load(), 0);
  ASSERT_EQ(buffer.ulCount(), 2u);
  const events_layout r = buffer.record(0);
  auto words = [&buffer](const events_layout& record) {
    std::vector<uint32_t> out;
    buffer.words(record, out);
    return out;
  };
  EXPECT_EQ(std::make_tuple(r.data_length, r.src_index, r.cat_index, r.comp_index, r.user_index,
                            r.desc_index, r.stored_delta, r.event_delta),
            std::make_tuple(2u, 11u, 12u, 13u, 14u, 15u, 100u, 200u));
  EXPECT_EQ(r.strings_aux, 0x1234);
  EXPECT_EQ(bytes(r.data.bytes.begin(), r.data.bytes.end()), (bytes{0xAB, 0xCD}));
  EXPECT_EQ(decode_string_words(words(r), r.string_slots),
            (std::vector<decoded_slot>{{1, 7}, {2, NO_STRING}, {3, 8}}));  // an empty slot
  EXPECT_EQ(words(buffer.record(1)), std::vector<uint32_t>{9});
  EXPECT_EQ(buffer.record(1).data.bytes.size(), 4u);
}

TEST(RepEventsBuffer, CutShortOrLyingItemsFailLoad) {
  const bytes first = le().raw(head(3, 2)).u32(1).u32(2).raw({9, 9, 9});
  const bytes item = le().raw(first).raw(head(0, 10)).u32(5).u32(TERMINATOR);
  for (size_t len = 0; len <= item.size(); ++len) {
    RepEventsBuffer buffer(item, len);  // only real_len bytes belong to the item
    const bool whole = len == 0 || len == first.size() || len == item.size();
    EXPECT_EQ(buffer.Load(), whole ? 0 : -1) << "length " << len;
  }
  for (const bytes& bad : {bytes(head(0xFFFFFFFF, 0)), bytes(head(0, 5).u32(1).u32(2))}) {
    RepEventsBuffer buffer(bad, bad.size());
    EXPECT_EQ(buffer.Load(), -1);
  }
}

TEST(DecodeStringWords, StopsAtTheTerminatorTheSlotsOrTheWords) {
  const struct {
    uint16_t slots;
    std::vector<uint32_t> words;
    std::vector<decoded_slot> expected;
  } cases[] = {{5, {4, 5, 6 | EXPLICIT_FLAG, 4, TERMINATOR}, {{1, 4}, {2, 5}, {5, 6}}},
               {3, {7 | EXPLICIT_FLAG, 2, TERMINATOR}, {{3, 7}}},
               {9, {4, 5 | EXPLICIT_FLAG}, {{1, 4}}},  // missing position word
               {3, {1 | EXPLICIT_FLAG, 7, 2}, {{8, 1}}}};
  for (const auto& c : cases) EXPECT_EQ(decode_string_words(c.words, c.slots), c.expected);
  EXPECT_EQ(string_word_limit(32767), 32767u);
  EXPECT_EQ(string_word_limit(32768), 1u);
}

}  // namespace
}  // namespace repcopy
