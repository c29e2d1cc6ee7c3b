#include "container/rep_file_source.h"

#include <gtest/gtest.h>

#include "tests/container/rep_file_source_test.h"

namespace repcopy::test_rep {
namespace {

// Event 0 of sample_part() as a Windows file of computer "srv01", domain "CORP" gives it.
full_event expected_first_event() {
  full_event e;
  e.origin_flag = 1;
  e.host_computer = u"SRV01";
  e.host_computer_crc = crc32_of_text(u"SRV01");
  e.platform_id = 500;
  e.under_data_source = u"Security";
  e.record_key = 11;
  e.computer = u"ws01";
  e.computer_crc = crc32_of_text(u"ws01");
  e.user_string1 = u"CORP";
  e.user_string1_crc = crc32_of_text(u"CORP");
  e.user_string2 = u"alice";
  e.user_string2_crc = crc32_of_text(u"alice");
  e.category = 12544;
  e.src_name = u"Security-Auditing";
  e.src_name_crc = crc32_of_text(u"Security-Auditing");
  e.event_id = 4624;
  e.category_name = u"Logon";
  e.category_name_crc = crc32_of_text(u"Logon");
  e.event_time = 1100;
  e.stored_time = 100;
  e.domain = u"CORP";
  e.computer_type = 26;
  e.user_binary = {1, 2, 3};
  e.record_sum = 1100;
  e.description = u"An account logged on";
  e.description_crc = crc32_of_text(u"An account logged on");
  e.data = {9, 8};
  e.string_slots = 2;
  e.strings_aux = 7;
  e.string_count = 2;
  e.strings = {{1, u"alice", crc32_of_text(u"alice"), 0}, {2, u"bob", crc32_of_text(u"bob"), 0}};
  e.src_index = 0;
  e.cat_index = 0;
  e.comp_index = 0;
  e.user_index = 0;
  e.desc_index = 0;
  return e;
}

TEST_F(RepFileSourceTest, WindowsFileJoinsEveryFieldOfTheRecord) {
  read_result r =
      process(rep_file_builder().windows(u"srv01", u"CORP").part(sample_part()).build());
  EXPECT_EQ(r.rc, 0);
  ASSERT_EQ(r.events.size(), 3u);
  EXPECT_EQ(r.events[0], expected_first_event());

  const full_event& second = r.events[1];  // sums run on; computer "ws02" has offset 0
  EXPECT_EQ(second.stored_time, 120u);
  EXPECT_EQ(second.event_time, 120u);
  EXPECT_EQ(second.record_sum, 1105u);
  EXPECT_EQ(second.computer, u"ws02");
  EXPECT_EQ(second.event_id, 4634u);
  EXPECT_EQ(second.src_index, kNoIndex);
  EXPECT_TRUE(second.src_name.empty());
  EXPECT_EQ(second.src_name_crc, 0u);
  EXPECT_TRUE(second.user_string1.empty());
  EXPECT_TRUE(second.user_binary.empty());

  const full_event& third = r.events[2];  // no category: no EventID, empty description
  EXPECT_EQ(third.event_time, 1150u);
  EXPECT_EQ(third.cat_index, kNoIndex);
  EXPECT_EQ(third.event_id, 0u);
  EXPECT_TRUE(third.description.empty());
  EXPECT_EQ(third.description_crc, 0u);
  EXPECT_EQ(third.desc_index, kNoIndex);
  EXPECT_EQ(third.record_key, 13u);

  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(outcome_.damaged_files(), 0u);
}

TEST_F(RepFileSourceTest, LinuxHostInSmallLettersBecomesCapitals) {
  read_result r =
      process(rep_file_builder().unix_host(u"630", u"web-01.example").part(sample_part()).build());
  ASSERT_EQ(r.events.size(), 3u);
  for (const full_event& e : r.events) {
    EXPECT_EQ(e.host_computer, u"WEB-01.EXAMPLE");
    EXPECT_EQ(e.host_computer_crc, crc32_of_text(u"WEB-01.EXAMPLE"));
    EXPECT_EQ(e.domain, u"LINUX");
    EXPECT_EQ(e.platform_id, 630u);
  }
  EXPECT_EQ(r.err, "");
}

TEST_F(RepFileSourceTest, PlatformNamesAndEventIdWidth) {
  struct {
    const char16_t* platform;
    const char16_t* domain;
    uint32_t event_id;
  } cases[] = {
      {u"0", u"SyslogDevice", 0x5678}, {u"610", u"SunOS", 0x12345678}, {u"620", u"HP-UX", 0x5678},
      {u"630", u"LINUX", 0x5678},      {u"640", u"AIX", 0x5678},       {u"777", u"UNIX", 0x5678},
  };
  for (const auto& c : cases) {
    test_part p = sample_part();
    p.cats[0].event_id = 0x12345678;
    read_result r = process(rep_file_builder().unix_host(c.platform, u"h").part(p).build());
    ASSERT_EQ(r.events.size(), 3u) << to_utf8(c.platform);
    EXPECT_EQ(r.events[0].domain, c.domain);
    EXPECT_EQ(r.events[0].event_id, c.event_id) << to_utf8(c.platform);
  }
}

TEST_F(RepFileSourceTest, MissingHostFallsBackToComputerAsWindows) {
  rep_file_builder file;
  file.common(u"630").property(u"Computer", u"db7");
  read_result r = process(file.part(sample_part()).build());
  ASSERT_EQ(r.events.size(), 3u);
  EXPECT_EQ(r.events[0].domain, u"WINDOWS");
  EXPECT_EQ(r.events[0].platform_id, 500u);
  EXPECT_EQ(r.events[0].host_computer, u"DB7");
  EXPECT_EQ(r.err, "<Host> not found in footer property.\nulPlatformID = 630\n");
}

TEST_F(RepFileSourceTest, WindowsFileWithoutComputerGivesNoEvents) {
  read_result r = process(rep_file_builder().common(u"500").part(sample_part()).build());
  EXPECT_EQ(r.rc, 0);
  EXPECT_TRUE(r.events.empty());
  EXPECT_NE(r.err.find("<Computer> not found in footer property.\nulPlatformID = 500\n"),
            std::string::npos);
  EXPECT_EQ(r.out, "\n");
}

TEST_F(RepFileSourceTest, RequiredPropertiesAndBadNumbers) {
  struct {
    const char16_t* skip;      // property left out
    const char16_t* bad_name;  // property given a bad value
    const char16_t* bad_value;
  } cases[] = {
      {u"UnderDataSource", nullptr, nullptr}, {u"ComputerType", nullptr, nullptr},
      {u"EventsCount", nullptr, nullptr},     {u"PlatformID", nullptr, nullptr},
      {nullptr, u"PlatformID", u"Linux"},     {nullptr, u"ComputerType", u"1FFFFFFFFF"},
  };
  for (const auto& c : cases) {
    rep_file_builder file;
    const std::pair<const char16_t*, const char16_t*> props[] = {{u"ComputerType", u"0000001A"},
                                                                 {u"EventsCount", u"3"},
                                                                 {u"PlatformID", u"500"},
                                                                 {u"UnderDataSource", u"Security"},
                                                                 {u"Computer", u"srv"}};
    for (auto [name, value] : props) {
      if (c.skip != nullptr && std::u16string(name) == c.skip) continue;
      file.property(
          name, c.bad_name != nullptr && std::u16string(name) == c.bad_name ? c.bad_value : value);
    }
    const uint64_t damaged_before = outcome_.damaged_files();
    read_result r = process(file.part(sample_part()).build());
    const std::string label = to_utf8(c.skip ? c.skip : c.bad_name);
    EXPECT_EQ(r.rc, 0) << label;
    EXPECT_TRUE(r.events.empty()) << label;
    EXPECT_EQ(outcome_.damaged_files(), damaged_before + 1) << label;
    EXPECT_NE(r.err.find("Damaged source file " + path_text()), std::string::npos) << label;
  }
}

TEST_F(RepFileSourceTest, PartsAreReadInOrder) {
  test_part second = sample_part();
  second.index = 1;
  second.keys = {21, 22, 23};
  read_result r =
      process(rep_file_builder().windows(u"srv", u"D").part(sample_part()).part(second).build());
  EXPECT_EQ(keys_of(r.events), (std::vector<uint32_t>{11, 12, 13, 21, 22, 23}));
}

TEST_F(RepFileSourceTest, WhiteListMatchingNoCategorySkipsThePartUnread) {
  test_part wanted = sample_part();
  test_part other = sample_part();
  other.index = 1;
  other.cats = {{u"Other", 1, 1000}};
  for (ev& e : other.events) {
    e.cat = kNone;
    e.comp = 99;  // would be reported as damaged if the part were read
  }
  filter_config f;
  f.id_on = true;
  f.id_kind = 2;
  f.ids = {4624};
  read_result r =
      process(rep_file_builder().windows(u"s", u"D").part(other).part(wanted).build(), &f);
  // In the part read, the record without a category is not tested against the list.
  EXPECT_EQ(keys_of(r.events), (std::vector<uint32_t>{11, 13}));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(outcome_.damaged_files(), 0u);
}

TEST_F(RepFileSourceTest, EventIdListWithoutCategoryBufferSkipsThePart) {
  test_part p = sample_part();
  p.omit = {0};
  for (ev& e : p.events) e.cat = kNone;
  filter_config f;
  f.id_on = true;
  f.id_kind = 1;
  f.ids = {1};
  EXPECT_TRUE(process(rep_file_builder().windows(u"s", u"D").part(p).build(), &f).events.empty());
  f.id_on = false;
  EXPECT_EQ(process(rep_file_builder().windows(u"s", u"D").part(p).build(), &f).events.size(), 3u);
}

TEST_F(RepFileSourceTest, BlackListComparesTheLowSixteenBits) {
  test_part p = sample_part();
  p.cats[1].event_id = 0xABCD1234;  // event 1
  filter_config f;
  f.id_on = true;
  f.id_kind = 1;
  f.ids = {0x1234};
  read_result r = process(rep_file_builder().unix_host(u"630", u"h").part(p).build(), &f);
  EXPECT_EQ(keys_of(r.events), (std::vector<uint32_t>{11, 13}));
  // On platform 610 all 32 bits count, so 0x1234 does not match.
  r = process(rep_file_builder().unix_host(u"610", u"h").part(p).build(), &f);
  EXPECT_EQ(keys_of(r.events), (std::vector<uint32_t>{11, 12, 13}));
}

TEST_F(RepFileSourceTest, BoundEqualEventsAreKeptAndSumsIncludeSkippedRecords) {
  test_part p = sample_part();
  p.comps = {{u"c", 1000}};
  p.events = {ev{.stored_delta = 100, .event_delta = 1}, ev{.stored_delta = 10, .event_delta = 2},
              ev{.stored_delta = 10, .event_delta = 3}, ev{.stored_delta = 10, .event_delta = 4}};
  p.keys = {1, 2, 3, 4};
  filter_config f;
  f.time_on = true;
  f.time_from = 1110;  // event times are 1100, 1110, 1120, 1130
  f.time_to = 1120;
  read_result r = process(rep_file_builder().windows(u"s", u"D").part(p).build(), &f);
  ASSERT_EQ(keys_of(r.events), (std::vector<uint32_t>{2, 3}));
  EXPECT_EQ(r.events[0].event_time, 1110u);
  EXPECT_EQ(r.events[0].stored_time, 110u);
  EXPECT_EQ(r.events[0].record_sum, 3u);
  EXPECT_EQ(r.events[1].event_time, 1120u);
  EXPECT_EQ(r.events[1].stored_time, 120u);
  EXPECT_EQ(r.events[1].record_sum, 6u);
}

TEST_F(RepFileSourceTest, SkippedRecordStillMovesTheNamedFieldCursor) {
  test_part p = sample_part();
  p.nf_names = {u"A", u"B", u"C"};
  p.nf_values = {u"x", u"y", u"z"};
  p.nfields = std::vector<field_list>{{{0, 0}}, {{1, 1}, {0, 1}}, {{2, 2}}};
  filter_config f;
  f.id_on = true;
  f.id_kind = 1;
  f.ids = {4634};  // drops record 2 (the second)
  read_result r = process(rep_file_builder().windows(u"s", u"D").part(p).build(), &f);
  ASSERT_EQ(keys_of(r.events), (std::vector<uint32_t>{11, 13}));
  ASSERT_EQ(r.events[1].named_count, 1u);
  const named_field& nf = r.events[1].named_fields[0];
  EXPECT_EQ(nf.name, u"C");
  EXPECT_EQ(nf.value, u"z");
  EXPECT_EQ(nf.name_crc, crc32_of_text(u"C"));
  EXPECT_EQ(nf.value_crc, crc32_of_text(u"z"));
  EXPECT_EQ(nf.name_index, 2u);
  EXPECT_EQ(r.events[0].named_fields.size(), 1u);
  EXPECT_EQ(r.events[0].named_fields[0].name, u"A");
}

TEST_F(RepFileSourceTest, WithoutNamedFieldFilesEveryEventHasNone) {
  read_result r = process(rep_file_builder().windows(u"s", u"D").part(sample_part()).build());
  ASSERT_EQ(r.events.size(), 3u);
  for (const auto& e : r.events) EXPECT_EQ(e.named_count, 0u);
}

TEST_F(RepFileSourceTest, InsertionStringsWithExplicitPositions) {
  test_part p = sample_part();
  p.ins = {u"zero", u"a-text", u"b-text", u"c-text"};
  p.events[0].slots = 6;
  p.events[0].words = {1, 0x01000000 | 2, 4, 3, 0x02000000};
  read_result r = process(rep_file_builder().windows(u"s", u"D").part(p).build());
  ASSERT_FALSE(r.events.empty());
  const full_event& e = r.events[0];
  ASSERT_EQ(e.string_count, 3u);
  EXPECT_EQ(e.strings[0], (insertion_string{1, u"a-text", crc32_of_text(u"a-text"), 0}));
  EXPECT_EQ(e.strings[1], (insertion_string{5, u"b-text", crc32_of_text(u"b-text"), 0}));
  EXPECT_EQ(e.strings[2], (insertion_string{6, u"c-text", crc32_of_text(u"c-text"), 0}));
  EXPECT_EQ(e.string_slots, 6u);
}

TEST_F(RepFileSourceTest, NoStringWordGivesAnEmptySlot) {
  test_part p = sample_part();
  p.events[0].slots = 3;
  p.events[0].words = {0, 0xFFFFFFFF, 2};
  read_result r = process(rep_file_builder().windows(u"s", u"D").part(p).build());
  ASSERT_EQ(r.events[0].string_count, 3u);
  EXPECT_EQ(r.events[0].strings[1], (insertion_string{2, u"", 0, 0}));
  EXPECT_EQ(r.events[0].strings[2].text, u"carol");
  EXPECT_EQ(r.err, "");
}

}  // namespace
}  // namespace repcopy::test_rep
