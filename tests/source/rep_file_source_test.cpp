// RepFileSource over repository files built byte by byte, written into a temporary directory.
#include "source/rep_file_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <tuple>

#include "compression/crc32.h"
#include "tests/container/rep_file_bytes.h"
#include "tests/temp_tree.h"
#include "tests/test_console.h"
#include "util/bytes.h"
#include "util/text.h"

namespace repcopy::test {
namespace {

struct read_result {
  int32_t rc = 0;
  std::vector<uint32_t> keys;
  std::vector<full_event> events;
  std::string out, err;
};

class RepFileSourceTest : public ::testing::Test {
 protected:
  std::string write(const bytes& file, const std::string& name = "Environment$/D/file.rep") {
    testutil::put(at(name), file);
    return to_utf8(at(name).u16string());
  }
  std::string damaged(const std::string& rest) const {
    return "Damaged source file " + to_utf8(at("Environment$/D/file.rep").u16string()) + ": " +
           rest;
  }
  // dir_/rel with the system's separators (an extended-length path takes no "/").
  std::filesystem::path at(const std::string& rel) const {
    return (dir_.path / rel).make_preferred();
  }

  // ProcessFile over the file, with every event collected and the output captured.
  read_result process(const bytes& file, const filter_config* filter = nullptr,
                      const std::string& suffix = "") {
    return read_path(write(file) + suffix, filter);
  }
  read_result read_path(const std::string& path, const filter_config* filter = nullptr) {
    read_result r;
    std::tie(r.out, r.err) = capture_output([&] {
      RepFileSource source(test_console(), filter, RepFileImage(path), &outcome_);
      r.rc = source.ProcessFile([&](const full_event& e) {
        r.events.push_back(e);
        r.keys.push_back(e.record_key);
      });
    });
    return r;
  }
  read_result windows(const test_part& p, const filter_config* filter = nullptr) {
    return process(rep_file_builder().windows(u"srv01", u"CORP").part(p).build(), filter);
  }

