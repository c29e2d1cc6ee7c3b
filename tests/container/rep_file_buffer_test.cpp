#include "container/rep_file_buffer.h"

#include <gtest/gtest.h>

#include <string>

#include "container/format.h"
#include "container/properties.h"
#include "container/rep_data_buffer.h"
#include "records/events_reader.h"
#include "records/position_readers.h"
#include "tests/container/container_bytes.h"

namespace repcopy {
namespace {

using test::bytes;
using test::footer_spec;
using test::part_item;

// The first string of records_of(id).
std::u16string tag_of(int id) { return u"r" + std::u16string(1, char16_t(u'A' + id)); }

// Three valid records in the layout of Buffer ID id, different per item so that a mixed-up slot
// shows.
bytes records_of(int id) { return test::valid_records(id, {tag_of(id), u"", u"xyz"}); }

// Whether the reader of Buffer ID id gives back the strings of valid_records: the string caches
// by string_at, the events reader as record data. The record keys, position and field list
// readers keep no text.
bool keeps_text(int id) { return id != 4 && id != 6 && id != 7 && id != 10; }

// The string that valid_records put into record i of slot.
std::u16string text_of(const RepPartBuffer& slot, uint32_t i) {
  if (const auto* events = dynamic_cast<const RepEventsBuffer*>(&slot)) {
    const byte_span data = events->record(i).data;
    std::u16string s;
    for (size_t k = 0; k + 1 < data.size(); k += 2) {
      s.push_back(char16_t(data[k] | (data[k + 1] << 8)));
    }
    return s;
  }
  return slot.string_at(i);
}

// Items "0_cat.cache" to "0_user.cache" (Buffer IDs 0 to 9) of part 0.
std::vector<test::table_item> cache_items() {
  std::vector<test::table_item> items;
  for (int id = 0; id <= 9; ++id) {
    items.push_back(part_item(std::string(kItemNames[id]), records_of(id)));
  }
  return items;
}

class FileBuffer : public testing::Test {
 protected:
  // Loads image_ with flags, capturing both outputs.
  int32_t Load(const load_flags& flags = kAllLoadFlags) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    file_ = std::make_unique<RepFileBuffer>(image_, flags);
    int32_t rc = file_->Load();
    out_ = testing::internal::GetCapturedStdout();
    err_ = testing::internal::GetCapturedStderr();
    return rc;
  }
  const footer_record& footer(size_t i = 0) const { return file_->footers().at(i); }

  bytes image_;
  std::unique_ptr<RepFileBuffer> file_;
  std::string out_, err_;
};

TEST_F(FileBuffer, MinimalFileLoadsAsEventDataWithOnePart) {
  image_ = test::build_file({{cache_items(), {{u"EventsCount", u"5"}, {u"Host", u"h"}}}});
  ASSERT_EQ(Load(), 0) << out_;
  EXPECT_EQ(out_ + err_, "");
  EXPECT_TRUE(file_->ready());
  EXPECT_EQ(file_->kind(), RepFileBuffer::kKindEventData);
  EXPECT_EQ(file_->damage_count(), 0u);
  ASSERT_EQ(file_->footers().size(), 1u);
  const footer_record& f = footer();
  EXPECT_EQ(f.footer_offset, file_->last_footer_offset());
  EXPECT_EQ(f.footer_offset + f.footer_len, image_.size());
  EXPECT_EQ(f.tbl_offset, f.footer_offset + 12);

  ASSERT_EQ(f.part_table.size(), 10u);
  EXPECT_EQ(f.part_table[0].item_offset, 512u);
  for (int id = 0; id <= 9; ++id) {
    const part_table_entry& e = f.part_table[id];
    EXPECT_EQ(e.buffer_id, id);
    EXPECT_EQ(e.name_len, kItemNames[id].size());
    EXPECT_EQ(e.unpacked_len_tbl, records_of(id).size());
    if (id > 0) {
      EXPECT_EQ(e.item_offset, f.part_table[id - 1].item_offset + f.part_table[id - 1].packed_len);
    }
  }
  ASSERT_EQ(f.parts.size(), 1u);
  EXPECT_EQ(f.parts[0].index, 0);
  for (int id = 0; id < kPartBufferCount; ++id) {
    const auto& slot = f.parts[0].slots[id];
    if (id > 9) {
      EXPECT_EQ(slot, nullptr);
      continue;
    }
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->buffer_id(), id);
    // The position files are not parsed into records.
    EXPECT_EQ(slot->ulCount(), id == 4 || id == 6 ? 0u : 3u) << id;
    if (!keeps_text(id)) continue;
    EXPECT_EQ(text_of(*slot, 0), tag_of(id));
    EXPECT_EQ(text_of(*slot, 1), u"");
    EXPECT_EQ(text_of(*slot, 2), u"xyz");
  }
  const auto* keys = dynamic_cast<const RepRecordBuffer*>(f.parts[0].slots[7].get());
  ASSERT_NE(keys, nullptr);
  EXPECT_EQ(keys->record_key(0), 2u);  // "rH": two code units, the first 'r'
  EXPECT_EQ(keys->event_time(0), uint32_t(u'r'));
  EXPECT_EQ(keys->record_key(2), 3u);
  EXPECT_EQ(*get_property(f, u"Host"), u"h");
  EXPECT_EQ(file_->CountBufferEntries(), 0u);
  EXPECT_FALSE(file_->NextBufferEntry().has_data());
}

