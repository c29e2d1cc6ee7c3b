#include "target/rep_target.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <set>

#include "platform/platform.h"
#include "target_test_util.h"
#include "util/text.h"

namespace repcopy {
namespace {

namespace fs = std::filesystem;
using testutil::files_below;

storage_item make_item(uint32_t platform, std::u16string domain, std::u16string computer,
                       std::u16string ds, std::vector<uint32_t> times = {1000}) {
  storage_item item;
  item.platform_id = platform;
  item.domain_name = std::move(domain);
  item.computer_name = std::move(computer);
  item.ds_name = std::move(ds);
  item.os_major = 6;
  item.os_minor = 1;
  item.computer_type = 2;
  for (uint32_t t : times) {
    full_event e;
    e.event_time = t;
    e.stored_time = t - 7200;
    item.events.push_back(e);
  }
  item.batch_count = uint32_t(item.events.size());
  return item;
}

class RepTargetTest : public ::testing::Test {
 protected:
  RepTargetTest() : root_(outer_.u16() + u"/root") { fs::create_directory(outer_.path() / "root"); }
  void TearDown() override { platform::faults() = {}; }

  // Runs flush_items and returns its result; stdout is kept in printed_.
  int32_t flush(RepTarget& target, storage_item item) {
    testing::internal::CaptureStdout();
    int32_t r = target.flush_items(std::move(item));
    printed_ = testing::internal::GetCapturedStdout();
    return r;
  }
  std::vector<fs::path> rep_files() {
    std::vector<fs::path> out;
    for (auto& p : files_below(outer_.path()))
      if (p.extension() == ".rep") out.push_back(p);
    return out;
  }
  std::string rel(const std::u16string& p) {
    return fs::relative(fs::path(p), root_path()).string();
  }
  fs::path root_path() { return outer_.path() / "root"; }

  testutil::temp_dir outer_;
  std::u16string root_;
  std::string printed_;
};

TEST_F(RepTargetTest, WindowsItemDirectory) {
  RepTarget target(root_, testutil::fake_factory(false));
  auto dir = target.item_directory(make_item(500, u"CORP", u"SRV01", u"Security"),
                                   u"{A9E5C7A2-5C01-41b7-9D36-E562DFDDEFA9}");
  ASSERT_TRUE(dir.has_value());
  EXPECT_EQ(rel(*dir),
            "Environment$/9E442BEE-EAC2-4D79-9013-053FB225CFD0$/Domain$/CORP$/Computer$/SR$/SRV01$/"
            "DataSource$/{A9E5C7A2-5C01-41b7-9D36-E562DFDDEFA9}$/UnderDataSource$/Security$");
}

TEST_F(RepTargetTest, OtherPlatformItemDirectory) {
  RepTarget target(root_ + u"/", testutil::fake_factory(false));
  auto dir = target.item_directory(make_item(630, u"ignored", u"web7", u"Syslog"),
                                   u"{046FD196-5B96-41ac-A335-31FC73EFA206}");
  ASSERT_TRUE(dir.has_value());
  EXPECT_EQ(to_utf8(*dir),
            to_utf8(root_) +
                "/Environment$/8EAF6C85-D1FF-4CFD-9D90-64944C8E6B3E$/Host$/we$/web7$/"
                "DataSource$/{046FD196-5B96-41ac-A335-31FC73EFA206}$/"
                "UnderDataSource$/Syslog$");
}

TEST_F(RepTargetTest, OneCharacterComputer) {
  RepTarget target(root_, testutil::fake_factory(false));
  auto dir = target.item_directory(make_item(630, u"", u"X", u"Syslog"), u"{T}");
  ASSERT_TRUE(dir.has_value());
  EXPECT_NE(to_utf8(*dir).find("/Host$/X$/X$/DataSource$/"), std::string::npos);
}

TEST(DirectoryComponent, SeparatorsNulAndLeadingDotBecomeTilde) {
  struct {
    std::u16string name;
    std::u16string level;
  } cases[] = {
      {u"Security", u"Security$"},
      {u"a/b", u"a~b$"},
      {u"a/b/c", u"a~b~c$"},
      {u"a\\b", u"a~b$"},
      {std::u16string(u"a\0b", 3), u"a~b$"},
      {u"..", u"~.$"},
      {u".", u"~$"},
      {u"../../x", u"~.~..~x$"},
      {u".NET Runtime", u"~NET Runtime$"},
      {u"", u"$"},
      {u"\U0001F600", u"\U0001F600$"},
  };
  for (auto& c : cases) {
    auto level = directory_component(c.name);
    ASSERT_TRUE(level.has_value()) << to_utf8(c.name);
    EXPECT_EQ(*level, c.level) << to_utf8(c.name);
  }
}

TEST(DirectoryComponent, NamesThatCannotBeDirectoryNames) {
  const std::u16string cases[] = {std::u16string(1, char16_t(0xD800)),
                                  u"a" + std::u16string(1, char16_t(0xDC00)),
                                  std::u16string(255, u'n')};  // 256 bytes with the "$"
  for (auto& c : cases) EXPECT_FALSE(directory_component(c).has_value());
  EXPECT_TRUE(directory_component(std::u16string(254, u'n')).has_value());
}

TEST(DirectoryComponent, ComputerPrefixKeepsSurrogatePairsWhole) {
  EXPECT_EQ(computer_prefix(u"SRV01"), u"SR");
  EXPECT_EQ(computer_prefix(u"X"), u"X");
  EXPECT_EQ(computer_prefix(u""), u"");
  EXPECT_EQ(computer_prefix(u"a\U0001F600b"), u"a\U0001F600");
}

TEST_F(RepTargetTest, WritesOneFileInTheItemDirectory) {
  RepTarget target(root_, testutil::fake_factory(false));
  ASSERT_EQ(flush(target, make_item(500, u"CORP", u"SRV01", u"a/b", {30, 10, 20})), 0) << printed_;
  EXPECT_EQ(printed_, "Datasource name not found: a/b\nWindows datasource type will be used\n");
  auto files = rep_files();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].parent_path().string(),
            "root/Environment$/9E442BEE-EAC2-4D79-9013-053FB225CFD0$/Domain$/CORP$/Computer$/SR$/"
            "SRV01$/DataSource$/{A9E5C7A2-5C01-41b7-9D36-E562DFDDEFA9}$/UnderDataSource$/a~b$");
  const std::string name = files[0].filename().string();
  ASSERT_EQ(name.size(), 111u);
  EXPECT_EQ(name.front(), 'S');
  EXPECT_EQ(name.substr(1, 42).find_first_not_of("0123456789"), std::string::npos);
  EXPECT_EQ(name.substr(43, 64).find_first_not_of("0123456789ABCDEF"), std::string::npos);
  EXPECT_EQ(name.substr(107), ".rep");
  // Sorted batch: from the earliest event to the latest.
  EXPECT_EQ(name.substr(1, 42),
            "19700101000030"
            "19700101000010"
            "19700101000030");
  EXPECT_EQ(files_below(outer_.path()).size(), 1u);  // no partial file left
}

