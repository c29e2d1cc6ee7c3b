// The target repository: directory creation, data-source types, directory names and whole batches.

#include "writer/rep_target.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <thread>

#include "model/repository_file_name.h"
#include "platform/platform.h"
#include "target_test_util.h"
#include "tests/test_console.h"
#include "util/text.h"
#include "writer/file_io.h"

namespace repcopy {
namespace {

constexpr char sep = platform::kNativeSeparator;

namespace fs = std::filesystem;

class CreateDirectory : public ::testing::Test {
 protected:
  void TearDown() override { platform::faults() = {}; }
  testutil::temp_dir dir_;
  std::atomic<uint32_t> lock_{0};
};

// An existing directory needs no creation call; two missing levels are made parent first, after
// the child failed for want of its parent.
TEST_F(CreateDirectory, ExistingAndTwoMissingLevels) {
  std::vector<std::string> calls;
  platform::faults().create_directory = [&](const std::string& p) {
    calls.push_back(p);
    return 0;
  };
  EXPECT_TRUE(create_directory_MT(test_console(), lock_, dir_.native()));
  EXPECT_TRUE(calls.empty());
  const std::string parent = dir_.native() + sep + "a$", child = parent + sep + "b$";
  EXPECT_TRUE(create_directory_MT(test_console(), lock_, child));
  EXPECT_TRUE(platform::is_directory(child));
  EXPECT_EQ(calls, (std::vector<std::string>{child, parent, child}));
  EXPECT_EQ(lock_.load(), 0u);
}

TEST_F(CreateDirectory, TwoThreadsAskingForTheSameChainBothSucceed) {
  for (char round = 'a'; round < 'a' + 20; ++round) {
    const std::string p = dir_.native() + sep + "x$" + sep + "y$" + sep + "z$" + round;
    bool a = false, b = false;
    std::thread t1([&] { a = create_directory_MT(test_console(), lock_, p); });
    std::thread t2([&] { b = create_directory_MT(test_console(), lock_, p); });
    t1.join();
    t2.join();
    EXPECT_TRUE(a && b && platform::is_directory(p));
  }
  EXPECT_EQ(lock_.load(), 0u);
}

// Known names give their type in the table's letter case; an unknown name gets the Windows type
// and is reported once.
TEST(DsTypes, Lookups) {
  ds_type_map map;
  const char16_t* names[][2] = {
      {u"Security", u"{A9E5C7A2-5C01-41b7-9D36-E562DFDDEFA9}"},
      {u"Syslog", u"{046FD196-5B96-41ac-A335-31FC73EFA206}"},
      {u"HPUXAuditLog", u"{78B306FD-DA5B-4d4f-B7E9-8683F92F9244}"},
      {u"VD for SQLServer replication (misc)", u"{04EEF17C-F590-43E8-B1D6-4ADDB150A880}"},
      {u"Vardo User Session Tracking", u"{5115B8AA-29AE-4C6D-AE14-0BB7521E10FB}"},
      {u"security", u"{A9E5C7A2-5C01-41b7-9D36-E562DFDDEFA9}"},
      {u"security", u"{A9E5C7A2-5C01-41b7-9D36-E562DFDDEFA9}"},
  };
  testing::internal::CaptureStdout();
  for (auto& [name, type] : names) {
    const ds_type* found = map.lookup(test_console(), name, to_utf8(name));
    ASSERT_NE(found, nullptr) << to_utf8(name);
    EXPECT_EQ(found->text, type) << to_utf8(name);
    EXPECT_EQ(found->native.text, to_utf8(type));
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Datasource name not found: security\nWindows datasource type will be used\n");
}

std::string repeated(std::string_view text, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i) out += text;
  return out;
}

// The limit of a level is in bytes of its UTF-8 form, not in characters.
TEST(DirectoryComponent, SeparatorsNulAndLeadingDotBecomeTilde) {
  const std::pair<std::u16string, std::optional<std::string>> cases[] = {
      {u"Security", "Security$"},
      {u"a/b/c", "a~b~c$"},
      {u"a\\b", "a~b$"},
      {std::u16string(u"a\0b", 3), "a~b$"},
      {u"..", "~.$"},
      {u"../../x", "~.~..~x$"},
      {u".NET Runtime", "~NET Runtime$"},
      {u"\U0001F600", "\xF0\x9F\x98\x80$"},
      {u"\u00E9\u6F22", "\xC3\xA9\xE6\xBC\xA2$"},
      {u"\uFFFD", "\xEF\xBF\xBD$"},  // a real U+FFFD is a name like any other
      {std::u16string(254, u'n'), std::string(254, 'n') + "$"},
      {std::u16string(255, u'n'), std::nullopt},  // 256 bytes with the "$"
      {std::u16string(84, u'\u6F22') + u"nn", repeated("\xE6\xBC\xA2", 84) + "nn$"},  // 255 bytes
      {std::u16string(85, u'\u6F22'), std::nullopt},  // 85 characters, 256 bytes with the "$"
      {u"a" + std::u16string(1, char16_t(0xDC00)), std::nullopt},
      {std::u16string(1, char16_t(0xD800)) + u"b", std::nullopt},
  };
  for (auto& [name, level] : cases) {
    EXPECT_EQ(directory_component(native_name(name)), level) << to_utf8(name);
  }
  EXPECT_EQ(computer_prefix(u"X"), u"X");
  EXPECT_EQ(computer_prefix(u"a\U0001F600b"), u"a\U0001F600");
}

storage_item make_item(uint32_t platform, std::u16string computer, std::u16string ds,
                       std::vector<uint32_t> times = {1000}) {
  storage_item item;
  item.platform_id = platform;
  item.domain_name = u"CORP";
  item.computer_name = std::move(computer);
  item.ds_name = std::move(ds);
  item.os_major = 6;
  item.os_minor = 1;
  for (uint32_t t : times) {
    full_event e;
    e.event_time = t;
    e.stored_time = t + 3600;
    item.events.push_back(e);
  }
  item.batch_count = uint32_t(item.events.size());
  return item;
}

class RepTargetTest : public ::testing::Test {
 protected:
  int32_t flush(storage_item item) {
    testing::internal::CaptureStdout();
    int32_t r = target_.flush_items(std::move(item));
    printed_ = testing::internal::GetCapturedStdout();
    return r;
  }
  // The property block of a file below the root. Each GUID is checked as a fresh one, and as
  // part of the file name, then replaced.
  testutil::property_list properties(const fs::path& file) {
    auto r = testutil::read_repository_file(testutil::read_bytes(dir_.path / file));
    EXPECT_EQ(r.error, "");
    std::u16string guids;
    for (auto& [name, value] : r.properties)
      if (name.ends_with(u"GUID")) {
        EXPECT_EQ(value.size() == 36 ? value[14] : 0, u'4') << to_utf8(value);  // version 4
        std::erase(value, u'-');
        guids += value;
        value = u"fresh";
      }
    EXPECT_EQ(file.filename().u16string().substr(43, 64), guids);
    return r.properties;
  }
  testutil::temp_dir dir_;
  copy_outcome outcome_;
  RepTarget target_{test_console(), dir_.u16() + platform::kSeparator, {}, testutil::fake_factory(),
                    &outcome_};
  std::string printed_;
};

// A batch becomes one file named after its sorted times, with the property block of its platform.
TEST_F(RepTargetTest, WritesOneFileWithThePropertiesOfItsPlatform) {
  storage_item windows = make_item(500, u"SRV01", u"a/b", {30, 10, 20});
  windows.computer_type = 0x1A;
  ASSERT_EQ(flush(std::move(windows)), 0) << printed_;
  const auto files = dir_.files();  // no partial file left beside it
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].parent_path(),
            "Environment$/9E442BEE-EAC2-4D79-9013-053FB225CFD0$/Domain$/CORP$/Computer$/SR$/SRV01$/"
            "DataSource$/{A9E5C7A2-5C01-41b7-9D36-E562DFDDEFA9}$/UnderDataSource$/a~b$");
  EXPECT_EQ(files[0].filename().string().substr(0, 43),
            "S19700101000030"
            "19700101000010"
            "19700101000030");
  testutil::property_list expected = {
      {u"CollectionGUID", u"fresh"},
      {u"CollectionName", u"a/b"},
      {u"CollectionTime", u"19700101000030"},
      {u"CollectorComputer", u""},
      {u"Computer", u"SRV01"},
      {u"ComputerType", u"0000001A"},
      {u"DataFromTime", u"19700101000010"},
      {u"DataSource", u"{A9E5C7A2-5C01-41b7-9D36-E562DFDDEFA9}"},
      {u"DataToTime", u"19700101000030"},
      {u"Domain", u"CORP"},
      {u"Environment", u"9E442BEE-EAC2-4D79-9013-053FB225CFD0"},
      {u"EventLogVersion", u"00000000"},
      {u"EventsCount", u"3"},
      {u"OrganizationalUnit", u""},
      {u"PlatformID", u"500"},
      {u"Result", u"S"},
      {u"SessionGmt", u"19700101000030"},
      {u"SessionGUID", u"fresh"},
      {u"SessionLocalTime", u"19700101010030"},
      {u"StorageType", u"{ECB7E385-9535-48E2-A8D4-3AECBC43E517}"},
      {u"UnderDataSource", u"a/b"},
      {u"Version", u"00060001"},
  };
  EXPECT_EQ(properties(files[0]), expected);
  // Other platforms: no Computer, Domain or OrganizationalUnit; Host after EventsCount. A
  // one-character computer name is its own prefix.
  testutil::remove_tree(dir_.path / "Environment$");
  ASSERT_EQ(flush(make_item(630, u"X", u"a/b", {30, 10, 20})), 0);
  EXPECT_EQ(dir_.files().at(0).parent_path(),
            "Environment$/8EAF6C85-D1FF-4CFD-9D90-64944C8E6B3E$/Host$/X$/X$/DataSource$/"
            "{A9E5C7A2-5C01-41b7-9D36-E562DFDDEFA9}$/UnderDataSource$/a~b$");
  expected.erase(expected.begin() + 13);  // OrganizationalUnit
  expected.erase(expected.begin() + 9);   // Domain
  expected.erase(expected.begin() + 4);   // Computer
  expected[3].second = u"X";
  expected[4].second = u"00000000";
  expected[8].second = widen_ascii(kEnvironmentOther);
  expected[11].second = u"630";
  expected.insert(expected.begin() + 11, {u"Host", u"X"});
  EXPECT_EQ(properties(dir_.files().at(0)), expected);
}

