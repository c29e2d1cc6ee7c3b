// The string word array through writer, bytes and reader: every case must come back with the
// same ordinals and texts, and the reader must find exactly the words written.

#include "records/string_words.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "record_test_util.h"
#include "records/cache_readers.h"
#include "records/cache_writers.h"
#include "records/events_reader.h"
#include "records/events_writer.h"

namespace repcopy {
namespace {

using test::bytes;
using test::event_builder;
using test::ins;

struct round_trip_case {
  const char* name;
  uint16_t slots;
  std::vector<uint32_t> ordinals;
  uint32_t expected_words;
};

void PrintTo(const round_trip_case& c, std::ostream* os) { *os << c.name; }

const round_trip_case kCases[] = {
    {"ordinals 1 2 3 of 3", 3, {1, 2, 3}, 3},
    {"ordinals 1 2 3 of 5", 5, {1, 2, 3}, 4},
    {"ordinals 1 2 5 of 5", 5, {1, 2, 5}, 5},
    {"ordinals 1 2 5 of 9", 9, {1, 2, 5}, 5},
    {"ordinals 1 3 of 3", 3, {1, 3}, 3},
    {"first ordinal 3 of 3", 3, {3}, 3},
    {"first ordinal 2 of 2", 2, {2}, 2},
    {"slots without strings", 6, {}, 1},
    {"no slots", 0, {}, 0},
    {"one slot one string", 1, {1}, 1},
    {"slots 32768 one string", 32768, {1}, 1},
    {"slots 32768 no strings", 32768, {}, 1},
    {"decreasing ordinals", 10, {6, 2}, 5},
    {"many in sequence", 300, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 13},
};

class WordRoundTrip : public testing::TestWithParam<round_trip_case> {};

TEST_P(WordRoundTrip, ReaderFindsTheWordsAndStringsWritten) {
  const round_trip_case& c = GetParam();
  std::vector<insertion_string> strings;
  for (uint32_t o : c.ordinals)
    strings.push_back(ins(o, u"text" + std::u16string(1, char16_t('A' + o))));
  // A second event after it shows that the walk ends exactly where the first record ends.
  event_batch events{event_builder().times(50, 50).strings(c.slots, strings),
                     event_builder().times(60, 60).strings(1, {ins(1, u"next")})};
  EXPECT_EQ(RealIndexCount(events[0]), c.expected_words);

  bytes ins_item = test::write_item(3, events);
  bytes events_item = test::write_item(11, events);

  RepInsBuffer ins_cache_reader(ins_item, ins_item.size());
  RepEventsBuffer reader(events_item, events_item.size());
  ASSERT_EQ(ins_cache_reader.Load(), 0);
  ASSERT_EQ(reader.Load(), 0);
  ASSERT_EQ(reader.ulCount(), 2u);
  EXPECT_EQ(reader.word_count(0), c.expected_words);

  events_record r = reader.record(0);
  EXPECT_EQ(r.string_slots, c.slots);
  auto slots = decode_string_words(r.words, r.string_slots);
  ASSERT_EQ(slots.size(), strings.size());
  for (size_t k = 0; k < slots.size(); ++k) {
    EXPECT_EQ(slots[k].ordinal, strings[k].ordinal) << k;
    EXPECT_EQ(ins_cache_reader.string_at(slots[k].cache_index), strings[k].text) << k;
  }
  auto next = decode_string_words(reader.record(1).words, reader.record(1).string_slots);
  ASSERT_EQ(next.size(), 1u);
  EXPECT_EQ(ins_cache_reader.string_at(next[0].cache_index), u"next");
}

INSTANTIATE_TEST_SUITE_P(Cases, WordRoundTrip, testing::ValuesIn(kCases), [](const auto& info) {
  std::string n = info.param.name;
  std::replace(n.begin(), n.end(), ' ', '_');
  return n;
});

TEST(WordRoundTrip, NoStringSlotComesBackAsAnEmptyCacheEntry) {
  // A source record with NO_STRING in slot 2 is read as an empty text; written back, the slot
  // is an ordinary word that points at an empty record of 0_ins.cache.
  auto slots = decode_string_words(std::vector<uint32_t>{0, NO_STRING, 1}, 3);
  ASSERT_EQ(slots.size(), 3u);
  ASSERT_EQ(slots[1].cache_index, NO_STRING);
  event_batch events{
      event_builder().times(1, 1).strings(3, {ins(1, u"a"), ins(2, u""), ins(3, u"c")})};
  bytes ins_item = test::write_item(3, events);
  bytes events_item = test::write_item(11, events);
  RepInsBuffer strings(ins_item, ins_item.size());
  RepEventsBuffer reader(events_item, events_item.size());
  ASSERT_EQ(strings.Load(), 0);
  ASSERT_EQ(reader.Load(), 0);
  EXPECT_EQ(reader.record(0).words, (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(strings.string_at(1), u"");
}

TEST(RealIndexCount, CountsJumpsAndTheTerminator) {
  full_event e = event_builder().strings(5, {ins(1, u"a"), ins(2, u"b"), ins(5, u"c")});
  EXPECT_EQ(RealIndexCount(e), 5u);
  e.string_slots = 4;  // 4 words for the strings: no TERMINATOR
  EXPECT_EQ(RealIndexCount(e), 4u);
  e.string_slots = 3;  // more words than a reader takes: no TERMINATOR either
  EXPECT_EQ(RealIndexCount(e), 4u);
}

}  // namespace
}  // namespace repcopy