TEST_F(FileBuffer, KindsFromProperties) {
  const struct {
    bool with_items;
    std::vector<std::pair<std::u16string, std::u16string>> props;
    int32_t rc;
    int32_t kind;
  } cases[] = {
      {true, {{u"EventsCount", u"5"}}, 0, 1},
      {true, {{u"EventsCount", u"00012abc"}}, 0, 1},
      {true, {{u"Host", u"h"}}, 0, 1},  // no count: event data
      {true, {{u"EventsCount", u"0"}}, 0, 4},
      {true, {{u"EventsCount", u" 000"}}, 0, 4},
      {false, {{u"ActiveSegmentId", u"7"}}, 0, 2},
      {false, {{u"ActiveSegmentId", u""}, {u"EventsCount", u"0"}}, 0, 2},
      {false, {{u"EventsCount", u"5"}}, -1, 0},  // empty table, no marker
      {true, {{u"PrevPositionGUID", u"x"}, {u"EventsCount", u"5"}}, 0, 3},
      {false, {{u"PrevPositionGUID", u"x"}}, -1, 0},      // the empty table decides first
      {true, {{u"EventsCount", u"abc"}}, -1, 0},          // not a number
      {true, {{u"EventsCount", u"99999999999"}}, -1, 0},  // beyond 32 bits
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE("case " + std::to_string(i));
    std::vector<test::table_item> items;
    if (c.with_items) items = cache_items();
    image_ = test::build_file({{items, c.props}});
    EXPECT_EQ(Load(), c.rc);
    EXPECT_EQ(file_->kind(), c.kind);
    if (c.kind != 1) {
      EXPECT_TRUE(footer().parts.empty());  // only event data builds record buffers
    }
  }
}

TEST_F(FileBuffer, TwoFooterChainIsReadOldestFirst) {
  footer_spec older{{part_item("0_events.dat", records_of(3))},
                    {{u"EventsCount", u"1"}, {u"Computer", u"OLD"}}};
  footer_spec newer{{part_item("1_events.dat", test::valid_records(3, {u"rE"})),
                     part_item("1_cat.cache", records_of(0))},
                    {{u"EventsCount", u"2"}, {u"Computer", u"NEW"}}};
  image_ = test::build_file({older, newer});
  ASSERT_EQ(Load(), 0) << out_;
  ASSERT_EQ(file_->footers().size(), 2u);
  EXPECT_LT(footer(0).footer_offset, footer(1).footer_offset);
  EXPECT_EQ(footer(1).footer_offset, file_->last_footer_offset());
  EXPECT_EQ(*get_property(footer(0), u"Computer"), u"OLD");
  EXPECT_EQ(*get_property(footer(1), u"Computer"), u"NEW");
  ASSERT_EQ(footer(0).parts.size(), 1u);
  EXPECT_EQ(footer(0).parts[0].index, 0);
  ASSERT_EQ(footer(1).parts.size(), 1u);
  EXPECT_EQ(footer(1).parts[0].index, 1);
  EXPECT_NE(footer(1).parts[0].slots[0], nullptr);
  EXPECT_EQ(text_of(*footer(1).parts[0].slots[3], 0), u"rE");

  testing::internal::CaptureStdout();
  file_->Dump();
  std::string dump = testing::internal::GetCapturedStdout();
  EXPECT_EQ(
      dump.rfind("\n===============\nmultifooter file: 2\n===============\nfooter offset : ", 0),
      0u);
}

