// RepEventsBuffer and the string-word decoder over hand-written bytes.

#include "records/events_reader.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "record_test_util.h"
#include "records/string_words.h"

namespace repcopy {
namespace {

using test::byte_builder;
using test::bytes;

byte_builder record_head(uint32_t data_length, uint16_t slots, uint16_t aux = 0) {
  byte_builder b;
  b.u32(data_length).u32(11).u32(12).u32(13).u32(14).u32(15);
  b.u16(slots).u16(aux).u32(100).u32(200);
  return b;
}

std::unique_ptr<RepEventsBuffer> load(const bytes& item, int32_t expect_status = 0) {
  auto buffer = std::make_unique<RepEventsBuffer>(item, item.size());
  EXPECT_EQ(buffer->Load(), expect_status);
  return buffer;
}

TEST(RepEventsBuffer, ReadsEveryField) {
  bytes item = record_head(2, 3, 0x1234).u32(7).u32(8 | EXPLICIT_FLAG).u32(2).raw({0xAB, 0xCD});
  auto buffer = load(item);
  ASSERT_EQ(buffer->ulCount(), 1u);
  EXPECT_EQ(buffer->buffer_id(), 3);
  events_record r = buffer->record(0);
  EXPECT_EQ(r.data_length, 2u);
  EXPECT_EQ(r.src_index, 11u);
  EXPECT_EQ(r.cat_index, 12u);
  EXPECT_EQ(r.comp_index, 13u);
  EXPECT_EQ(r.user_index, 14u);
  EXPECT_EQ(r.desc_index, 15u);
  EXPECT_EQ(r.string_slots, 3);
  EXPECT_EQ(r.strings_aux, 0x1234);
  EXPECT_EQ(r.stored_delta, 100u);
  EXPECT_EQ(r.event_delta, 200u);
  EXPECT_EQ(r.words, (std::vector<uint32_t>{7, 8 | EXPLICIT_FLAG, 2}));
  EXPECT_EQ(bytes(r.data.begin(), r.data.end()), (bytes{0xAB, 0xCD}));
  EXPECT_EQ(buffer->record(1).words.size(), 0u) << "out of range gives an empty record";
}

TEST(RepEventsBuffer, EmptyItemHasNoRecords) {
  auto buffer = load({});
  EXPECT_EQ(buffer->ulCount(), 0u);
}

TEST(RepEventsBuffer, TerminatorEndsTheWordsBeforeTheSlots) {
  // Ten slots, but the words end with the TERMINATOR; the data follows it.
  bytes item = record_head(1, 10).u32(5).u32(TERMINATOR).raw({0x77});
  auto buffer = load(item);
  ASSERT_EQ(buffer->ulCount(), 1u);
  EXPECT_EQ(buffer->record(0).words, (std::vector<uint32_t>{5, TERMINATOR}));
  EXPECT_EQ(buffer->record(0).data[0], 0x77);
}

TEST(RepEventsBuffer, FirstWordTerminatorIsTheOnlyWord) {
  bytes item = record_head(0, 3).u32(TERMINATOR);
  auto buffer = load(item);
  EXPECT_EQ(buffer->word_count(0), 1u);
  EXPECT_TRUE(decode_string_words(buffer->record(0).words, 3).empty());
}

TEST(RepEventsBuffer, SlotsOf32768OrMoreTakeWordZeroOnly) {
  for (uint32_t slots : {32768u, 40000u, 65535u}) {
    // Word 0, then 4 bytes of data that would be words if the slots were read unsigned.
    bytes item = record_head(4, uint16_t(slots)).u32(9).u32(10);
    auto buffer = load(item);
    ASSERT_EQ(buffer->ulCount(), 1u) << slots;
    events_record r = buffer->record(0);
    EXPECT_EQ(r.words, std::vector<uint32_t>{9}) << slots;
    EXPECT_EQ(r.data.size(), 4u) << slots;
  }
}

TEST(RepEventsBuffer, TwoRecordsAreFoundBackToBack) {
  bytes item = byte_builder().raw(record_head(0, 1).u32(3)).raw(record_head(2, 0).raw({1, 2}));
  auto buffer = load(item);
  ASSERT_EQ(buffer->ulCount(), 2u);
  EXPECT_EQ(buffer->record(0).words, std::vector<uint32_t>{3});
  EXPECT_TRUE(buffer->record(1).words.empty());
  EXPECT_EQ(buffer->record(1).data.size(), 2u);
}

TEST(RepEventsBuffer, EveryCutShortItemFailsLoad) {
  // Two records of 36 + 8 + 3 and 36 bytes; only 0 and the record boundaries are whole.
  bytes first = record_head(3, 2).u32(1).u32(2).raw({9, 9, 9});
  bytes item = byte_builder().raw(first).raw(record_head(0, 0));
  for (size_t len = 0; len <= item.size(); ++len) {
    bytes cut(item.begin(), item.begin() + len);
    RepEventsBuffer buffer(cut, cut.size());
    const bool whole = len == 0 || len == first.size() || len == item.size();
    EXPECT_EQ(buffer.Load(), whole ? 0 : -1) << "length " << len;
  }
}

TEST(RepEventsBuffer, LengthClaimsBeyondTheItemFailLoad) {
  const bytes bad[] = {
      record_head(0xFFFFFFFF, 0),         // data length past the end
      record_head(0x7FFFFFFF, 0).u32(0),  // ditto
      record_head(0, 5).u32(1).u32(2),    // five words claimed, two present
      record_head(0, 1),                  // word 0 missing
      bytes(35, 0),                       // fixed part cut short
      record_head(0, 0).u32(0),           // four stray bytes after a record
  };
  for (const bytes& item : bad) {
    RepEventsBuffer buffer(item, item.size());
    EXPECT_EQ(buffer.Load(), -1) << "item of " << item.size() << " bytes";
  }
}

TEST(RepEventsBuffer, RealLengthBoundsTheWalk) {
  // The vector is padded; only real_len bytes belong to the item.
  bytes item = record_head(0, 0);
  item.resize(item.size() + 8, 0xEE);
  RepEventsBuffer buffer(item, 36);
  EXPECT_EQ(buffer.Load(), 0);
  EXPECT_EQ(buffer.ulCount(), 1u);
}

// ---- decode_string_words ----

struct decode_case {
  const char* name;
  uint16_t slots;
  std::vector<uint32_t> words;
  std::vector<decoded_slot> expected;
};

void PrintTo(const decode_case& c, std::ostream* os) { *os << c.name; }

const decode_case kDecodeCases[] = {
    {"plain", 3, {4, 5, 6}, {{1, 4}, {2, 5}, {3, 6}}},
    {"explicit gap", 5, {4, 5, 6 | EXPLICIT_FLAG, 4, TERMINATOR}, {{1, 4}, {2, 5}, {5, 6}}},
    {"first explicit", 3, {7 | EXPLICIT_FLAG, 2, TERMINATOR}, {{3, 7}}},
    {"no string slot", 3, {4, NO_STRING, 6}, {{1, 4}, {2, NO_STRING}, {3, 6}}},
    {"terminator first", 3, {TERMINATOR}, {}},
    {"stops at slots", 2, {4, 5, 6}, {{1, 4}, {2, 5}}},
    {"stops at the end of the words", 9, {4, 5}, {{1, 4}, {2, 5}}},
    {"missing position word", 9, {4, 5 | EXPLICIT_FLAG}, {{1, 4}}},
    {"no slots", 0, {4, 5}, {}},
    {"explicit past slots ends", 3, {1 | EXPLICIT_FLAG, 7, 2}, {{8, 1}}},
};

class DecodeStringWords : public testing::TestWithParam<decode_case> {};

TEST_P(DecodeStringWords, GivesTheseSlots) {
  const decode_case& c = GetParam();
  EXPECT_EQ(decode_string_words(c.words, c.slots), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, DecodeStringWords, testing::ValuesIn(kDecodeCases),
                         [](const auto& info) {
                           std::string n = info.param.name;
                           std::replace(n.begin(), n.end(), ' ', '_');
                           return n;
                         });

TEST(RepEventsBuffer, NoStringWordReadsAsAnEmptySlot) {
  bytes item = record_head(0, 3).u32(4).u32(NO_STRING).u32(6);
  auto buffer = load(item);
  events_record r = buffer->record(0);
  auto slots = decode_string_words(r.words, r.string_slots);
  ASSERT_EQ(slots.size(), 3u);
  EXPECT_EQ(slots[1], (decoded_slot{2, NO_STRING}));
}

TEST(StringWordLimit, FollowsTheSigned16BitReading) {
  EXPECT_EQ(string_word_limit(0), 0u);
  EXPECT_EQ(string_word_limit(1), 1u);
  EXPECT_EQ(string_word_limit(2), 2u);
  EXPECT_EQ(string_word_limit(32767), 32767u);
  EXPECT_EQ(string_word_limit(32768), 1u);
  EXPECT_EQ(string_word_limit(65535), 1u);
}

}  // namespace
}  // namespace repcopy
