// Damaged repository files: bad indexes, damaged items and nested files, files that cannot be
// read or loaded, and the files that hold no event data without being damaged.
#include <gtest/gtest.h>

#include "container/rep_file_source.h"
#include "tests/container/rep_file_source_test.h"

namespace repcopy::test_rep {
namespace {

bytes windows_file(const test_part& p) {
  return rep_file_builder().windows(u"srv", u"D").part(p).build();
}

TEST_F(RepFileSourceTest, RecordWithBadComputerIndexIsSkippedAndReportedOnce) {
  test_part p = sample_part();
  p.events[1].comp = 2;  // one past the last computer record
  p.events[2].comp = 0xFFFFFFFF;
  read_result r = process(windows_file(p));
  EXPECT_EQ(r.rc, 0);
  ASSERT_EQ(keys_of(r.events), std::vector<uint32_t>{11});
  EXPECT_EQ(r.err, "Damaged source file " + path_text() + ": 2 record(s) affected\n");
  EXPECT_EQ(outcome_.damaged_files(), 1u);
}

TEST_F(RepFileSourceTest, OtherBadIndexesLeaveTheirFieldEmpty) {
  struct {
    const char* label;
    void (*damage)(test_part&);
    bool (*field_empty)(const full_event&);
  } cases[] = {
      {"source", [](test_part& p) { p.events[0].src = 1; },
       [](const full_event& e) { return e.src_name.empty() && e.src_name_crc == 0; }},
      {"category", [](test_part& p) { p.events[0].cat = 7; },
       [](const full_event& e) { return e.category_name.empty() && e.event_id == 0; }},
      {"user", [](test_part& p) { p.events[0].user = 1; },
       [](const full_event& e) { return e.user_string1.empty() && e.user_binary.empty(); }},
      {"description", [](test_part& p) { p.events[0].desc = 5; },
       [](const full_event& e) { return e.description.empty(); }},
      {"insertion string",
       [](test_part& p) {
         p.events[0].words = {0, 3};
       },
       [](const full_event& e) { return e.strings.size() == 2 && e.strings[1].text.empty(); }},
      {"record key", [](test_part& p) { p.keys = {11}; },  // no key for events 1 and 2
       [](const full_event& e) { return e.record_key == 11; }},
      {"missing source cache", [](test_part& p) { p.omit = {8}; },
       [](const full_event& e) { return e.src_name.empty(); }},
      {"named-field name",
       [](test_part& p) {
         p.nf_names = {u"A"};
         p.nf_values = {u"x"};
         p.nfields = std::vector<field_list>{{{4, 0}}, {}, {}};
       },
       [](const full_event& e) {
         return e.named_count == 1 && e.named_fields[0].name.empty() &&
                e.named_fields[0].value == u"x";
       }},
  };
  for (const auto& c : cases) {
    test_part p = sample_part();
    c.damage(p);
    const uint64_t before = outcome_.damaged_files();
    read_result r = process(windows_file(p));
    ASSERT_EQ(r.events.size(), 3u) << c.label;
    EXPECT_TRUE(c.field_empty(r.events[0])) << c.label;
    EXPECT_EQ(r.events[0].computer, u"ws01") << c.label;  // the rest of the event is intact
    EXPECT_EQ(r.events[0].event_time, 1100u) << c.label;
    EXPECT_NE(r.err.find("Damaged source file " + path_text()), std::string::npos) << c.label;
    EXPECT_EQ(outcome_.damaged_files(), before + 1) << c.label;
  }
}

TEST_F(RepFileSourceTest, NamedFieldTableShorterThanTheEventsGivesNoFields) {
  test_part p = sample_part();
  p.nf_names = {u"A"};
  p.nf_values = {u"x"};
  p.nfields = std::vector<field_list>{{{0, 0}}};  // a record for event 0 only
  read_result r = process(windows_file(p));
  ASSERT_EQ(r.events.size(), 3u);
  EXPECT_EQ(r.events[0].named_count, 1u);
  EXPECT_EQ(r.events[1].named_count, 0u);
  EXPECT_EQ(r.err, "Damaged source file " + path_text() + ": 2 record(s) affected\n");
}

TEST_F(RepFileSourceTest, ItemWithBadCrcStillGivesItsEventsButMakesTheFileDamaged) {
  test_part p = sample_part();
  p.omit = {2};
  bytes desc_item = packed_item("0_desc.cache", counted_strings(p.descs));
  desc_item[desc_item.size() - 8] ^= 0x01;  // stored CRC
  read_result r = process(
      rep_file_builder().windows(u"s", u"D").part(p).packed("0_desc.cache", desc_item).build());
  ASSERT_EQ(r.events.size(), 3u);
  EXPECT_EQ(r.events[0].description, u"An account logged on");
  EXPECT_NE(r.out.find("BAD CRC: "), std::string::npos);
  EXPECT_EQ(r.err,
            "Damaged source file " + path_text() + ": 0 record(s) affected, 1 damaged item(s)\n");
  EXPECT_EQ(outcome_.damaged_files(), 1u);
}

TEST_F(RepFileSourceTest, TwoNestedFilesOneDamaged) {
  test_part sound = sample_part();
  bytes good = rep_file_builder().windows(u"inner", u"D").part(sound).build();
  bytes broken = good;
  broken.resize(broken.size() - 3);  // the footer no longer ends the file
  read_result r = process(rep_file_builder()
                              .windows(u"outer", u"D")
                              .item("S1.rep", broken)
                              .item("S2.rep", good)
                              .build());
  EXPECT_EQ(r.rc, 0);
  ASSERT_EQ(keys_of(r.events), (std::vector<uint32_t>{11, 12, 13}));
  EXPECT_EQ(r.events[0].host_computer, u"INNER");
  const size_t message = r.out.find("(b)some problem in file: S1.rep\n");
  ASSERT_NE(message, std::string::npos);
  EXPECT_EQ(r.out.find("S2.rep"), std::string::npos);
  EXPECT_NE(r.err.find("(b)some problem in file: S1.rep\n"), std::string::npos);
  EXPECT_NE(r.err.find("Damaged source file " + path_text() +
                       ": 0 record(s) affected, 1 nested file(s) skipped\n"),
            std::string::npos);
  EXPECT_EQ(outcome_.damaged_files(), 1u);
}

TEST_F(RepFileSourceTest, NestedItemThatDoesNotInflateIsSkippedAndTheNextIsRead) {
  bytes good = rep_file_builder().windows(u"inner", u"D").part(sample_part()).build();
  bytes garbled = packed_item("S1.rep", good);
  for (size_t i = 20; i < 60; ++i) garbled[i] = 0xFF;  // inside the deflate stream
  read_result r = process(rep_file_builder()
                              .windows(u"outer", u"D")
                              .packed("S1.rep", garbled)
                              .item("S2.rep", good)
                              .build());
  EXPECT_EQ(keys_of(r.events), (std::vector<uint32_t>{11, 12, 13}));
  EXPECT_NE(r.out.find("(b)some problem in file: S1.rep\n"), std::string::npos);
  EXPECT_EQ(outcome_.damaged_files(), 1u);
}

TEST_F(RepFileSourceTest, OuterPartsAreNotReadWhenTheFileHoldsNestedFiles) {
  test_part outer = sample_part();
  outer.keys = {91, 92, 93};
  bytes inner = rep_file_builder().windows(u"inner", u"D").part(sample_part()).build();
  read_result r =
      process(rep_file_builder().windows(u"outer", u"D").part(outer).item("S.rep", inner).build());
  EXPECT_EQ(keys_of(r.events), (std::vector<uint32_t>{11, 12, 13}));
}

TEST_F(RepFileSourceTest, FileThatCannotBeReadIsCountedAsDamaged) {
  read_result r = process_path(write({}, "x") + u"-missing.rep");
  EXPECT_EQ(r.rc, -1);
  EXPECT_TRUE(r.events.empty());
  EXPECT_NE(r.err.find("Damaged source file skipped, it cannot be read: "), std::string::npos);
  EXPECT_EQ(outcome_.damaged_files(), 1u);
}

TEST_F(RepFileSourceTest, FileThatDoesNotLoad) {
  bytes file = windows_file(sample_part());
  file[40] ^= 0x01;  // last_footer_len
  read_result r = process(file);
  EXPECT_EQ(r.rc, -1);
  EXPECT_TRUE(r.events.empty());
  EXPECT_NE(r.out.find("(a)some problem in file:\n\n"), std::string::npos);
  EXPECT_EQ(r.err, "Damaged source file skipped, it does not load: " + path_text() + "\n");
  EXPECT_EQ(outcome_.damaged_files(), 1u);
}

TEST_F(RepFileSourceTest, TruncationSweepNeverYieldsWrongEventsOrCrashes) {
  const bytes file = windows_file(sample_part());
  for (size_t len = 0; len < file.size(); len += 13) {
    read_result r = process(bytes(file.begin(), file.begin() + long(len)));
    EXPECT_EQ(r.rc, -1) << len;
    EXPECT_TRUE(r.events.empty()) << len;
  }
}

TEST_F(RepFileSourceTest, FilesWithoutEventDataAreNotFailures) {
  struct {
    const char* label;
    rep_file_builder file;
  } cases[] = {
      {"empty (EventsCount 0)",
       rep_file_builder().property(u"EventsCount", u"0").part(sample_part())},
      {"active segment", rep_file_builder().property(u"ActiveSegmentId", u"7")},
      {"position file", rep_file_builder().property(u"PrevPositionGUID", u"X").part(sample_part())},
  };
  for (auto& c : cases) {
    read_result r = process(c.file.build());
    EXPECT_EQ(r.rc, -1) << c.label;
    EXPECT_TRUE(r.events.empty()) << c.label;
    EXPECT_EQ(r.err, "") << c.label;
  }
  EXPECT_EQ(outcome_.damaged_files(), 0u);
}

}  // namespace
}  // namespace repcopy::test_rep