// Names outside ASCII reach the file system as their UTF-8 bytes, each level the name's text;
// the messages show the same text.
TEST_F(RepTargetTest, NamesOutsideAsciiBecomeTheirLevels) {
  const std::u16string computer = u"P\u00E9\u6F22\U0001F600", ds = u"Journal d\u2019\u00E9v\u00E9nements";
  ASSERT_EQ(flush(make_item(630, computer, ds)), 0) << printed_;
  EXPECT_EQ(printed_, "Datasource name not found: " + to_utf8(ds) +
                          "\nWindows datasource type will be used\n");
  const auto files = dir_.files();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].parent_path(),
            fs::path(u"Environment$/8EAF6C85-D1FF-4CFD-9D90-64944C8E6B3E$/Host$/P\u00E9$/" + computer +
                     u"$/DataSource$/{A9E5C7A2-5C01-41b7-9D36-E562DFDDEFA9}$/UnderDataSource$/" +
                     ds + u"$"));
}

TEST_F(RepTargetTest, TwoBatchesWithEqualTimesInTheSameSecondGetDifferentNames) {
  ASSERT_EQ(flush(make_item(630, u"web7", u"Syslog", {86400, 86400})), 0);
  ASSERT_EQ(flush(make_item(630, u"web7", u"Syslog", {86400})), 0);
  const auto files = dir_.files();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_NE(files[0].filename(), files[1].filename());
  for (auto& f : files)
    EXPECT_EQ(f.filename().string().substr(0, 43),
              "S19700102000000"
              "19700102000000"
              "19700102000000");
}