  testutil::temp_dir dir_;
  copy_outcome outcome_;
};

using keys = std::vector<uint32_t>;

TEST_F(RepFileSourceTest, WindowsFileJoinsEveryFieldOfTheRecord) {
  read_result r = windows(sample_part());
  EXPECT_EQ(r.rc, 0);
  ASSERT_EQ(r.events.size(), 3u);
  // clang-format off
  const full_event first = E({.host_computer = u"SRV01", .platform_id = 500,
      .under_data_source = u"Security", .record_key = 11, .computer = u"ws01",
      .user_string1 = u"CORP", .user_string2 = u"alice", .category = 12544,
      .src_name = u"Security-Auditing", .event_id = 4624, .category_name = u"Logon",
      .event_time = 1100, .stored_time = 100, .domain = u"CORP", .computer_type = 26,
      .user_binary = {1, 2, 3}, .record_sum = 1100, .description = u"An account logged on",
      .data = {9, 8}, .string_slots = 2, .strings_aux = 7,
      .strings = {ins(1, u"alice", 0), ins(2, u"bob", 1)}});
  // clang-format on
  EXPECT_EQ(r.events[0], first);
  // Sums run on; "ws02" has offset 0; nothing named gives empty fields and kNoIndex.
  EXPECT_EQ(std::tuple(r.events[1].event_time, r.events[1].record_sum, r.events[1].src_index),
            std::tuple(120u, 1105u, kNoIndex));
  EXPECT_EQ(std::tuple(r.events[2].event_time, r.events[2].cat_index, r.events[2].event_id),
            std::tuple(1150u, kNoIndex, 0u));
  EXPECT_EQ(r.out + r.err, "");
  EXPECT_EQ(outcome_.damaged_files(), 0u);
}

// The events of one part carry one part serial, never 0; the same part read again is another part
// to the writers and gets another serial.
TEST_F(RepFileSourceTest, EventsOfOnePartShareASerialThatNoOtherPartHas) {
  const read_result first = windows(sample_part());
  const read_result again = windows(sample_part());
  ASSERT_EQ(first.events.size(), 3u);
  ASSERT_EQ(again.events.size(), 3u);
  const uint32_t serial = first.events[0].source_part.serial;
  const uint32_t other = again.events[0].source_part.serial;
  EXPECT_NE(serial, 0u);
  EXPECT_NE(other, 0u);
  EXPECT_NE(other, serial);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(first.events[i].source_part.serial, serial) << i;
    EXPECT_EQ(again.events[i].source_part.serial, other) << i;
  }
}

TEST_F(RepFileSourceTest, PlatformsDomainsAndHostFallback) {
  const struct {
    rep_file_builder file;
    size_t events;
    const char16_t* host;
    const char16_t* domain;
    uint32_t platform, event_id;
    const char* err;
  } cases[] = {
      {rep_file_builder().unix_host(u"630", u"web-01.ex"), 3, u"WEB-01.EX", u"LINUX", 630, 0x5678,
       ""},
      {rep_file_builder().unix_host(u"0", u"h"), 3, u"H", u"SyslogDevice", 0, 0x5678, ""},
      {rep_file_builder().unix_host(u"610", u"h"), 3, u"H", u"SunOS", 610, 0x12345678, ""},
      {rep_file_builder().unix_host(u"777", u"h"), 3, u"H", u"UNIX", 777, 0x5678, ""},
      {rep_file_builder().common(u"630").property(u"Computer", u"db7"), 3, u"DB7", u"WINDOWS", 500,
       0x5678, "<Host> not found in footer property.\nulPlatformID = 630\n"},
      {rep_file_builder().common(u"500"), 0, u"", u"", 0, 0,
       "<Computer> not found in footer property.\nulPlatformID = 500\n"}};
  test_part p = sample_part();
  std::get<2>(p.cats[0]) = 0x12345678;
  for (auto c : cases) {
    read_result r = process(c.file.part(p).build());
    EXPECT_EQ(r.rc, 0);
    ASSERT_EQ(r.events.size(), c.events) << to_utf8(c.domain);
    EXPECT_TRUE(*c.err ? r.err.find(c.err) != std::string::npos : r.err.empty()) << r.err;
    if (c.events == 0) continue;
    EXPECT_EQ(r.events[0].host_computer, c.host);
    EXPECT_EQ(r.events[0].domain, c.domain);
    EXPECT_EQ(r.events[0].platform_id, c.platform);
    EXPECT_EQ(r.events[0].event_id, c.event_id);
  }
}

TEST_F(RepFileSourceTest, MissingUnderDataSourceGivesNoEventsAndCountsTheFile) {
  rep_file_builder file;
  file.property(u"ComputerType", u"1A")
      .property(u"EventsCount", u"3")
      .property(u"PlatformID", u"500");
  read_result r = process(file.property(u"Computer", u"s").part(sample_part()).build());
  EXPECT_EQ(r.rc, 0);
  EXPECT_TRUE(r.events.empty());
  EXPECT_EQ(outcome_.damaged_files(), 1u);
  EXPECT_NE(r.err.find(damaged("")), std::string::npos);
}

// Fewer events records than the footer's "EventsCount" (counted before any filter) mean lost
// events: the file is damaged, with both numbers. A record whose explicit-position word is its
// last word (its position word missing) would lose that string: it is dropped and counted.
TEST_F(RepFileSourceTest, LostEventsAndCutStringWordsAreDamage) {
  auto file = [](const char16_t* count, const test_part& p) {
    return rep_file_builder()
        .property(u"ComputerType", u"1A")
        .property(u"EventsCount", count)
        .property(u"PlatformID", u"500")
        .property(u"UnderDataSource", u"Security")
        .property(u"Computer", u"s")
        .part(p)
        .build();
  };
  filter_config none_pass;
  none_pass.id_on = true;
  none_pass.id_kind = 2;  // a white list without the part's EventIDs: nothing is kept
  test_part no_events = sample_part();
  no_events.omit = {3};  // the events item is missing (taken for another one, say)
  struct {
    const char16_t* count;
    test_part part;
    const filter_config* filter;
    size_t events;
    const char* message;  // "" for a sound file
  } cases[] = {
      {u"3", sample_part(), nullptr, 3, ""},
      {u"2", sample_part(), nullptr, 3, ""},
      {u"3", sample_part(), &none_pass, 0, ""},
      {u"4", sample_part(), nullptr, 3,
       "0 event(s) dropped, EventsCount says 4 event(s) but 3 decoded\n"},
      {u"4", sample_part(), &none_pass, 0,
       "0 event(s) dropped, EventsCount says 4 event(s) but 3 decoded\n"},
      {u"3", no_events, nullptr, 0,
       "0 event(s) dropped, EventsCount says 3 event(s) but 0 decoded\n"},
  };
  uint64_t damaged_files = 0;
  for (const auto& c : cases) {
    read_result r = process(file(c.count, c.part), c.filter);
    EXPECT_EQ(r.events.size(), c.events) << c.message;
    EXPECT_EQ(r.err, *c.message ? damaged(c.message) : "");
    if (*c.message) ++damaged_files;
    EXPECT_EQ(outcome_.damaged_files(), damaged_files);
  }
  test_part cut = sample_part();
  cut.events[0].slots = 2;
  cut.events[0].words = {0, 1 | 0x01000000};  // explicit position, position word missing
  read_result r = windows(cut);
  EXPECT_EQ(r.keys, (keys{12, 13}));
  EXPECT_EQ(r.err, damaged("1 event(s) dropped (1 with a bad index or cut insertion strings)\n"));
}

TEST_F(RepFileSourceTest, EventIdListSkipsPartsUnread) {
  test_part wanted = sample_part();
  test_part other = sample_part();
  other.index = 1;
  other.cats = {{u"Other", 1, 1000}};
  for (ev& e : other.events) e.comp = 99;  // reported as damaged if the part were read
  test_part no_cats = sample_part();
  no_cats.index = 2;
  no_cats.omit = {0};
  filter_config f;
  f.id_on = true;
  f.id_kind = 2;  // white list
  f.ids = {4624};
  read_result r =
      process(rep_file_builder().windows(u"s").part(other).part(wanted).part(no_cats).build(), &f);
  // In the part read, the record without a category is not tested against the list.
  EXPECT_EQ(r.keys, (keys{11, 13}));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(outcome_.damaged_files(), 0u);
}

// The reader alone decides the shard: of a file holding two computers ("A" in shard 0 of 2,
// "B" in shard 1), each shard gets exactly its computer's events, and without sharding both.
TEST_F(RepFileSourceTest, EachShardGetsOnlyItsComputersEvents) {
  const bytes file = rep_file_builder()
                         .windows(u"a")
                         .part(sample_part())
                         .next_footer()
                         .windows(u"b")
                         .part(sample_part())
                         .build();
  struct row {
    uint32_t index, count;
    std::vector<std::u16string> computers;
  };
  const row rows[] = {{0, 2, {u"A", u"A", u"A"}},
                      {1, 2, {u"B", u"B", u"B"}},
                      {0, 1, {u"A", u"A", u"A", u"B", u"B", u"B"}},
                      {0, 0, {u"A", u"A", u"A", u"B", u"B", u"B"}}};
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.index << "/" << r.count);
    filter_config f;
    f.shard_index = r.index;
    f.shard_count = r.count;
    read_result result = process(file, &f);
    std::vector<std::u16string> computers;
    for (const full_event& e : result.events) computers.push_back(e.host_computer);
    std::sort(computers.begin(), computers.end());
    EXPECT_EQ(computers, r.computers);
    EXPECT_EQ(result.err, "");
  }
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
  read_result r = windows(p, &f);
  ASSERT_EQ(r.keys, (keys{2, 3}));
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
  read_result r = windows(p, &f);
  ASSERT_EQ(r.keys, (keys{11, 13}));
  EXPECT_EQ(r.events[0].named_fields.at(0).name, u"A");
  ASSERT_EQ(r.events[1].named_count, 1u);
  named_field c = field(u"C", u"z");
  c.name_index = c.value_index = 2;
  EXPECT_EQ(r.events[1].named_fields[0], c);
}