TEST_F(FileBuffer, BrokenHeaderOrChainMakesTheFileNotReady) {
  const bytes good = test::build_file({{cache_items(), {{u"EventsCount", u"5"}}}});
  const size_t size = good.size();
  RepFileBuffer probe(good);
  const uint64_t footer_at = probe.last_footer_offset();
  const uint32_t footer_len = probe.last_footer_len();

  struct damaged {
    bytes image;
    std::string message;
  };
  std::vector<damaged> cases;
  {
    bytes b(good.begin(), good.begin() + 300);
    cases.push_back({b, "File too short for its header: 300 < 512 bytes\n"});
  }
  {
    bytes b = good;
    test::set_u32(b, 40, footer_len + 1);
    cases.push_back({b, "last_footer_offset + last_footer_len != buffer_len :" +
                            std::to_string(size + 1) + " != " + std::to_string(size) + "\n"});
  }
  {
    bytes b = good;
    test::set_u64(b, 32, ~uint64_t(0));
    test::set_u32(b, 40, 0);
    cases.push_back({b, "last_footer_offset + last_footer_len != buffer_len :" +
                            std::to_string(~uint64_t(0)) + " != " + std::to_string(size) + "\n"});
  }
  {
    bytes b = good;  // a last footer of 4 bytes: its previous offset cannot be read
    test::set_u64(b, 32, size - 4);
    test::set_u32(b, 40, 4);
    cases.push_back({b, "Current buffer offset " + std::to_string(size + 4) + " is out of range " +
                            std::to_string(size) + "\nScanFooters() error\n"});
  }
  {
    bytes b = good;  // a last footer of 10 bytes: its previous length cannot be read
    test::set_u64(b, 32, size - 10);
    test::set_u32(b, 40, 10);
    test::set_u64(b, size - 10, 0);
    cases.push_back({b, "Current buffer offset " + std::to_string(size + 2) + " is out of range " +
                            std::to_string(size) + "\nScanFooters() error\n"});
  }
  {
    bytes b = good;  // the footer names itself
    test::set_u64(b, footer_at, footer_at);
    test::set_u32(b, footer_at + 8, footer_len);
    cases.push_back({b, "Previous footer at " + std::to_string(footer_at) + " (length " +
                            std::to_string(footer_len) + ") does not lie before the footer at " +
                            std::to_string(footer_at) + "\nScanFooters() error\n"});
  }
  {
    bytes b = good;  // an earlier footer overlapping this one
    test::set_u64(b, footer_at, footer_at - 10);
    test::set_u32(b, footer_at + 8, 28);
    cases.push_back({b, "Previous footer at " + std::to_string(footer_at - 10) +
                            " (length 28) does not lie before the footer at " +
                            std::to_string(footer_at) + "\nScanFooters() error\n"});
  }
  {
    bytes b = good;  // an earlier footer too short for its own fields
    test::set_u64(b, footer_at, 600);
    test::set_u32(b, footer_at + 8, 27);
    cases.push_back({b, "Previous footer at 600 too short: length 27 < 28\nScanFooters() error\n"});
  }
  for (const damaged& c : cases) {
    image_ = c.image;
    EXPECT_EQ(Load(), -1);
    EXPECT_FALSE(file_->ready());
    EXPECT_EQ(file_->kind(), 0);
    EXPECT_EQ(out_, c.message);
  }
}

TEST_F(FileBuffer, PartsFollowTheOrderOfTheirFirstEntries) {
  image_ = test::build_file(
      {{{part_item("1_events.dat", records_of(3)), part_item("0_events.dat", records_of(3)),
         part_item("1_cat.cache", records_of(0)), part_item("12_events.dat", records_of(3))},
        {{u"EventsCount", u"3"}}}});
  ASSERT_EQ(Load(), 0);
  const auto& parts = footer().parts;
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[0].index, 1);
  EXPECT_EQ(parts[1].index, 0);
  EXPECT_EQ(parts[2].index, 12);
  EXPECT_NE(parts[0].slots[0], nullptr);
  EXPECT_NE(parts[0].slots[3], nullptr);
  EXPECT_EQ(parts[1].slots[0], nullptr);
}

