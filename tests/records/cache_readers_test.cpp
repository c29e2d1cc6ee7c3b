// The six cache readers over hand-written bytes, and their refusal of cut or lying items.

#include "records/cache_readers.h"

#include <gtest/gtest.h>

#include <functional>

#include "record_test_util.h"
#include "records/record_factory.h"

namespace repcopy {
namespace {

using test::byte_builder;
using test::bytes;

TEST(RepCatBuffer, ReadsNameCategoryMarkerAndEventId) {
  // clang-format off
  bytes item = byte_builder()
                   .counted(u"Logon").u16(12).u16(1).u32(4624)
                   .counted(u"").u16(0).u16(7).u32(0x12345678);
  // clang-format on
  RepCatBuffer cat(item, item.size());
  ASSERT_EQ(cat.Load(), 0);
  ASSERT_EQ(cat.ulCount(), 2u);
  EXPECT_EQ(cat.name(0), u"Logon");
  EXPECT_EQ(cat.category(0), 12);
  EXPECT_EQ(cat.category_marker(0), 1);
  EXPECT_EQ(cat.event_id(0), 4624u);
  EXPECT_EQ(cat.name(1), u"");
  EXPECT_EQ(cat.category_marker(1), 7);
  EXPECT_EQ(cat.event_id(1), 0x12345678u);
  EXPECT_EQ(cat.event_id(2), 0u) << "out of range";
}

TEST(RepCompBuffer, ReadsNameAndTimeOffset) {
  bytes item = byte_builder().counted(u"HOST1").u32(3600).counted(u"H2").u32(0xFFFFFF00);
  RepCompBuffer comp(item, item.size());
  ASSERT_EQ(comp.Load(), 0);
  ASSERT_EQ(comp.ulCount(), 2u);
  EXPECT_EQ(comp.name(0), u"HOST1");
  EXPECT_EQ(comp.time_offset(0), 3600u);
  EXPECT_EQ(comp.name(1), u"H2");
  EXPECT_EQ(comp.time_offset(1), 0xFFFFFF00u);
}

TEST(RepUserBuffer, ReadsBothStringsAndTheBinaryValue) {
  // clang-format off
  bytes item = byte_builder()
                   .counted(u"DOMAIN").counted(u"alice").u32(3).raw({1, 2, 3})
                   .counted(u"").counted(u"").u32(0);
  // clang-format on
  RepUserBuffer user(item, item.size());
  ASSERT_EQ(user.Load(), 0);
  ASSERT_EQ(user.ulCount(), 2u);
  EXPECT_EQ(user.string1(0), u"DOMAIN");
  EXPECT_EQ(user.string2(0), u"alice");
  EXPECT_EQ(user.binary(0), (bytes{1, 2, 3}));
  EXPECT_EQ(user.string1(1), u"");
  EXPECT_TRUE(user.binary(1).empty());
}

TEST(CountedStringCache, KeepsNulCodeUnits) {
  std::u16string with_nul(u"a\0b", 3);
  bytes item = byte_builder().counted(with_nul);
  RepSrcBuffer src(item, item.size());
  ASSERT_EQ(src.Load(), 0);
  EXPECT_EQ(src.string_at(0), with_nul);
}

TEST(CountedStringCache, FourZeroBytesAreOneEmptyStringAndThreeBytesFail) {
  for (int32_t id : {2, 5, 8, 11, 12}) {
    auto one = make_record_buffer(id, bytes{0, 0, 0, 0}, 4);
    ASSERT_EQ(one->Load(), 0) << id;
    EXPECT_EQ(one->ulCount(), 1u) << id;
    EXPECT_EQ(one->string_at(0), u"") << id;
    auto three = make_record_buffer(id, bytes{0, 0, 0}, 3);
    EXPECT_EQ(three->Load(), -1) << id;
  }
}

// Every reader of a walked layout, with a valid two-record item: every shorter length that is
// not a record boundary fails Load, as does every item with a byte more.
struct layout_case {
  const char* name;
  int32_t id;
  bytes first;   // the first record
  bytes second;  // the second record
};

std::vector<layout_case> layout_cases() {
  return {
      {"counted string", 8, byte_builder().counted(u"abc"), byte_builder().counted(u"")},
      {"category", 0, byte_builder().counted(u"c").u16(1).u16(1).u32(9),
       byte_builder().counted(u"").u16(0).u16(1).u32(0)},
      {"computer", 1, byte_builder().counted(u"PC").u32(5), byte_builder().counted(u"").u32(0)},
      {"user", 9, byte_builder().counted(u"d").counted(u"u").u32(2).raw({7, 7}),
       byte_builder().counted(u"").counted(u"x").u32(0)},
      {"events", 3, byte_builder().u32(1).zeros(20).u16(1).u16(0).zeros(8).u32(0).raw({5}),
       byte_builder().u32(0).zeros(32)},
      {"record keys", 7, byte_builder().u32(1).u32(2), byte_builder().u32(3).u32(4)},
      {"field list", 10, byte_builder().u32(1).u32(0).u32(0), byte_builder().u32(0)},
  };
}

TEST(RecordWalks, TruncationSweepFailsEveryPartialRecord) {
  for (const layout_case& c : layout_cases()) {
    bytes item = byte_builder().raw(c.first).raw(c.second);
    for (size_t len = 0; len <= item.size() + 1; ++len) {
      bytes cut = item;
      cut.resize(len, 0);
      auto buffer = make_record_buffer(c.id, cut, cut.size());
      const bool whole = len == 0 || len == c.first.size() || len == item.size();
      EXPECT_EQ(buffer->Load(), whole ? 0 : -1) << c.name << " length " << len;
      if (whole) {
        EXPECT_EQ(buffer->ulCount(), len == 0 ? 0u : len == item.size() ? 2u : 1u);
      }
    }
  }
}

TEST(RecordWalks, AbsurdLengthFieldsFailWithoutReadingPastTheEnd) {
  const std::pair<int32_t, bytes> bad[] = {
      {5, byte_builder().u32(0xFFFFFFFF)},
      {5, byte_builder().u32(0x80000000).u32(0)},
      {0, byte_builder().u32(0x7FFFFFFF).u16(1).u16(1).u32(0)},
      {0, byte_builder().counted(u"ab").u16(1).u16(1)},  // EventID missing
      {1, byte_builder().counted(u"ab").u16(5)},         // time offset cut
      {9, byte_builder().counted(u"a").u32(0xFFFFFFFF)},
      {9, byte_builder().counted(u"a").counted(u"b").u32(0xFFFFFFF0).raw({1})},
      {9, byte_builder().counted(u"a").counted(u"b")},  // M missing
      {10, byte_builder().u32(0x20000000)},
      {10, byte_builder().u32(1).u32(5)},
  };
  for (const auto& [id, item] : bad) {
    auto buffer = make_record_buffer(id, item, item.size());
    EXPECT_EQ(buffer->Load(), -1) << "id " << id << ", " << item.size() << " bytes";
  }
}

}  // namespace
}  // namespace repcopy