TEST_F(RepTargetTest, EqualTimesGiveTheSameTimeThreeTimes) {
  RepTarget target(root_, testutil::fake_factory(false));
  ASSERT_EQ(flush(target, make_item(630, u"", u"web7", u"Syslog", {86400, 86400})), 0);
  auto files = rep_files();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].filename().string().substr(0, 43),
            "S"
            "19700102000000"
            "19700102000000"
            "19700102000000");
}

TEST_F(RepTargetTest, TwoBatchesInTheSameSecondGetDifferentNames) {
  RepTarget target(root_, testutil::fake_factory(false));
  ASSERT_EQ(flush(target, make_item(630, u"", u"web7", u"Syslog", {5})), 0);
  ASSERT_EQ(flush(target, make_item(630, u"", u"web7", u"Syslog", {5})), 0);
  auto files = rep_files();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].parent_path(), files[1].parent_path());
  EXPECT_NE(files[0].filename(), files[1].filename());
  EXPECT_EQ(files[0].filename().string().substr(0, 43), files[1].filename().string().substr(0, 43));
}

TEST_F(RepTargetTest, HostileNamesStayInsideTheRoot) {
  RepTarget target(root_, testutil::fake_factory(false));
  ASSERT_EQ(flush(target, make_item(500, u"../../x", u"..", u"a/../../b")), 0) << printed_;
  ASSERT_EQ(flush(target, make_item(630, u"", u"../..", u"..")), 0) << printed_;
  ASSERT_EQ(flush(target, make_item(500, u"/", u"\\..\\..", std::u16string(u"..\0/x", 5))), 0);
  // Only "root" was created beside the files of the test; every file is below root.
  std::set<std::string> outer_names;
  for (auto& e : fs::directory_iterator(outer_.path())) outer_names.insert(e.path().filename());
  EXPECT_EQ(outer_names, std::set<std::string>{"root"});
  auto files = rep_files();
  ASSERT_EQ(files.size(), 3u);
  for (auto& f : files) {
    EXPECT_EQ(*f.begin(), "root");
    for (auto& level : f) EXPECT_TRUE(level != ".." && level != ".") << f;
  }
  EXPECT_TRUE(fs::is_directory(root_path() / "Environment$/9E442BEE-EAC2-4D79-9013-053FB225CFD0$/"
                                             "Domain$/~.~..~x$/Computer$/~.$/~.$/DataSource$/"
                                             "{A9E5C7A2-5C01-41b7-9D36-E562DFDDEFA9}$/"
                                             "UnderDataSource$/a~..~..~b$"));
}

