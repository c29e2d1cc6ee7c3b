// The six cache writers against hand-written bytes: first-seen order, deduplication, the
// indexes stored in the events, and the three corrections of the string handling (characters
// compared on a CRC and length hit, all code units copied, the user's binary value kept).

#include "records/cache_writers.h"

#include <gtest/gtest.h>

#include "record_test_util.h"
#include "records/cache_readers.h"

namespace repcopy {
namespace {

using test::byte_builder;
using test::bytes;
using test::event_builder;
using test::ins;

TEST(SrcCache, DistinctNamesInFirstSeenOrder) {
  event_batch events{event_builder().src(u"Security"), event_builder().src(u"System"),
                     event_builder().src(u"Security"), event_builder().src(u"")};
  src_cache writer;
  EXPECT_EQ(writer.estimate_size(events), 4u * 4 + 2 * (8 + 6 + 8));
  bytes expected = byte_builder().counted(u"Security").counted(u"System").counted(u"");
  EXPECT_EQ(test::write_item(writer, events), expected);
  EXPECT_EQ(events[0].src_index, 0u);
  EXPECT_EQ(events[1].src_index, 1u);
  EXPECT_EQ(events[2].src_index, 0u);
  EXPECT_EQ(events[3].src_index, 2u) << "an empty source still gets a record";
}

TEST(DescCache, EmptyDescriptionGetsNoIndexAndNoRecord) {
  event_batch events{event_builder().desc(u""), event_builder().desc(u"Disk full"),
                     event_builder().desc(u"Disk full")};
  desc_cache writer;
  EXPECT_EQ(writer.estimate_size(events), 2u * (4 + 18));
  EXPECT_EQ(test::write_item(writer, events), bytes(byte_builder().counted(u"Disk full")));
  EXPECT_EQ(events[0].desc_index, kNoIndex);
  EXPECT_EQ(events[1].desc_index, 0u);
  EXPECT_EQ(events[2].desc_index, 0u);
}

TEST(DescCache, AllEmptyIsAnEmptyItem) {
  event_batch events{event_builder(), event_builder()};
  desc_cache writer;
  EXPECT_EQ(writer.estimate_size(events), 0u);
  EXPECT_EQ(writer.serialize({}, events), 0u);
  EXPECT_EQ(events[1].desc_index, kNoIndex);
}

TEST(InsCache, StringsOfAllEventsShareOneCache) {
  event_batch events{event_builder().strings(2, {ins(1, u"x"), ins(2, u"yy")}),
                     event_builder().strings(3, {ins(1, u"yy"), ins(3, u"z")})};
  ins_cache writer;
  EXPECT_EQ(writer.estimate_size(events), 4u * 4 + 2 * (1 + 2 + 2 + 1));
  bytes expected = byte_builder().counted(u"x").counted(u"yy").counted(u"z");
  EXPECT_EQ(test::write_item(writer, events), expected);
  EXPECT_EQ(events[0].strings[0].cache_index, 0u);
  EXPECT_EQ(events[0].strings[1].cache_index, 1u);
  EXPECT_EQ(events[1].strings[0].cache_index, 1u);
  EXPECT_EQ(events[1].strings[1].cache_index, 2u);
}

TEST(CatCache, RecordPerNameCategoryAndEventId) {
  event_batch events{
      event_builder().category(u"Logon", 12, 4624), event_builder().category(u"Logon", 12, 4624),
      event_builder().category(u"Logon", 12, 4625), event_builder().category(u"", 0, 0)};
  cat_cache writer;
  EXPECT_EQ(writer.estimate_size(events), 4u * 12 + 3 * 10);
  // clang-format off
  bytes expected = byte_builder()
                       .counted(u"Logon").u16(12).u16(1).u32(4624)
                       .counted(u"Logon").u16(12).u16(1).u32(4625)
                       .counted(u"").u16(0).u16(1).u32(0);
  // clang-format on
  EXPECT_EQ(test::write_item(writer, events), expected);
  EXPECT_EQ(events[1].cat_index, 0u);
  EXPECT_EQ(events[2].cat_index, 1u);
  EXPECT_EQ(events[3].cat_index, 2u);
}

TEST(CompCache, RecordPerNameAndTimeOffsetWithHostFallback) {
  event_batch events{event_builder().computer(u"PC1").times(1000, 1000),
                     event_builder().computer(u"PC1").times(5000, 1400),  // offset 3600
                     event_builder().computer(u"PC1").times(9000, 9000),
                     event_builder().host(u"HOST").times(10, 10)};
  comp_cache writer;
  EXPECT_EQ(writer.estimate_size(events), 4u * 8 + 2 * (3 + 3 + 3 + 4));
  // clang-format off
  bytes expected = byte_builder()
                       .counted(u"PC1").u32(0)
                       .counted(u"PC1").u32(3600)
                       .counted(u"HOST").u32(0);
  // clang-format on
  EXPECT_EQ(test::write_item(writer, events), expected);
  EXPECT_EQ(events[0].comp_index, 0u);
  EXPECT_EQ(events[1].comp_index, 1u);
  EXPECT_EQ(events[2].comp_index, 0u);
  EXPECT_EQ(events[3].comp_index, 2u);
}

TEST(CompCache, WrappedTimeOffset) {
  event_batch events{event_builder().computer(u"A").times(10, 20)};
  bytes expected = byte_builder().counted(u"A").u32(0xFFFFFFF6);
  EXPECT_EQ(test::write_item(1, events), expected);
}

TEST(UserCache, BinaryValueIsWrittenCountedAndPartOfTheKey) {
  event_batch events{event_builder().user(u"D", u"alice", {1, 2, 3, 4}),
                     event_builder().user(u"D", u"alice", {1, 2, 3, 5}),
                     event_builder().user(u"D", u"alice", {1, 2, 3, 4}),
                     event_builder().user(u"D", u"alice")};
  user_cache writer;
  EXPECT_EQ(writer.estimate_size(events), 4u * 12 + 4 * 2 * 6 + 3 * 4);
  // clang-format off
  bytes expected = byte_builder()
                       .counted(u"D").counted(u"alice").u32(4).raw({1, 2, 3, 4})
                       .counted(u"D").counted(u"alice").u32(4).raw({1, 2, 3, 5})
                       .counted(u"D").counted(u"alice").u32(0);
  // clang-format on
  EXPECT_EQ(test::write_item(writer, events), expected);
  EXPECT_EQ(events[0].user_index, 0u);
  EXPECT_EQ(events[1].user_index, 1u);
  EXPECT_EQ(events[2].user_index, 0u);
  EXPECT_EQ(events[3].user_index, 2u);
}

TEST(UserCache, StringsAreKeyedSeparately) {
  // "ab" + "" and "a" + "b" share no record.
  event_batch events{event_builder().user(u"ab", u""), event_builder().user(u"a", u"b")};
  // clang-format off
  bytes expected = byte_builder().counted(u"ab").counted(u"").u32(0)
                                 .counted(u"a").counted(u"b").u32(0);
  // clang-format on
  EXPECT_EQ(test::write_item(5, events), expected);
}

TEST(CacheWriters, NulCodeUnitsAreCopiedAsTheyAre) {
  std::u16string text(u"a\0bc", 4);
  event_batch events{event_builder().src(text).desc(text)};
  bytes expected = byte_builder().u32(4).u16('a').u16(0).u16('b').u16('c');
  EXPECT_EQ(test::write_item(4, events), expected);
  EXPECT_EQ(test::write_item(2, events), expected);
}

TEST(CacheWriters, EmptyBatchWritesEmptyItems) {
  for (int position = 0; position <= 5; ++position) {
    event_batch events;
    auto writer = create_segment(position);
    EXPECT_EQ(writer->estimate_size(events), 0u) << position;
    EXPECT_EQ(writer->serialize({}, events), 0u) << position;
  }
}

TEST(CacheWriters, NeverWritePastASmallArea) {
  event_batch events{event_builder()
                         .src(u"abcdef")
                         .desc(u"abcdef")
                         .user(u"a", u"b", {1, 2})
                         .category(u"abc", 1, 2)
                         .computer(u"abc")
                         .strings(1, {ins(1, u"abc")})};
  for (int position = 0; position <= 5; ++position) {
    auto writer = create_segment(position);
    const uint32_t estimate = writer->estimate_size(events);
    for (uint32_t size = 0; size < estimate; ++size) {
      bytes area(estimate, 0xAA);
      const uint32_t written = writer->serialize(std::span<uint8_t>(area.data(), size), events);
      EXPECT_LE(written, size);
      for (size_t i = size; i < area.size(); ++i) ASSERT_EQ(area[i], 0xAA) << position;
    }
  }
}

// ---- Equal CRC-32 and equal length, different text ----

class CrcCollision : public testing::Test {
 protected:
  void SetUp() override {
    first = u"Administrator";
    second = test::force_crc(u"Guest users", crc32_of_text(first));
    ASSERT_EQ(first.size(), second.size());
    ASSERT_NE(first, second);
    ASSERT_EQ(crc32_of_text(first), crc32_of_text(second));
  }
  std::u16string first;
  std::u16string second;
};

TEST_F(CrcCollision, ForcedStringsShareCrcAndLength) {
  EXPECT_EQ(crc32_of_text(second), crc32_of_text(first));
}

// One case per cache: how to put a text into an event, the index it gets, and how to read the
// text of a record back from the item.
struct collision_case {
  const char* name;
  int position;
  std::function<void(event_builder&, const std::u16string&)> set;
  std::function<uint32_t(const full_event&)> index;
  std::function<std::u16string(const bytes&, uint32_t)> read;
};

template <class Reader>
std::u16string read_with(const bytes& item, uint32_t i) {
  Reader reader(item, item.size());
  EXPECT_EQ(reader.Load(), 0);
  return reader.string_at(i);
}

std::vector<collision_case> collision_cases() {
  return {
      {"src", 4, [](event_builder& b, const std::u16string& s) { b.src(s); },
       [](const full_event& e) { return e.src_index; }, read_with<RepSrcBuffer>},
      {"desc", 2, [](event_builder& b, const std::u16string& s) { b.desc(s); },
       [](const full_event& e) { return e.desc_index; }, read_with<RepDescBuffer>},
      {"ins", 3, [](event_builder& b, const std::u16string& s) { b.strings(1, {ins(1, s)}); },
       [](const full_event& e) { return e.strings[0].cache_index; }, read_with<RepInsBuffer>},
      {"cat", 0, [](event_builder& b, const std::u16string& s) { b.category(s, 1, 2); },
       [](const full_event& e) { return e.cat_index; }, read_with<RepCatBuffer>},
      {"comp", 1, [](event_builder& b, const std::u16string& s) { b.computer(s); },
       [](const full_event& e) { return e.comp_index; }, read_with<RepCompBuffer>},
      {"user", 5, [](event_builder& b, const std::u16string& s) { b.user(s, u"x"); },
       [](const full_event& e) { return e.user_index; }, read_with<RepUserBuffer>},
  };
}

TEST_F(CrcCollision, EveryCacheKeepsTwoRecordsWithTheirOwnTexts) {
  for (const collision_case& c : collision_cases()) {
    event_builder a, b, again;
    c.set(a, first);
    c.set(b, second);
    c.set(again, second);
    event_batch events{a, b, again};
    bytes item = test::write_item(c.position, events);
    EXPECT_EQ(c.index(events[0]), 0u) << c.name;
    EXPECT_EQ(c.index(events[1]), 1u) << c.name;
    EXPECT_EQ(c.index(events[2]), 1u) << c.name << ": the same text is still shared";
    EXPECT_EQ(c.read(item, 0), first) << c.name;
    EXPECT_EQ(c.read(item, 1), second) << c.name;
  }
}

TEST_F(CrcCollision, HandWrittenBytesOfTheSourceCache) {
  event_batch events{event_builder().src(first), event_builder().src(second)};
  bytes expected = byte_builder().counted(first).counted(second);
  EXPECT_EQ(test::write_item(4, events), expected);
}

}  // namespace
}  // namespace repcopy