TEST_F(FileBuffer, LaterEntryOfTheSameSlotReplacesTheEarlierOne) {
  image_ = test::build_file({{{part_item("0_events.dat", test::valid_records(3, {u"first"})),
                               part_item("00_events.dat", test::valid_records(3, {u"second"}))},
                              {{u"EventsCount", u"1"}}}});
  ASSERT_EQ(Load(), 0);
  ASSERT_EQ(footer().parts.size(), 1u);
  EXPECT_EQ(text_of(*footer().parts[0].slots[3], 0), u"second");
}

TEST_F(FileBuffer, LoadFlagZeroLeavesTheSlotEmptyButKeepsThePart) {
  image_ = test::build_file(
      {{{part_item("0_events.dat", records_of(3)), part_item("2_events.dat", records_of(3))},
        {{u"EventsCount", u"3"}}}});
  load_flags flags = kAllLoadFlags;
  flags[3] = 0;
  ASSERT_EQ(Load(flags), 0);
  ASSERT_EQ(footer().parts.size(), 2u);
  for (const part_record& p : footer().parts) EXPECT_EQ(p.slots[3], nullptr);
  EXPECT_EQ(footer().load_flags[3], 0u);
  EXPECT_EQ(footer().load_flags[13], 0u);
}

TEST_F(FileBuffer, FilterItemsAreNotBuiltByAFileLoad) {
  image_ = test::build_file(
      {{{part_item("0_events.dat", records_of(3)), part_item("filter.dat", records_of(13)),
         part_item("filters.stat", records_of(14))},
        {{u"EventsCount", u"3"}}}});
  ASSERT_EQ(Load(), 0);
  EXPECT_EQ(footer().part_table[1].buffer_id, 13);
  EXPECT_EQ(footer().part_table[2].buffer_id, 14);
  EXPECT_EQ(footer().parts.size(), 1u);
  EXPECT_EQ(footer().filter_data, nullptr);
  EXPECT_EQ(footer().filter_stat, nullptr);
}

TEST_F(FileBuffer, PartIndexThatIsNotANumberFailsTheLoad) {
  for (const char* name : {"x_events.dat", "99999999999_events.dat"}) {
    image_ = test::build_file({{{part_item(name, records_of(3))}, {{u"EventsCount", u"1"}}}});
    EXPECT_EQ(Load(), -1);
    EXPECT_EQ(file_->kind(), 0);
  }
}

TEST_F(FileBuffer, RecordBufferOfBrokenRecordsFailsTheLoad) {
  bytes broken = test::valid_records(0, {u"ok"});
  test::put_u32(broken, 5);  // a second name: 5 code units announced, 1 present
  broken.push_back('a');
  broken.push_back(0);
  image_ = test::build_file({{{part_item("0_cat.cache", broken)}, {{u"EventsCount", u"1"}}}});
  EXPECT_EQ(Load(), -1);
}

TEST_F(FileBuffer, EmptyItemLoadsWithNoRecords) {
  image_ = test::build_file(
      {{{part_item("0_events.dat", {}), part_item("0_cat.cache", {})}, {{u"EventsCount", u"1"}}}});
  ASSERT_EQ(Load(), 0);
  const auto& slot = footer().parts.at(0).slots[3];
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(slot->buffer_len(), 0u);  // the real length: no record, not one empty string
  EXPECT_EQ(slot->ulCount(), 0u);
}

TEST_F(FileBuffer, BadCrcIsReportedCountedAndTheDataStillUsed) {
  bytes data = test::valid_records(0, {u"abcd"});
  test::table_item item = part_item("0_cat.cache", data);
  const size_t text_at = 12 + 12 + 5 + 4;  // header, name, stored block head, name count
  item.item[text_at] = 'Z';
  image_ = test::build_file(
      {{{item, part_item("0_events.dat", records_of(3))}, {{u"EventsCount", u"1"}}}});
  ASSERT_EQ(Load(), 0);
  EXPECT_EQ(out_.rfind("BAD CRC: ", 0), 0u);
  EXPECT_EQ(file_->damage_count(), 1u);
  EXPECT_EQ(footer().parts[0].slots[0]->string_at(0), u"Zbcd");
}