// The names alone do not tell the user where to look: the failed batch names the source files
// its events came from, and each file is counted once, however many of its batches fail.
// A file that fails for want of space marks the target full (the copy then stops reading); a file
// that fails for another reason does not.
TEST_F(RepTargetTest, NoSpaceLeftMarksTheTargetFull) {
  const std::pair<int, bool> cases[] = {{platform::kErrorIo, false},
                                        {platform::kWindows ? 112 : ENOSPC, true}};
  for (const auto& [code, full] : cases) {
    SCOPED_TRACE(code);
    platform::faults().write_file = [code = code](const std::string&) { return code; };
    testing::internal::CaptureStderr();
    EXPECT_EQ(flush(make_item(630, u"web7", u"Syslog")), -1);
    const std::string err = testing::internal::GetCapturedStderr();
    platform::faults() = {};
    EXPECT_NE(printed_.find("WriteFile: "), std::string::npos) << printed_;
    EXPECT_NE(err.find(platform::system_error_message(code)), std::string::npos) << err;
    EXPECT_EQ(target_.full(), full);
    EXPECT_TRUE(dir_.files().empty());
  }
}

TEST_F(RepTargetTest, NameThatCannotBeADirectoryFailsOnlyItsBatchAndNamesItsSourceFiles) {
  const std::u16string bad = u"web" + std::u16string(1, char16_t(0xD800));
  auto a = std::make_shared<const std::string>("/src/a.rep");
  auto b = std::make_shared<const std::string>("/src/\xFF.rep");
  auto bad_item = [&] {
    storage_item item = make_item(630, bad, u"Syslog", {1, 2, 3});
    item.source_files = {a, b};
    item.events[2].source_file.path = a;  // an event that still names its file counts too
    return item;
  };
  testing::internal::CaptureStderr();
  EXPECT_EQ(flush(bad_item()), -1);
  EXPECT_EQ(flush(bad_item()), -1);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(printed_.find("error: >directory name< "), std::string::npos) << printed_;
  EXPECT_NE(printed_.find(" cannot be used as a directory name\n"), std::string::npos);
  const std::string line =
      "Batch of 3 event(s) not written, a name it carries cannot be a target directory name "
      "(domain \"CORP\", computer \"web\xEF\xBF\xBD\", data source \"Syslog\"); read from: "
      "/src/a.rep, /src/\\xFF.rep\n";
  EXPECT_EQ(err, line + line);
  EXPECT_EQ(outcome_.name_failed_files(), 2u);
  EXPECT_FALSE(outcome_.complete());
  EXPECT_TRUE(dir_.files().empty());
  EXPECT_EQ(flush(make_item(630, u"web7", u"Syslog")), 0);
  EXPECT_EQ(dir_.files().size(), 1u);
  EXPECT_EQ(target_.files_written(), 1u);
}