TEST_F(RepTargetTest, NameThatCannotBeADirectoryFailsOnlyItsBatch) {
  RepTarget target(root_, testutil::fake_factory(false));
  storage_item bad = make_item(630, u"", u"web" + std::u16string(1, char16_t(0xD800)), u"Syslog");
  EXPECT_EQ(flush(target, bad), -1);
  EXPECT_NE(printed_.find("error: >directory name< "), std::string::npos) << printed_;
  EXPECT_NE(printed_.find(" cannot be used as a directory name\n"), std::string::npos);
  EXPECT_TRUE(files_below(outer_.path()).empty());
  EXPECT_EQ(flush(target, make_item(630, u"", std::u16string(300, u'h'), u"Syslog")), -1);
  EXPECT_EQ(flush(target, make_item(630, u"", u"web7", u"Syslog")), 0);
  EXPECT_EQ(rep_files().size(), 1u);
}

TEST_F(RepTargetTest, DirectoryThatCannotBeCreatedFailsOnlyItsBatch) {
  RepTarget target(root_, testutil::fake_factory(false));
  platform::faults().create_directory = [](const std::u16string& p) {
    return to_utf8(p).find("/blocked$") != std::string::npos ? EACCES : 0;
  };
  EXPECT_EQ(flush(target, make_item(630, u"", u"blocked", u"Syslog")), -1);
  EXPECT_NE(printed_.find("create_directory_MT:\n"), std::string::npos);
  const std::string tail = "error: >CreateDirectory_MT< " + to_utf8(root_) +
                           "/Environment$/8EAF6C85-D1FF-4CFD-9D90-64944C8E6B3E$/Host$/bl$/"
                           "blocked$/DataSource$/{046FD196-5B96-41ac-A335-31FC73EFA206}$/"
                           "UnderDataSource$/Syslog$\n";
  ASSERT_GE(printed_.size(), tail.size());
  EXPECT_EQ(printed_.substr(printed_.size() - tail.size()), tail);
  EXPECT_EQ(flush(target, make_item(630, u"", u"open", u"Syslog")), 0);
  EXPECT_EQ(rep_files().size(), 1u);
}

TEST_F(RepTargetTest, RegularFileWhereADirectoryMustGo) {
  RepTarget target(root_, testutil::fake_factory(false));
  std::ofstream(root_path() / "Environment$") << "in the way";
  EXPECT_EQ(flush(target, make_item(500, u"CORP", u"SRV01", u"Security")), -1);
  EXPECT_NE(printed_.find("error: >CreateDirectory_MT< "), std::string::npos);
  EXPECT_TRUE(rep_files().empty());
}

TEST_F(RepTargetTest, FileThatCannotBeCreatedFailsItsBatch) {
  RepTarget target(root_, testutil::fake_factory(false));
  platform::faults().create_file = [](const std::u16string&) { return EACCES; };
  EXPECT_EQ(flush(target, make_item(630, u"", u"web7", u"Syslog")), -1);
  EXPECT_NE(printed_.find("create_file: "), std::string::npos);
  EXPECT_NE(printed_.find("error: >create_repository_file< Syslog -- " + to_utf8(root_) +
                          "/Environment$/"),
            std::string::npos)
      << printed_;
  EXPECT_TRUE(rep_files().empty());
}

TEST_F(RepTargetTest, EmptyRootOrOverlongPathFailsTheBatch) {
  RepTarget empty_root(u"", testutil::fake_factory(false));
  EXPECT_EQ(flush(empty_root, make_item(630, u"", u"web7", u"Syslog")), -1);
  EXPECT_NE(printed_.find("error: >target root< empty\n"), std::string::npos) << printed_;
  RepTarget long_root(root_ + u"/" + std::u16string(32700, u'r'), testutil::fake_factory(false));
  EXPECT_EQ(flush(long_root, make_item(630, u"", u"web7", u"Syslog")), -1);
  EXPECT_NE(printed_.find("error: >directory path too long< "), std::string::npos);
  EXPECT_TRUE(files_below(outer_.path()).empty());
}

TEST_F(RepTargetTest, EmptyBatchWritesNothing) {
  RepTarget target(root_, testutil::fake_factory(false));
  EXPECT_EQ(flush(target, make_item(630, u"", u"web7", u"Syslog", {})), 0);
  EXPECT_TRUE(files_below(outer_.path()).empty());
}

TEST_F(RepTargetTest, ExceptionInAWriterEndsTheProcess) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  RepTarget target(root_, [](int) -> std::unique_ptr<segment> { throw std::bad_alloc(); });
  EXPECT_EXIT(target.flush_items(make_item(630, u"", u"web7", u"Syslog")),
              testing::ExitedWithCode(255), "");
  EXPECT_TRUE(rep_files().empty());
}

}  // namespace
}  // namespace repcopy