TEST_F(FileBuffer, BadItemsBuildEmptyBuffersAndAreCounted) {
  test::table_item beyond = part_item("0_cat.cache", records_of(0));
  beyond.forged = true;
  beyond.item_offset = 1u << 20;
  beyond.packed_len = 40;
  test::table_item bad_sig = part_item("0_comp.cache", records_of(1));
  bad_sig.item[0] = 'X';
  test::table_item bad_stream =
      test::table_item{u"0_desc.cache", test::item_with("0_desc.cache", {0x07}, 0, 1), 1};
  image_ =
      test::build_file({{{beyond, bad_sig, bad_stream, part_item("0_events.dat", records_of(3))},
                         {{u"EventsCount", u"1"}}}});
  ASSERT_EQ(Load(), 0) << out_;
  EXPECT_EQ(file_->damage_count(), 3u);
  EXPECT_NE(out_.find("Truncated item: item_offset 1048576 + packed_len 40"), std::string::npos);
  EXPECT_NE(out_.find("Wrong signature!\n"), std::string::npos);
  EXPECT_NE(out_.find("error: Can't uncompress : -3\nuncompress error\n"), std::string::npos);
  for (int id = 0; id < 3; ++id) {
    ASSERT_NE(footer().parts[0].slots[id], nullptr);
    EXPECT_EQ(footer().parts[0].slots[id]->ulCount(), 0u);
  }
  EXPECT_EQ(footer().parts[0].slots[3]->ulCount(), 3u);
}

TEST_F(FileBuffer, EntriesOfUnknownContentAreSkippedAndCounted) {
  bytes raw_file_data(64, 0);
  test::set_u32(raw_file_data, 0, kFileMagic);
  test::table_item raw{u"copy.rep", raw_file_data, 64};
  test::table_item junk{u"notes", bytes(30, 'j'), 30};
  test::table_item past_end{u"gone.bin", {}, 0, true, 1u << 30, 10};
  image_ = test::build_file({{{raw, junk, past_end, part_item("0_events.dat", records_of(3))},
                              {{u"EventsCount", u"1"}}}});
  ASSERT_EQ(Load(), 0);
  EXPECT_EQ(footer().part_table[0].buffer_id, -2);
  EXPECT_EQ(footer().part_table[1].buffer_id, -3);
  EXPECT_EQ(footer().part_table[2].buffer_id, -3);
  EXPECT_EQ(out_, "Unknown Buffer ID = -2\nUnknown Buffer ID = -3\nUnknown Buffer ID = -3\n");
  EXPECT_EQ(file_->damage_count(), 3u);
  EXPECT_EQ(footer().parts.size(), 1u);
}

TEST_F(FileBuffer, NestedFileIsListedAsABufferEntryAndLoadsOnItsOwn) {
  const bytes inner = test::build_file({{cache_items(), {{u"EventsCount", u"5"}}}});
  test::table_item nested{u"inner.rep", test::deflated_item("inner.rep", inner), inner.size()};
  image_ = test::build_file({{{nested}, {{u"EventsCount", u"5"}}}});
  ASSERT_EQ(Load(), 0) << out_;
  EXPECT_EQ(file_->kind(), 1);
  EXPECT_EQ(footer().part_table[0].buffer_id, -1);
  EXPECT_TRUE(footer().parts.empty());
  EXPECT_EQ(file_->CountBufferEntries(), 1u);

  const buffer_entry& entry = file_->NextBufferEntry();
  ASSERT_TRUE(entry.has_data());
  EXPECT_EQ(entry.item_offset, 512u);
  EXPECT_EQ(entry.packed_len, nested.item.size());
  EXPECT_EQ(entry.buffer_id, -3);
  RepDataBuffer item(entry);
  EXPECT_EQ(item.name(), "inner.rep");
  EXPECT_FALSE(file_->NextBufferEntry().has_data());
  EXPECT_FALSE(file_->NextBufferEntry().has_data());

  buffer_entry unpacked = item.UnpackAsEntry();
  ASSERT_TRUE(unpacked.has_data());
  EXPECT_EQ(item.status(), 0);
  EXPECT_EQ(unpacked.buffer_id, -2);
  EXPECT_EQ(unpacked.item_offset, 0u);
  EXPECT_EQ(unpacked.packed_len, inner.size());
  buffer_entry moved = std::move(unpacked);  // ownership travels with the entry

  RepFileBuffer nested_file(std::move(moved), kAllLoadFlags);
  ASSERT_EQ(nested_file.Load(), 0);
  EXPECT_EQ(nested_file.kind(), 1);
  ASSERT_EQ(nested_file.footers().at(0).parts.size(), 1u);
  EXPECT_EQ(nested_file.footers()[0].parts[0].slots[9]->string_at(0), u"rJ");
}

