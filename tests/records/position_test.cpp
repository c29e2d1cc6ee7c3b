// 0_record.keys, 0_first.pos, 0_last.pos, filter.dat and filters.stat: writers against
// hand-written bytes, readers and the position dump.

#include <gtest/gtest.h>

#include "record_test_util.h"
#include "records/filter_readers.h"
#include "records/position_readers.h"
#include "records/position_writers.h"

namespace repcopy {
namespace {

using test::byte_builder;
using test::bytes;
using test::event_builder;

full_event keyed(uint32_t key, uint32_t event_time, uint32_t stored_time) {
  full_event e = event_builder().times(event_time, stored_time);
  e.record_key = key;
  return e;
}

TEST(RecordKeys, ThreeEventsAre24Bytes) {
  event_batch events{keyed(7, 100, 100), keyed(8, 200, 150), keyed(0xFFFFFFFF, 300, 300)};
  record_keys writer;
  EXPECT_EQ(writer.estimate_size(events), 24u);
  bytes expected = byte_builder().u32(7).u32(100).u32(8).u32(200).u32(0xFFFFFFFF).u32(300);
  bytes item = test::write_item(writer, events);
  EXPECT_EQ(item, expected);

  RepRecordBuffer reader(item, item.size());
  ASSERT_EQ(reader.Load(), 0);
  ASSERT_EQ(reader.ulCount(), 3u);
  EXPECT_EQ(reader.record_key(1), 8u);
  EXPECT_EQ(reader.event_time(1), 200u);
  EXPECT_EQ(reader.record_key(2), 0xFFFFFFFFu);
  EXPECT_EQ(reader.record_key(3), 0u) << "out of range";
}

TEST(RepRecordBuffer, LengthMustBeAMultipleOf8) {
  for (size_t len : {0, 8, 16, 24}) {
    RepRecordBuffer reader(bytes(len, 1), len);
    EXPECT_EQ(reader.Load(), 0) << len;
    EXPECT_EQ(reader.ulCount(), len / 8);
  }
  for (size_t len : {1, 4, 7, 9, 20, 23}) {
    RepRecordBuffer reader(bytes(len, 1), len);
    EXPECT_EQ(reader.Load(), -1) << len;
  }
}

constexpr uint64_t kFiletime1970 = 0x019DB1DED53E8000ULL;

TEST(PositionFiles, FirstHoldsEventTimeLastHoldsStoredTime) {
  // One event of a computer whose time offset is 3600.
  full_event e = keyed(42, 1000000, 1000000 - 3600);
  e.os_major = 6;
  e.os_minor = 1;
  event_batch events{e};
  first_pos first;
  last_pos last;
  EXPECT_EQ(first.estimate_size(events), 32u);
  EXPECT_EQ(last.estimate_size(events), 32u);
  // clang-format off
  bytes first_expected = byte_builder()
                             .u64(1000000).u32(42).u64(kFiletime1970 + 1000000ULL * 10000000)
                             .u32(6).u32(1).u32(0);
  // clang-format on
  // clang-format off
  bytes last_expected = byte_builder()
                            .u64(996400).u32(42).u64(kFiletime1970 + 996400ULL * 10000000)
                            .u32(6).u32(1).u32(0);
  // clang-format on
  EXPECT_EQ(test::write_item(first, events), first_expected);
  EXPECT_EQ(test::write_item(last, events), last_expected);
}

TEST(PositionFiles, LastTakesTheOsVersionOfTheFirstEvent) {
  full_event a = keyed(1, 10, 10);
  a.os_major = 10;
  a.os_minor = 2;
  full_event b = keyed(2, 20, 15);
  b.os_major = 99;
  b.os_minor = 98;
  event_batch events{a, b};
  // clang-format off
  bytes expected = byte_builder()
                       .u64(15).u32(2).u64(kFiletime1970 + 15ULL * 10000000)
                       .u32(10).u32(2).u32(0);
  // clang-format on
  EXPECT_EQ(test::write_item(8, events), expected);
}

TEST(PositionFiles, FiletimeOfTheLargestTimeIsComputedIn64Bits) {
  event_batch events{keyed(1, 4294967295u, 4294967295u)};
  bytes item = test::write_item(7, events);
  // 4294967295 * 10^7 + 116444736000000000 = 159394408950000000 = 0x0236485ED4A5E980.
  // clang-format off
  bytes expected = byte_builder()
                       .u64(4294967295u).u32(1).u64(0x0236485ED4A5E980ULL).u32(0).u32(0).u32(0);
  // clang-format on
  EXPECT_EQ(item, expected);
}

TEST(PositionFiles, FiletimeOfTimeZero) {
  event_batch events{keyed(0, 0, 0)};
  bytes item = test::write_item(7, events);
  EXPECT_EQ(bytes(item.begin() + 12, item.begin() + 20),
            (bytes{0x00, 0x80, 0x3E, 0xD5, 0xDE, 0xB1, 0x9D, 0x01}));
}

TEST(PositionReaders, LoadDoesNothingWhateverTheLength) {
  for (size_t len : {0, 3, 32, 33}) {
    RepFirstPosBuffer first(bytes(len, 0xFF), len);
    RepLastPosBuffer last(bytes(len, 0xFF), len);
    EXPECT_EQ(first.Load(), 0);
    EXPECT_EQ(last.Load(), 0);
    EXPECT_EQ(first.ulCount(), 0u);
  }
}

std::string dump_of(const RepBuffer& buffer) {
  testing::internal::CaptureStdout();
  buffer.Dump();
  return testing::internal::GetCapturedStdout();
}

TEST(PositionReaders, DumpShowsBothTimes) {
  event_batch events{keyed(5, 86400 + 3661, 86400 + 3661)};
  bytes item = test::write_item(7, events);
  RepFirstPosBuffer first(item, item.size());
  std::string out = dump_of(first);
  EXPECT_EQ(out.rfind("id = 4 RepFirstPosBuffer\nbuffer_len = 32\nulCount = 0\n\n", 0), 0u) << out;
  const std::string times =
      "dTime = Fri Jan 02 01:01:01 1970\nTime  = Fri Jan 02 01:01:01 1970\n\n";
  ASSERT_GE(out.size(), times.size());
  EXPECT_EQ(out.substr(out.size() - times.size()), times) << out;
}

TEST(PositionReaders, ShortItemDumpOmitsTheTimesAndHugeValuesAreSafe) {
  RepLastPosBuffer shorter(bytes(31, 0), 31);
  std::string out = dump_of(shorter);
  EXPECT_EQ(out.rfind("id = 6 RepLastPosBuffer\n", 0), 0u);
  EXPECT_EQ(out.find("dTime"), std::string::npos);

  RepLastPosBuffer extreme(bytes(32, 0xFF), 32);  // time and FILETIME of all ones
  out = dump_of(extreme);
  EXPECT_NE(out.find("dTime = "), std::string::npos);
  EXPECT_NE(out.find("Time  = "), std::string::npos);
  bytes low(32, 0);
  low[7] = 0x80;  // the most negative time
  RepFirstPosBuffer lowest(low, 32);
  EXPECT_NE(dump_of(lowest).find("dTime = "), std::string::npos);
}

TEST(FilterStat, ThreeEventsGiveCountOneAndTheLastTime) {
  event_batch events{keyed(1, 10, 10), keyed(2, 20, 20), keyed(3, 0x01020304, 5)};
  filters_stat writer;
  EXPECT_EQ(writer.estimate_size(events), 27u);
  bytes expected = {3,    0,    0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0x04, 0x03,
                    0x02, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(test::write_item(writer, events), expected);
}

TEST(FilterDat, IsAlwaysEmpty) {
  event_batch events{keyed(1, 10, 10)};
  filter_dat writer;
  EXPECT_EQ(writer.estimate_size(events), 0u);
  EXPECT_EQ(writer.serialize({}, events), 0u);
}

TEST(FilterReaders, LoadWithoutLookingAtTheBytes) {
  for (size_t len : {0, 1, 27, 100}) {
    RepFiltersDatBuffer dat(bytes(len, 0xFF), len);
    RepFilterStatBuffer stat(bytes(len, 0xFF), len);
    EXPECT_EQ(dat.Load(), 0);
    EXPECT_EQ(stat.Load(), 0);
    EXPECT_EQ(dat.buffer_id(), 13);
    EXPECT_EQ(stat.buffer_id(), 14);
  }
}

}  // namespace
}  // namespace repcopy