// The join reuses one event from record to record. Whatever the sink does with it (keeps a copy,
// moves it out, or swaps it with an event of its own holding other content), the events are the
// same: a rich record followed by sparse ones leaves nothing of itself behind.
TEST_F(RepFileSourceTest, ReusedEventsEqualNewOnes) {
  test_part p = sample_part();
  p.nf_names = {u"A", u"B"};
  p.nf_values = {u"x", u"y"};
  p.nfields = std::vector<field_list>{{{0, 0}, {1, 1}}, {}, {{1, 0}}};
  const std::string path = write(rep_file_builder().windows(u"srv01", u"CORP").part(p).build());
  auto read = [&](const event_sink& take) {
    RepFileSource source(test_console(), nullptr, RepFileImage(path), &outcome_);
    testing::internal::CaptureStderr();
    ASSERT_EQ(source.ProcessFile(take), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  };
  full_event other;
  uint32_t n = 1;
  for (uint32_t* v : {&other.origin_flag, &other.record_key, &other.event_id, &other.category,
                      &other.os_major, &other.os_minor, &other.src_index, &other.desc_index,
                      &other.user_string1_crc, &other.description_crc, &other.named_count})
    *v = 500 + n++;
  other.string_slots = 40;
  other.user_string2 = u"a long second user string that no record of the part has";
  other.user_binary.assign(40, 7);
  other.data.assign(90, 5);
  for (uint32_t i = 1; i <= 30; ++i) other.strings.push_back(ins(i, u"string number " + std::u16string(i, u'z')));
  for (uint32_t i = 0; i < 5; ++i) other.named_fields.push_back(field(u"name", u"value"));

  std::vector<full_event> copied, moved, swapped;
  read([&](full_event& e) { copied.push_back(e); });
  read([&](full_event& e) { moved.push_back(std::move(e)); });
  read([&](full_event& e) {
    std::swap(other, e);
    swapped.push_back(other);
  });
  ASSERT_EQ(moved.size(), 3u);
  EXPECT_EQ(moved[1].named_count, 0u);
  EXPECT_EQ(moved[2].named_fields.at(0).value, u"x");
  EXPECT_EQ(copied, moved);
  EXPECT_EQ(swapped, moved);
}

TEST_F(RepFileSourceTest, InsertionStringsWithExplicitPositions) {
  test_part p = sample_part();
  p.ins = {u"zero", u"a", u"b", u"c"};
  p.events[0].slots = 6;
  p.events[0].words = {1, 0x01000000 | 2, 4, 3, 0x02000000};
  const full_event e = windows(p).events.at(0);
  ASSERT_EQ(e.string_count, 3u);
  EXPECT_EQ(e.strings, (std::vector{ins(1, u"a", 1), ins(5, u"b", 2), ins(6, u"c", 3)}));
}

// An event is never copied with a field missing: a record that names a cache record, a named
// field or a record key that does not exist is dropped and counted; the others are kept whole.
TEST_F(RepFileSourceTest, BadIndexesDropTheEvent) {
  test_part p = sample_part();
  p.events[0] = ev{.src = 1,
                   .cat = 7,
                   .comp = 0,
                   .user = 1,
                   .desc = 5,
                   .slots = 2,
                   .words = {0, 3}};  // every index but the computer's one past its cache
  p.events[1].comp = 2;               // one past the last computer record
  p.events.push_back(ev{.comp = 1, .stored_delta = 5});  // sound
  p.events.push_back(ev{.comp = 1, .stored_delta = 5});  // no record key
  p.keys = {11, 12, 13, 14};
  p.nf_names = {u"A"};
  p.nf_values = {u"x"};
  p.nfields = std::vector<field_list>{{{4, 0}}, {}, {{0, 7}}, {{0, 0}}, {}};
  read_result r = windows(p);
  ASSERT_EQ(r.keys, (keys{14}));
  EXPECT_EQ(r.events[0].named_fields.at(0).value, u"x");
  EXPECT_EQ(r.err, damaged("4 event(s) dropped (4 with a bad index or cut insertion strings)\n"));
  EXPECT_EQ(outcome_.damaged_files(), 1u);
  // Each on its own, in a part whose other records are sound.
  struct {
    const char* what;
    std::function<void(test_part&)> harm;
  } cases[] = {
      {"source", [](test_part& q) { q.events[0].src = 1; }},
      {"category", [](test_part& q) { q.events[0].cat = 2; }},
      {"computer", [](test_part& q) { q.events[0].comp = 2; }},
      {"user", [](test_part& q) { q.events[0].user = 1; }},
      {"description", [](test_part& q) { q.events[0].desc = 1; }},
      {"insertion string", [](test_part& q) { q.events[0].words = {0, 3}; }},
      {"record key", [](test_part& q) { q.keys = {11, 12}; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test_part q = sample_part();
    c.harm(q);
    r = windows(q);
    EXPECT_EQ(r.events.size(), 2u);
    EXPECT_NE(r.err.find("1 event(s) dropped"), std::string::npos) << r.err;
  }
}

TEST_F(RepFileSourceTest, TwoNestedFilesOneDamagedAndOuterPartsUnread) {
  test_part outer = sample_part();
  outer.keys = {91, 92, 93};
  const bytes good = rep_file_builder().windows(u"inner").part(sample_part()).build();
  const bytes broken(good.begin(), good.end() - 3);  // the footer no longer ends the file
  read_result r = process(rep_file_builder()
                              .windows(u"outer")
                              .part(outer)
                              .item("S1.rep", broken)
                              .item("S2.rep", good)
                              .build());
  EXPECT_EQ(r.rc, 0);
  ASSERT_EQ(r.keys, (keys{11, 12, 13}));
  EXPECT_EQ(r.events[0].host_computer, u"INNER");
  EXPECT_NE(r.out.find("(b)some problem in file: S1.rep\n"), std::string::npos);
  EXPECT_EQ(r.out.find("S2.rep"), std::string::npos);
  EXPECT_NE(r.err.find(damaged("0 event(s) dropped, 1 nested file(s) skipped\n")),
            std::string::npos);
  EXPECT_EQ(outcome_.damaged_files(), 1u);
}

// A file the system will not give us is "unreadable", one whose bytes are bad "damaged"; each is
// counted under its own name. A frame that does not hold (the header's footer fields against the
// file size, the last footer's own lengths) is found with two small reads, before the file is
// read whole: a small file is loaded all the same, so the load names its damage in its own
// words; a large one is refused with the frame's line alone.
TEST_F(RepFileSourceTest, UnreadableAndDamagedFilesAreToldApartAndCounted) {
  read_result r = process({}, nullptr, "-missing.rep");
  EXPECT_EQ(r.rc, -1);
  EXPECT_EQ(r.err, "Unreadable source file skipped: " +
                       to_utf8(at("Environment$/D/file.rep-missing.rep").u16string()) + ": " +
                       platform::system_error_message(2) + "\n");  // ENOENT, ERROR_FILE_NOT_FOUND
  EXPECT_EQ(outcome_.unreadable(), 1u);
  EXPECT_EQ(outcome_.damaged_files(), 0u);
  const bytes file = rep_file_builder().windows(u"s").part(sample_part()).build();
  auto rd = [&file](size_t at) { return load_le64(file.data() + at); };
  const uint64_t footer = rd(32);
  const uint64_t tbl_len = rd(size_t(footer) + 12);
  struct {
    size_t at;
    const char* message;
    const char* err;  // before the line of the damaged file
  } cases[] = {
      {40, "last_footer_offset + last_footer_len != buffer_len :", ""},  // last_footer_len
      {size_t(footer + 12), "Part table entry at ", ""},                 // tbl_len
      {size_t(footer + 20 + tbl_len), "Wrong property len!!!\n",        // property_len
       "Wrong property len!!!\n"},
  };
  for (const auto& c : cases) {
    bytes bad = file;
    bad[c.at] ^= 1;
    r = process(bad);
    EXPECT_EQ(r.rc, -1);
    EXPECT_TRUE(r.events.empty());
    EXPECT_EQ(r.out.rfind(c.message, 0), 0u) << r.out;
    EXPECT_NE(r.out.find("(a)some problem in file:\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, c.err + std::string("Damaged source file skipped, it does not load: ") +
                         to_utf8(at("Environment$/D/file.rep").u16string()) + "\n");
  }
  // Past 64 MiB (a sparse file here) the frame's line stands for the load's, and the file is not
  // read whole.
  const std::string big = write(file);
  std::filesystem::resize_file(at("Environment$/D/file.rep"), RepFileImage::kFrameCheckAlone + 1);
  r = read_path(big);
  EXPECT_EQ(r.out, "last_footer_offset + last_footer_len != buffer_len :" +
                       std::to_string(rd(32) + (rd(40) & 0xFFFFFFFF)) + " != " +
                       std::to_string(RepFileImage::kFrameCheckAlone + 1) +
                       "\n(a)some problem in file:\n\n");
  EXPECT_EQ(r.err, "Damaged source file skipped, it does not load: " +
                       to_utf8(at("Environment$/D/file.rep").u16string()) + "\n");
  r = process(bytes(511, 0));
  EXPECT_EQ(r.out, "File too short for its header: 511 < 512 bytes\n(a)some problem in file:\n\n");
  EXPECT_EQ(outcome_.damaged_files(), 5u);
  EXPECT_EQ(outcome_.unreadable(), 1u);
}

// An "EventsCount" of 0 makes a file empty by the format's rules; when its part table lists
// events records all the same, the file is still read as empty, with a warning.
TEST_F(RepFileSourceTest, FilesWithoutEventDataAreNotFailures) {
  test_part no_events = sample_part();
  no_events.events.clear();
  no_events.keys.clear();
  const std::string warning =
      "Warning: source file read as empty (EventsCount 0) although its part table lists ";
  struct {
    rep_file_builder file;
    std::string err;
  } cases[] = {
      {rep_file_builder().property(u"EventsCount", u"0").part(sample_part()),
       warning + "118 byte(s) of events records: " +
           to_utf8(at("Environment$/D/file.rep").u16string()) + "\n"},
      {rep_file_builder().property(u"EventsCount", u"0").part(no_events), ""},
      {rep_file_builder().property(u"ActiveSegmentId", u"7"), ""},
      {rep_file_builder().property(u"PrevPositionGUID", u"X").part(sample_part()), ""},
      {rep_file_builder().windows(u"s").part(no_events), ""}};
  for (const auto& c : cases) {
    read_result r = process(c.file.build());
    EXPECT_TRUE(r.events.empty());
    EXPECT_EQ(r.err, c.err);
  }
  EXPECT_EQ(outcome_.damaged_files(), 0u);
}

}  // namespace
}  // namespace repcopy::test
