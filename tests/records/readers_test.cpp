// The record readers over hand-written bytes: fields of each layout, the factory, the walks'
// refusal of cut or lying items, and the position dump.
#include <gtest/gtest.h>

#include "record_test_util.h"
#include "records/cache_readers.h"
#include "records/named_field_readers.h"
#include "records/position_readers.h"
#include "records/record_factory.h"

namespace repcopy {
namespace {

using test::bytes;
using test::le;

TEST(RecordFactory, EmptyItemsLoadAndThreeBytesFailACountedStringCache) {
  for (int32_t id = 0; id <= 14; ++id) EXPECT_EQ(make_record_buffer(id, {}, 0)->Load(), 0) << id;
  EXPECT_EQ(make_record_buffer(15, {}, 0), nullptr);
  for (int32_t id : {2, 5, 8, 11, 12}) {
    EXPECT_EQ(make_record_buffer(id, bytes{0, 0, 0}, 3)->Load(), -1) << id;
  }
}

// Every reader of a walked layout, with a valid two-record item: every shorter length that is
// not a record boundary fails Load, as does every item with a byte more.
TEST(RecordWalks, TruncationSweepFailsEveryPartialRecord) {
  const struct {
    int32_t id;
    bytes first, second;
  } cases[] = {{8, le().counted(u"abc"), le().counted(u"")},
               {0, le().counted(u"c").u16(1).u16(1).u32(9), le().counted(u"").u16(0).u16(1).u32(0)},
               {1, le().counted(u"PC").u32(5), le().counted(u"").u32(0)},
               {9, le().counted(u"d").counted(u"u").u32(2).raw({7, 7}),
                le().counted(u"").counted(u"x").u32(0)},
               {7, le().u32(1).u32(2), le().u32(3).u32(4)},
               {10, le().u32(1).u32(0).u32(0), le().u32(0)}};
  for (const auto& c : cases) {
    const bytes item = le().raw(c.first).raw(c.second);
    for (size_t len = 0; len <= item.size() + 1; ++len) {
      bytes cut = item;
      cut.resize(len, 0);
      auto buffer = make_record_buffer(c.id, cut, cut.size());
      const bool whole = len == 0 || len == c.first.size() || len == item.size();
      EXPECT_EQ(buffer->Load(), whole ? 0 : -1) << c.id << " length " << len;
    }
  }
}

TEST(RecordWalks, AbsurdLengthFieldsFailWithoutReadingPastTheEnd) {
  const std::pair<int32_t, bytes> bad[] = {
      {5, le().u32(0xFFFFFFFF)},
      {0, le().u32(0x7FFFFFFF).u16(1).u16(1).u32(0)},
      {9, le().counted(u"a").counted(u"b").u32(0xFFFFFFF0).raw({1})},
      {10, le().u32(0x20000000)}};
  for (const auto& [id, item] : bad) {
    EXPECT_EQ(make_record_buffer(id, item, item.size())->Load(), -1) << id << ", " << item.size();
  }
}

TEST(PositionReaders, DumpShowsBothTimes) {
  const uint64_t t = 86400 + 3661;
  const bytes item = le().u64(t).u32(5).u64(0x019DB1DED53E8000ULL + t * 10000000).zeros(12);
  RepFirstPosBuffer first(item, item.size());
  testing::internal::CaptureStdout();
  first.Dump();
  const std::string out = testing::internal::GetCapturedStdout();  // head, hex dump, times
  EXPECT_EQ(out.rfind("id = 4 RepFirstPosBuffer\nbuffer_len = 32\nulCount = 0\n\n", 0), 0u);
  EXPECT_TRUE(
      out.ends_with("=\ndTime = Fri Jan 02 01:01:01 1970\nTime  = Fri Jan 02 01:01:01 1970\n\n"));
}

}  // namespace
}  // namespace repcopy
