// The named-field files: present only when an event has a named field, the caches' record
// numbers, the table against hand-written bytes, and the table reader.

#include <gtest/gtest.h>

#include "record_test_util.h"
#include "records/named_field_readers.h"
#include "records/named_field_writers.h"
#include "util/crc32.h"

namespace repcopy {
namespace {

using test::byte_builder;
using test::bytes;
using test::event_builder;
using test::field;

TEST(NamedFieldFiles, AbsentWhenNoEventHasANamedField) {
  event_batch events{event_builder(), event_builder()};
  for (int position : {12, 13, 14}) {
    auto writer = create_segment(position);
    EXPECT_EQ(writer->estimate_size(events), 0u) << position;
    EXPECT_EQ(writer->serialize({}, events), 0u) << position;
  }
}

TEST(NamedFieldFiles, OnlyTheLastEventHasFields) {
  event_batch events{event_builder(), event_builder(),
                     event_builder().fields({field(u"A", u"1"), field(u"B", u"")})};
  nf_names_cache names;
  nf_values_cache values;
  nfields_dat table;
  EXPECT_EQ(names.estimate_size(events), 2u * (4 + 2));
  EXPECT_EQ(values.estimate_size(events), 4u + 2 + 4);
  EXPECT_EQ(test::write_item(names, events), bytes(byte_builder().counted(u"A").counted(u"B")));
  EXPECT_EQ(test::write_item(values, events), bytes(byte_builder().counted(u"1").counted(u"")));

  EXPECT_EQ(table.estimate_size(events), 4u + 4 + 4 + 20);
  bytes expected = byte_builder().u32(0).u32(0).u32(2).u32(0).u32(0).u32(1).u32(1);
  EXPECT_EQ(test::write_item(table, events), expected);
}

TEST(NamedFieldFiles, NamesAndValuesAreDeduplicatedIndependently) {
  event_batch events{event_builder().fields({field(u"A", u"x"), field(u"B", u"x")}),
                     event_builder().fields({field(u"A", u"y")})};
  bytes names = test::write_item(12, events);
  bytes values = test::write_item(13, events);
  bytes table = test::write_item(14, events);
  EXPECT_EQ(names, bytes(byte_builder().counted(u"A").counted(u"B")));
  EXPECT_EQ(values, bytes(byte_builder().counted(u"x").counted(u"y")));
  bytes expected = byte_builder().u32(2).u32(0).u32(0).u32(1).u32(0).u32(1).u32(0).u32(1);
  EXPECT_EQ(table, expected);
  EXPECT_EQ(events[1].named_fields[0].name_index, 0u);
  EXPECT_EQ(events[1].named_fields[0].value_index, 1u);
}

TEST(NamedFieldFiles, EqualCrcAndLengthStayTwoRecords) {
  const std::u16string name1 = u"TargetUser";
  const std::u16string name2 = test::force_crc(u"Subject!", crc32_of_text(name1));
  const std::u16string value1 = u"S-1-5-18";
  const std::u16string value2 = test::force_crc(u"S-9-9-", crc32_of_text(value1));
  ASSERT_EQ(crc32_of_text(name2), crc32_of_text(name1));
  ASSERT_EQ(crc32_of_text(value2), crc32_of_text(value1));
  ASSERT_EQ(name2.size(), name1.size());
  ASSERT_NE(name2, name1);
  ASSERT_NE(value2, value1);

  event_batch events{event_builder().fields({field(name1, value1)}),
                     event_builder().fields({field(name2, value2), field(name1, value2)})};
  EXPECT_EQ(test::write_item(12, events), bytes(byte_builder().counted(name1).counted(name2)));
  EXPECT_EQ(test::write_item(13, events), bytes(byte_builder().counted(value1).counted(value2)));
  EXPECT_EQ(events[1].named_fields[0].name_index, 1u);
  EXPECT_EQ(events[1].named_fields[0].value_index, 1u);
  EXPECT_EQ(events[1].named_fields[1].name_index, 0u);
  EXPECT_EQ(events[1].named_fields[1].value_index, 1u);
}

TEST(RepNfieldsDatBuffer, CountsRecordsAndReadsThemInStep) {
  bytes item = byte_builder().u32(0).u32(2).u32(5).u32(6).u32(7).u32(8).u32(0);
  RepNfieldsDatBuffer table(item, item.size());
  ASSERT_EQ(table.Load(), 0);
  EXPECT_EQ(table.ulCount(), 3u);

  uint64_t offset = 0;
  std::vector<std::pair<uint32_t, uint32_t>> pairs;
  ASSERT_TRUE(table.read_fields(offset, pairs));
  EXPECT_TRUE(pairs.empty());
  ASSERT_TRUE(table.read_fields(offset, pairs));
  EXPECT_EQ(pairs, (std::vector<std::pair<uint32_t, uint32_t>>{{5, 6}, {7, 8}}));
  ASSERT_TRUE(table.read_fields(offset, pairs));
  EXPECT_TRUE(pairs.empty());
  EXPECT_EQ(offset, item.size());
  EXPECT_FALSE(table.read_fields(offset, pairs)) << "past the last record";
}

TEST(RepNfieldsDatBuffer, ReadFieldsRefusesRecordsThatDoNotFit) {
  bytes item = byte_builder().u32(3).u32(1).u32(1);
  RepNfieldsDatBuffer table(item, item.size());
  EXPECT_EQ(table.Load(), -1);
  std::vector<std::pair<uint32_t, uint32_t>> pairs{{9, 9}};
  for (uint64_t offset : {uint64_t(0), uint64_t(10), uint64_t(12), ~uint64_t(0)}) {
    uint64_t at = offset;
    EXPECT_FALSE(table.read_fields(at, pairs)) << offset;
    EXPECT_EQ(at, offset);
  }
  EXPECT_EQ(pairs.size(), 1u);
}

TEST(RepNfieldsDatBuffer, FourZeroBytesAreOneEventWithoutFields) {
  RepNfieldsDatBuffer table(bytes(4, 0), 4);
  ASSERT_EQ(table.Load(), 0);
  EXPECT_EQ(table.ulCount(), 1u);
}

TEST(NamedFieldCaches, ReadBackThroughTheirReaders) {
  event_batch events{event_builder().fields({field(u"Key", u"Val")})};
  bytes names = test::write_item(12, events);
  bytes values = test::write_item(13, events);
  RepNfNamesBuffer names_reader(names, names.size());
  RepNfValuesBuffer values_reader(values, values.size());
  ASSERT_EQ(names_reader.Load(), 0);
  ASSERT_EQ(values_reader.Load(), 0);
  EXPECT_EQ(names_reader.string_at(0), u"Key");
  EXPECT_EQ(values_reader.string_at(0), u"Val");
}

}  // namespace
}  // namespace repcopy