TEST_F(FileBuffer, UnpackAsEntryGivesNoDataForOtherContent) {
  const bytes item = test::stored_item("a.b", {'x', 'y', 'z', 'w', 'v'});
  RepDataBuffer d(item, item.size(), 0);
  EXPECT_FALSE(d.UnpackAsEntry().has_data());
  const bytes tiny = test::stored_item("a.b", {'E', 'D', 'R'});
  RepDataBuffer t(tiny, tiny.size(), 0);
  EXPECT_FALSE(t.UnpackAsEntry().has_data());  // three real bytes classify as unknown
}

TEST_F(FileBuffer, NestedEntryOutsideTheImageIsSkipped) {
  image_ = test::build_file({{{test::table_item{u"inner.rep", bytes{'E', 'D', 'R', 'P'}, 0},
                               part_item("0_events.dat", records_of(3))},
                              {{u"EventsCount", u"1"}}}});
  // Make the first entry claim more bytes than the file has: its packed_len follows the
  // count, 9 name units, unpacked_len_tbl and item_offset.
  RepFileBuffer probe(image_);
  const size_t packed_len_at = probe.last_footer_offset() + 20 + 4 + 2 * 9 + 8 + 8;
  test::set_u64(image_, packed_len_at, 1u << 20);
  ASSERT_EQ(Load(), 0) << out_;
  EXPECT_EQ(file_->CountBufferEntries(), 0u);
  EXPECT_EQ(file_->damage_count(), 1u);
  EXPECT_EQ(out_.rfind("Truncated nested file: item_offset 512 + packed_len 1048576", 0), 0u);
}

TEST_F(FileBuffer, PartTableCutShortKeepsTheEntriesBeforeTheBadOne) {
  image_ = test::build_file(
      {{{part_item("0_events.dat", records_of(3)), part_item("0_cat.cache", records_of(0))},
        {{u"EventsCount", u"1"}}}});
  RepFileBuffer probe(image_);
  const size_t second_entry = probe.last_footer_offset() + 20 + 28 + 2 * 12;
  test::set_u32(image_, second_entry, 1000);  // its name runs past the table
  ASSERT_EQ(Load(), 0);
  EXPECT_EQ(footer().part_table.size(), 1u);
  EXPECT_EQ(file_->damage_count(), 1u);
  EXPECT_EQ(out_, "Part table entry at " + std::to_string(second_entry) +
                      " runs past the end of the table " +
                      std::to_string(footer().property_offset) +
                      "; the rest of the table is skipped\n");
}

TEST_F(FileBuffer, TableLengthPastTheFooterFailsTheLoad) {
  image_ =
      test::build_file({{{part_item("0_events.dat", records_of(3))}, {{u"EventsCount", u"1"}}}});
  RepFileBuffer probe(image_);
  const uint64_t tbl_offset = probe.last_footer_offset() + 12;
  test::set_u64(image_, tbl_offset, ~uint64_t(0) - 4);
  EXPECT_EQ(Load(), -1);
  EXPECT_EQ(out_.rfind("Part table at tbl_offset " + std::to_string(tbl_offset), 0), 0u);
}

TEST_F(FileBuffer, RejectedPropertyBlockAddsAWholeFileDump) {
  image_ =
      test::build_file({{{part_item("0_events.dat", records_of(3))}, {{u"EventsCount", u"1"}}}});
  // The one pair takes 4 + 2 x 11 + 4 + 2 x 1 bytes; property_len says one less.
  const size_t pairs = 4 + 22 + 4 + 2;
  test::set_u64(image_, image_.size() - pairs - 8, pairs - 1);
  EXPECT_EQ(Load(), -1);
  EXPECT_EQ(err_, "Wrong property len!!!\n");
  EXPECT_EQ(out_.rfind("Wrong property len!!!\n", 0), 0u);
  // The parser's whole-file dump and the loader's one.
  size_t first = out_.find("00000000: ");
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(out_.find("00000000: ", first + 1), std::string::npos);
}

TEST_F(FileBuffer, DestroyPartsReleasesTheRecordBuffers) {
  image_ = test::build_file({{cache_items(), {{u"EventsCount", u"5"}}}});
  ASSERT_EQ(Load(), 0);
  file_->DestroyParts();
  EXPECT_TRUE(footer().parts.empty());
  EXPECT_EQ(footer().properties.size(), 1u);  // properties live as long as the file
}

}  // namespace
}  // namespace repcopy
