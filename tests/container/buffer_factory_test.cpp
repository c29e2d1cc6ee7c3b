#include <gtest/gtest.h>

#include <string>

#include "container/rep_data_buffer.h"
#include "container/rep_file_buffer.h"
#include "container/value_dump.h"
#include "tests/container/container_bytes.h"

namespace repcopy {
namespace {

using test::bytes;

std::unique_ptr<RepBuffer> make_quietly(bytes data, int32_t id, std::string* out) {
  testing::internal::CaptureStdout();
  uint64_t len = data.size();
  auto b = make_buffer(std::move(data), len, id);
  *out = testing::internal::GetCapturedStdout();
  return b;
}

TEST(BufferFactory, RecordBuffersOfEveryIdCarryTheirId) {
  for (int32_t id = 0; id < 15; ++id) {
    std::string out;
    auto b = make_quietly(test::counted_records({u"a"}), id, &out);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->buffer_id(), id);
    EXPECT_NE(dynamic_cast<RepPartBuffer*>(b.get()), nullptr);
    EXPECT_EQ(out, "");
  }
}

TEST(BufferFactory, DetectedContentBuildsAFileBufferOrNothing) {
  const bytes file =
      test::build_file({{{test::part_item("0_events.dat", {})}, {{u"EventsCount", u"0"}}}});
  std::string out;
  auto f = make_quietly(file, -3, &out);
  ASSERT_NE(dynamic_cast<RepFileBuffer*>(f.get()), nullptr);
  EXPECT_EQ(f->buffer_id(), -2);
  EXPECT_EQ(f->Load(), 0);
  EXPECT_EQ(static_cast<RepFileBuffer*>(f.get())->kind(), 4);

  EXPECT_EQ(make_quietly(bytes{'E', 'D', 'R', 'P', 0}, -3, &out), nullptr);
  EXPECT_EQ(out, "Unknown  id: -1\n");
  EXPECT_EQ(make_quietly(bytes{1, 2, 3, 4}, -3, &out), nullptr);
  EXPECT_EQ(out, "Unknown  id: -3\n");
  EXPECT_EQ(make_quietly(bytes{1, 2, 3, 4}, 15, &out), nullptr);
  EXPECT_EQ(out, "Unknown  id: 15\n");
  EXPECT_EQ(make_quietly(bytes{1, 2, 3, 4}, -7, &out), nullptr);
  EXPECT_EQ(out, "Unknown  id: -7\n");
}

TEST(DataBuffer, ReadsItsHeaderWhenBuiltAndUnpacksOnLoad) {
  const bytes data = test::counted_records({u"hello"});
  bytes image(3, 0);
  image = test::append(image, test::stored_item("0_ins.cache", data));
  RepDataBuffer d(image, image.size() - 3, 3);
  EXPECT_EQ(d.buffer_id(), -1);
  EXPECT_EQ(d.buffer_len(), image.size() - 3);
  EXPECT_EQ(d.name(), "0_ins.cache");
  EXPECT_EQ(d.name_len(), 11u);
  EXPECT_EQ(d.crc32(), test::zlib_crc(data));
  EXPECT_EQ(d.unpacked_len(), data.size());
  EXPECT_EQ(d.status(), -1);  // not loaded yet
  EXPECT_TRUE(d.unpacked().empty());

  EXPECT_EQ(d.Load(), 0);
  EXPECT_EQ(d.unpacked(), data);
  auto rec = d.CreateRecordBuffer(5);
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec->buffer_id(), 5);
  ASSERT_EQ(rec->Load(), 0);
  EXPECT_EQ(rec->string_at(0), u"hello");

  testing::internal::CaptureStdout();
  EXPECT_EQ(d.CreateRecordBuffer(-1), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unknown  id: -1\n");
}

TEST(DataBuffer, DumpShowsTrailerValuesThatDisagree) {
  const bytes data = test::counted_records({u"abc"});
  bytes item = test::item_with("0_src.cache", test::stored_block(data), 0x1234, 99);
  RepDataBuffer d(item, item.size(), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(d.Load(), -5);
  d.Dump();
  std::string out = testing::internal::GetCapturedStdout();
  const uint32_t crc = test::zlib_crc(data);
  char hex[16];
  std::snprintf(hex, sizeof hex, "%8.8X", crc);
  const std::string dump = out.substr(out.find("\n0_src.cache\n"));
  EXPECT_EQ(dump,
            "\n0_src.cache\n"
            "unpacked_len = 99 (0x00000063)\n"
            "unpacked_len_real = 10 (0x000000000000000A)\n"
            "crc32 = 4660 (0x00001234)\n"
            "crc32_real = " +
                std::to_string(crc) + " (0x" + hex + ")\n");

  const bytes other = test::stored_item("x.y", data);
  RepDataBuffer good(other, 0, 0);  // too short to hold a name: nothing to show
  testing::internal::CaptureStdout();
  good.Dump();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\n\n");
}

TEST(ValueDump, DecimalAndZeroPaddedHex) {
  EXPECT_EQ(value_dump(uint32_t(26)), "26 (0x0000001A)");
  EXPECT_EQ(value_dump(uint32_t(0xFFFFFFFF)), "4294967295 (0xFFFFFFFF)");
  EXPECT_EQ(value_dump(uint64_t(512)), "512 (0x0000000000000200)");
  EXPECT_EQ(value_dump(int32_t(-3)), "-3 (0xFFFFFFFD)");
}

TEST(FileDump, ListsFootersTableAndParts) {
  const bytes file =
      test::build_file({{{test::part_item("0_events.dat", test::valid_records(3, {u"e"}))},
                         {{u"EventsCount", u"1"}}}});
  RepFileBuffer f(file);
  ASSERT_EQ(f.Load(), 0);
  testing::internal::CaptureStdout();
  f.Dump();
  std::string out = testing::internal::GetCapturedStdout();
  const footer_record& ft = f.footers()[0];
  const std::string head =
      "\nfooter offset : " + value_dump(ft.footer_offset) +
      "\n\nfooter length : " + value_dump(ft.footer_len) +
      "\nEventsCount = 1\n\ntbl_offset = " + value_dump(ft.tbl_offset) +
      "\n\ntbl_len = " + value_dump(ft.tbl_len) +
      "\n\nname_len_tbl     = 12 (0x000000000000000C)\n"
      "\nname_tbl         = 0_events.dat\n"
      "unpacked_len_tbl = 38 (0x0000000000000026)\n"
      "item_offset      = 512 (0x0000000000000200)\n"
      "packed_len       = " +
      value_dump(ft.part_table[0].packed_len) +
      "\nBuffer_ID id     = 3 (0x00000003)\n"
      "======\nParts:\n======\nPart index: 0\n0 : nullptr\n1 : nullptr\n"
      "2 : nullptr\n3 : id = 3 RepEventsBuffer\nbuffer_len = 38\nulCount = 1\n\n";
  EXPECT_EQ(out.substr(0, head.size()), head);
  EXPECT_NE(out.find("12 : nullptr\n-----------------\n"), std::string::npos);
}

}  // namespace
}  // namespace repcopy
