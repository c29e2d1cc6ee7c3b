// The fifteen writers in their positions, the reader factory, and a whole batch written by all
// writers in order and read back by the readers.

#include "records/segment.h"

#include <gtest/gtest.h>

#include <iostream>

#include "record_test_util.h"
#include "records/cache_readers.h"
#include "records/events_reader.h"
#include "records/named_field_readers.h"
#include "records/position_readers.h"
#include "records/record_factory.h"
#include "records/string_words.h"
#include "util/text.h"

namespace repcopy {
namespace {

using test::bytes;
using test::event_builder;
using test::field;
using test::ins;

TEST(CreateSegment, WritersSitInTheirFixedPositions) {
  const char* names[] = {"0_cat.cache",      "0_comp.cache",      "0_desc.cache",  "0_ins.cache",
                         "0_src.cache",      "0_user.cache",      "0_record.keys", "0_first.pos",
                         "0_last.pos",       "filter.dat",        "filters.stat",  "0_events.dat",
                         "0_nf_names.cache", "0_nf_values.cache", "0_nfields.dat"};
  for (int position = 0; position < kSegmentCount; ++position) {
    auto writer = create_segment(position);
    ASSERT_NE(writer, nullptr);
    EXPECT_STREQ(writer->item_name, names[position]);
    EXPECT_EQ(to_utf8(writer->wide_item_name), names[position]);
    EXPECT_EQ(writer->platform_id, -1);
  }
}

void create_with_stdout_on_stderr(int position) {
  std::cout.rdbuf(std::cerr.rdbuf());
  create_segment(position);
}

TEST(CreateSegmentDeathTest, UnknownPositionEndsTheProcess) {
  EXPECT_EXIT(create_with_stdout_on_stderr(15), testing::ExitedWithCode(255),
              "^Unknown  id: 15\n$");
  EXPECT_EXIT(create_with_stdout_on_stderr(-1), testing::ExitedWithCode(255),
              "^Unknown  id: -1\n$");
}

TEST(MakeRecordBuffer, BuildsTheReaderOfEachId) {
  const char* names[] = {"RepCatBuffer",      "RepCompBuffer",       "RepDescBuffer",
                         "RepEventsBuffer",   "RepFirstPosBuffer",   "RepInsBuffer",
                         "RepLastPosBuffer",  "RepRecordBuffer",     "RepSrcBuffer",
                         "RepUserBuffer",     "RepNfieldsDatBuffer", "RepNfnamesBuffer",
                         "RepNfvaluesBuffer", "RepFiltersDatBuffer", "RepFilterStatBuffer"};
  for (int32_t id = 0; id <= 14; ++id) {
    auto buffer = make_record_buffer(id, {}, 0);
    ASSERT_NE(buffer, nullptr) << id;
    EXPECT_EQ(buffer->buffer_id(), id);
    EXPECT_EQ(buffer->Load(), 0) << "an empty item loads with no records: " << id;
    EXPECT_EQ(buffer->ulCount(), 0u);
    testing::internal::CaptureStdout();
    buffer->Dump();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("id = " + std::to_string(id) + " " + names[id] + "\n", 0), 0u) << out;
  }
  EXPECT_NE(dynamic_cast<RepCatBuffer*>(make_record_buffer(0, {}, 0).get()), nullptr);
  EXPECT_NE(dynamic_cast<RepEventsBuffer*>(make_record_buffer(3, {}, 0).get()), nullptr);
  EXPECT_NE(dynamic_cast<RepUserBuffer*>(make_record_buffer(9, {}, 0).get()), nullptr);
  EXPECT_NE(dynamic_cast<RepNfieldsDatBuffer*>(make_record_buffer(10, {}, 0).get()), nullptr);
  EXPECT_EQ(make_record_buffer(15, {}, 0), nullptr);
  EXPECT_EQ(make_record_buffer(-1, {}, 0), nullptr);
}

// All fifteen writers in order over one batch, as a repository file is made; then the items
// are read back and joined the way a file source does.
TEST(Segment, WholeBatchReadsBack) {
  event_batch events{event_builder()
                         .times(1000, 1000)
                         .computer(u"PC")
                         .src(u"Security")
                         .desc(u"logon")
                         .category(u"Logon", 2, 4624)
                         .user(u"D", u"alice", {9, 8})
                         .strings(3, {ins(1, u"one"), ins(3, u"three")}),
                     event_builder()
                         .times(2000, 1000)
                         .computer(u"PC")
                         .src(u"System")
                         .strings(2, {ins(1, u"one"), ins(2, u"two")})
                         .fields({field(u"k", u"v")})};
  events[0].record_key = 11;
  events[1].record_key = 12;
  events[1].data = {1, 2, 3};
  std::vector<bytes> items;
  for (int position = 0; position < kSegmentCount; ++position) {
    auto writer = create_segment(position);
    items.push_back(test::write_item(*writer, events));
  }
  const int32_t item_id[] = {0, 1, 2, 5, 8, 9, 7, 4, 6, 13, 14, 3, 11, 12, 10};
  std::unique_ptr<RepPartBuffer> by_id[15];
  for (int position = 0; position < kSegmentCount; ++position) {
    by_id[item_id[position]] =
        make_record_buffer(item_id[position], items[position], items[position].size());
    ASSERT_EQ(by_id[item_id[position]]->Load(), 0) << position;
  }
  auto& ev = static_cast<RepEventsBuffer&>(*by_id[3]);
  auto& comp = static_cast<RepCompBuffer&>(*by_id[1]);
  auto& cat = static_cast<RepCatBuffer&>(*by_id[0]);
  auto& user = static_cast<RepUserBuffer&>(*by_id[9]);
  auto& keys = static_cast<RepRecordBuffer&>(*by_id[7]);
  ASSERT_EQ(ev.ulCount(), 2u);
  ASSERT_EQ(keys.ulCount(), 2u);

  uint32_t stored_sum = 0;
  for (uint32_t i = 0; i < 2; ++i) {
    events_record r = ev.record(i);
    stored_sum += r.stored_delta;
    EXPECT_EQ(comp.time_offset(r.comp_index) + stored_sum, events[i].event_time);
    EXPECT_EQ(comp.name(r.comp_index), u"PC");
    EXPECT_EQ(by_id[8]->string_at(r.src_index), events[i].src_name);
    EXPECT_EQ(cat.name(r.cat_index), events[i].category_name);
    EXPECT_EQ(cat.event_id(r.cat_index), events[i].event_id);
    EXPECT_EQ(user.binary(r.user_index), events[i].user_binary);
    EXPECT_EQ(keys.record_key(i), events[i].record_key);
    auto slots = decode_string_words(r.words, r.string_slots);
    ASSERT_EQ(slots.size(), events[i].strings.size());
    for (size_t k = 0; k < slots.size(); ++k) {
      EXPECT_EQ(slots[k].ordinal, events[i].strings[k].ordinal);
      EXPECT_EQ(by_id[5]->string_at(slots[k].cache_index), events[i].strings[k].text);
    }
    EXPECT_EQ(bytes(r.data.begin(), r.data.end()), events[i].data);
  }
  EXPECT_EQ(ev.record(0).desc_index, 0u);
  EXPECT_EQ(ev.record(1).desc_index, kNoIndex);

  auto& table = static_cast<RepNfieldsDatBuffer&>(*by_id[10]);
  uint64_t offset = 0;
  std::vector<std::pair<uint32_t, uint32_t>> pairs;
  ASSERT_TRUE(table.read_fields(offset, pairs));
  EXPECT_TRUE(pairs.empty());
  ASSERT_TRUE(table.read_fields(offset, pairs));
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(by_id[11]->string_at(pairs[0].first), u"k");
  EXPECT_EQ(by_id[12]->string_at(pairs[0].second), u"v");
}

}  // namespace
}  // namespace repcopy