// The longest directory a file can go into leaves room for the separator, the file name, the
// partial-file suffix and the terminator within the path limit: at the limit the directory is
// given, one unit past it the batch is refused with its message. The limit counts UTF-16 code
// units, whatever the length of the path's UTF-8 form: a root with an "\u00E9" (one unit, two
// bytes) and a "\U0001F600" (two units, four bytes) in it takes as many units as an ASCII one.
TEST(RepTargetPathLimit, DirectoryAtTheLimitIsTakenOnePastItIsNot) {
  const storage_item item = make_item(500, u"WS01", u"Security");
  const native_name type(u"{0000}");
  const batch_names names(item);
  const std::u16string short_root = u"/r";
  const std::optional<std::string> below =
      RepTarget(test_console(), short_root).item_directory(names, item.platform_id, type);
  ASSERT_TRUE(below.has_value());
  const size_t tail = below->size() - short_root.size();  // what the target adds to its root
  const size_t longest =
      platform::kMaxPathUnits - 1 - kRepositoryFileNameLength - kPartialSuffix.size() - 1;
  struct row {
    std::u16string start;  // of the root, after its "/"
    size_t extra_bytes;    // of its UTF-8 form beyond one per unit
    size_t path_length;    // in units
    bool taken;
  };
  const std::u16string wide = u"\u00E9\U0001F600";
  for (const row& r : {row{u"", 0, longest - 1, true}, row{u"", 0, longest, true},
                       row{u"", 0, longest + 1, false}, row{wide, 3, longest, true},
                       row{wide, 3, longest + 1, false}}) {
    SCOPED_TRACE(to_utf8(r.start) + " " + std::to_string(r.path_length));
    const std::u16string root =
        u"/" + r.start + std::u16string(r.path_length - tail - 1 - r.start.size(), u'r');
    testing::internal::CaptureStdout();
    const std::optional<std::string> dir =
        RepTarget(test_console(), root).item_directory(names, item.platform_id, type);
    const std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_EQ(dir.has_value(), r.taken);
    if (dir) {
      EXPECT_EQ(dir->size(), r.path_length + r.extra_bytes);
      EXPECT_EQ(dir->rfind(to_utf8(root), 0), 0u);
      EXPECT_EQ(printed, "");
    } else {
      EXPECT_EQ(printed.rfind("error: >directory path too long< " + to_utf8(root.substr(0, 8)), 0),
                0u)
          << printed.substr(0, 80);
    }
  }
}

// A partial file left by a killed run ("*.rep.tmp") is removed the first time the directory is
// written again; other files stay.
TEST_F(RepTargetTest, StalePartialFilesGoWhenTheirDirectoryIsWritten) {
  ASSERT_EQ(flush(make_item(630, u"web7", u"Syslog")), 0);
  const fs::path file = dir_.path / dir_.files().at(0);
  const fs::path stale = file.parent_path() / "S2019.rep.tmp";
  const fs::path other = file.parent_path() / "notes.tmp";
  std::ofstream(stale) << "partial";
  std::ofstream(other) << "kept";
  RepTarget again{test_console(), dir_.u16() + platform::kSeparator, {}, testutil::fake_factory(),
                  &outcome_};
  testing::internal::CaptureStdout();
  EXPECT_EQ(again.flush_items(make_item(630, u"web7", u"Syslog", {5})), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(other));
  EXPECT_EQ(dir_.files().size(), 3u);  // two written files and notes.tmp
}

}  // namespace
}  // namespace repcopy
