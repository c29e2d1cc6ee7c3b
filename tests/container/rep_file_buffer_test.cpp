#include "container/rep_file_buffer.h"

#include <gtest/gtest.h>

#include <string>

#include "container/format.h"
#include "container/properties.h"
#include "container/rep_data_buffer.h"
#include "tests/container/rep_file_bytes.h"
#include "tests/test_console.h"
#include "util/bytes.h"

namespace repcopy {
namespace {

using test::bytes;
using test::rep_file_builder;

class FileBuffer : public testing::Test {
 protected:
  // Loads image_ with flags, capturing both outputs.
  int32_t Load() {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    file_ = std::make_unique<RepFileBuffer>(test_console(), image_);
    int32_t rc = file_->Load();
    out_ = testing::internal::GetCapturedStdout();
    err_ = testing::internal::GetCapturedStderr();
    return rc;
  }
  const footer_record& footer(size_t i = 0) const { return file_->footers().at(i); }
  uint64_t footer_at() const { return load_le64(image_.data() + 32); }

  bytes image_;
  std::unique_ptr<RepFileBuffer> file_;
  std::string out_, err_;
};

TEST_F(FileBuffer, MinimalFileLoadsAsEventDataWithOnePart) {
  image_ = rep_file_builder().windows(u"h").part(test::sample_part()).build();
  ASSERT_EQ(Load(), 0) << out_;
  EXPECT_EQ(out_ + err_, "");
  EXPECT_EQ(file_->kind(), RepFileBuffer::kKindEventData);
  const footer_record& f = footer();
  EXPECT_EQ(f.part_table[0].item_offset, 512u);
  ASSERT_EQ(f.parts.size(), 1u);
  const uint32_t counts[] = {2, 2, 1, 3, 0, 3, 0, 3, 1, 1};  // the position files hold no records
  for (int id = 0; id < kPartBufferCount; ++id) {
    const auto& slot = f.parts[0].slots[id];
    ASSERT_EQ(slot == nullptr, id > 9) << id;
    if (id > 9) continue;
    EXPECT_EQ(f.part_table[id].buffer_id, id);
    EXPECT_EQ(slot->buffer_id(), id);
    EXPECT_EQ(slot->ulCount(), counts[id]) << id;
  }
  EXPECT_EQ(f.parts[0].slots[2]->string_at(0), u"An account logged on");
  file_->DestroyParts();
  EXPECT_TRUE(footer().parts.empty());
  EXPECT_EQ(footer().properties.size(), 6u);  // properties live as long as the file
}

TEST_F(FileBuffer, KindsFromProperties) {
  const struct {
    bool with_items;
    std::vector<std::pair<std::u16string, std::u16string>> props;
    int32_t rc, kind;
  } cases[] = {
      {true, {{u"EventsCount", u"5"}}, 0, 1},
      {true, {{u"EventsCount", u" 000"}}, 0, 4},
      {false, {{u"ActiveSegmentId", u""}, {u"EventsCount", u"0"}}, 0, 2},
      {true, {{u"PrevPositionGUID", u"x"}, {u"EventsCount", u"5"}}, 0, 3},
      {false, {{u"EventsCount", u"5"}}, -1, 0},          // empty table, no marker
      {true, {{u"EventsCount", u"99999999999"}}, -1, 0}  // beyond 32 bits
  };
  for (const auto& c : cases) {
    rep_file_builder b;
    if (c.with_items) b.part(test::sample_part());
    for (const auto& [n, v] : c.props) b.property(n, v);
    image_ = b.build();
    EXPECT_EQ(Load(), c.rc);
    EXPECT_EQ(file_->kind(), c.kind);
    if (c.rc == 0 && c.kind != 1) {
      EXPECT_TRUE(footer().parts.empty());
    }
  }
}

TEST_F(FileBuffer, TwoFooterChainIsReadOldestFirst) {
  image_ = rep_file_builder()
               .property(u"Computer", u"OLD")
               .part(test::sample_part())
               .next_footer()
               .property(u"Computer", u"NEW")
               .item("1_events.dat", {})
               .build();
  ASSERT_EQ(Load(), 0) << out_;
  ASSERT_EQ(file_->footers().size(), 2u);
  EXPECT_EQ(*get_property(footer(0), u"Computer"), u"OLD");
  EXPECT_EQ(*get_property(footer(1), u"Computer"), u"NEW");
  EXPECT_EQ(footer(0).parts.at(0).index, 0);
  EXPECT_EQ(footer(1).parts.at(0).index, 1);
  EXPECT_EQ(footer(1).parts[0].slots[0], nullptr);
}

TEST_F(FileBuffer, BrokenHeaderOrChainMakesTheFileNotReady) {
  const bytes good = rep_file_builder().property(u"EventsCount", u"5").part({}).build();
  image_ = good;
  const size_t size = good.size(), at = footer_at();
  const uint32_t len = uint32_t(size - at);
  struct damaged {
    size_t keep;  // bytes kept
    std::vector<std::tuple<size_t, uint64_t, int>> patches;
    std::string message;
  };
  const damaged cases[] = {
      {300, {}, "File too short for its header: 300 < 512 bytes\n"},
      {size,
       {{40, len + 1, 4}},
       "last_footer_offset + last_footer_len != buffer_len :" + std::to_string(size + 1) +
           " != " + std::to_string(size) + "\n"},
      {size,
       {{at, 600, 8}, {at + 8, 27, 4}},
       "Previous footer at 600 too short: length 27 < 28\nScanFooters() error\n"}};
  for (const damaged& c : cases) {
    image_ = bytes(good.begin(), good.begin() + long(c.keep));
    for (auto [where, value, width] : c.patches) test::patch(image_, where, value, width);
    EXPECT_EQ(Load(), -1);
    EXPECT_FALSE(file_->ready());
    EXPECT_EQ(out_, c.message);
  }
}

TEST_F(FileBuffer, BadItemsBuildEmptyBuffersAndAreCountedWhileBadCrcDataIsUsed) {
  const test::test_part p = test::sample_part();
  bytes bad_sig = test::packed_item("0_comp.cache", {});
  bad_sig[0] = 'X';
  bytes bad_crc = test::packed_item("0_desc.cache", test::counted_strings(p.descs));
  bad_crc[bad_crc.size() - 8] ^= 1;
  bytes raw_file(64, 0);
  store_le32(raw_file.data(), kFileMagic);
  image_ = rep_file_builder()
               .property(u"EventsCount", u"1")
               .forged("0_cat.cache", 1u << 20, 40)
               .packed("0_comp.cache", bad_sig)
               .packed("0_desc.cache", bad_crc)
               .packed("0_src.cache", test::item_with("0_src.cache", {0x07}, 0, 1), 1)
               .packed("copy.rep", raw_file)
               .packed("notes", bytes(30, 'j'))
               .item("0_events.dat", {})
               .build();
  ASSERT_EQ(Load(), 0) << out_;
  EXPECT_EQ(file_->damage_count(), 6u);
  for (const char* text : {"Truncated item: item_offset 1048576 + packed_len 40",
                           "Wrong signature!\n", "BAD CRC: ", "error: Can't uncompress : -3\n",
                           "Unknown Buffer ID = -2\nUnknown Buffer ID = -3\n"}) {
    EXPECT_NE(out_.find(text), std::string::npos) << text;
  }
  const auto& slots = footer().parts.at(0).slots;
  for (int id : {0, 1, 8}) EXPECT_EQ(slots[id]->ulCount(), 0u) << id;
  EXPECT_EQ(slots[2]->string_at(0), u"An account logged on");
  EXPECT_EQ(slots[3]->buffer_len(), 0u);  // an empty item: no record, not one empty string
  EXPECT_EQ(slots[3]->ulCount(), 0u);
}

TEST_F(FileBuffer, PartTableDamage) {
  image_ =
      rep_file_builder().windows(u"h").item("0_events.dat", {}).item("0_cat.cache", {}).build();
  const bytes good = image_;
  const size_t second_entry = footer_at() + 20 + 28 + 2 * 12;
  // Its name runs past the table: the entries after it cannot be found, so the parts would be
  // joined with items missing; the file does not load.
  test::patch(image_, second_entry, 1000, 4);
  ASSERT_EQ(Load(), -1);
  EXPECT_EQ(file_->damage_count(), 1u);
  EXPECT_EQ(out_, "Part table entry at " + std::to_string(second_entry) +
                      " runs past the end of the table " +
                      std::to_string(footer_at() + 20 + load_le64(image_.data() + footer_at() + 12)) +
                      "\n");
  image_ = good;
  test::patch(image_, footer_at() + 12, ~uint64_t(0) - 4, 8);  // table length past the footer
  EXPECT_EQ(Load(), -1);
  EXPECT_EQ(out_.rfind("Part table at tbl_offset " + std::to_string(footer_at() + 12), 0), 0u);
}

}  // namespace
}  // namespace repcopy
