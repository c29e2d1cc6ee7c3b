#include "target/repository_file.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/platform.h"
#include "target/rep_target.h"
#include "target_test_util.h"
#include "util/text.h"

namespace repcopy {
namespace {

namespace fs = std::filesystem;
using testutil::files_below;
using testutil::kItemNames;

// Positions of the writers in the order their items stand in the file.
const int kExpectedFileOrder[15] = {0, 1, 2, 11, 7, 3, 8, 6, 4, 5, 12, 13, 14, 9, 10};

file_props props_for(uint32_t platform) {
  file_props p;
  make_guid(p.CollectionGUID);
  make_guid(p.SessionGUID);
  p.PlatformID = platform;
  p.CollectionName = p.UnderDataSource = u"Security";
  p.Result = u"S";
  p.EventsCount = 1;
  return p;
}

class RepositoryFile : public ::testing::Test {
 protected:
  void TearDown() override { platform::faults() = {}; }

  // Writes one file with fake writers and reads it back independently.
  testutil::read_file_result write_and_read(bool named_fields, uint32_t platform,
                                            std::vector<std::string>* log = nullptr) {
    event_batch events(1);
    EXPECT_EQ(create_repository_file(events, props_for(platform), dir_.u16(),
                                     testutil::fake_factory(named_fields, log)),
              0);
    auto files = files_below(dir_.path());
    EXPECT_EQ(files.size(), 1u);
    if (files.empty()) return {};
    path_ = dir_.path() / files[0];
    bytes_ = testutil::read_bytes(path_);
    return testutil::read_repository_file(bytes_);
  }

  // Every rule of the layout, checked on the bytes as read.
  void check_layout(const testutil::read_file_result& r, bool named_fields, uint8_t system) {
    ASSERT_TRUE(r.ok) << r.error;
    std::vector<int> order;
    for (int p : kExpectedFileOrder)
      if (named_fields || p < 12) order.push_back(p);
    ASSERT_EQ(r.entries.size(), order.size());
    uint64_t offset = 512;
    for (size_t i = 0; i < order.size(); ++i) {
      const auto& e = r.entries[i];
      const std::string name = kItemNames[order[i]];
      SCOPED_TRACE(name);
      EXPECT_EQ(to_utf8(e.name), name);
      EXPECT_EQ(e.item_offset, offset);
      offset += e.packed_len;
      ASSERT_LE(e.item_offset + e.packed_len, bytes_.size());
      std::span<const uint8_t> item(bytes_.data() + e.item_offset, e.packed_len);
      ASSERT_GE(item.size(), 12 + name.size() + 1 + 8);
      EXPECT_EQ(std::string(item.begin(), item.begin() + 4), "EDRP");
      EXPECT_EQ(item[4], 8);
      EXPECT_EQ(item[5], 8);
      EXPECT_EQ(item[11], system);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(item.data()) + 12), name);
      auto content = testutil::gunzip_item(item);
      ASSERT_TRUE(content.has_value());
      EXPECT_EQ(*content, testutil::fake_content(order[i], named_fields));
      EXPECT_EQ(e.unpacked_len, content->size());
    }
    // The footer follows the last item.
    EXPECT_EQ(testutil::rd64(bytes_, 32), offset);
  }

  testutil::temp_dir dir_;
  fs::path path_;
  std::vector<uint8_t> bytes_;
};

TEST_F(RepositoryFile, TwelveItemsWithoutNamedFields) {
  auto r = write_and_read(false, 500);
  check_layout(r, false, 11);
  EXPECT_EQ(path_.filename().string().size(), 111u);
  EXPECT_EQ(path_.extension(), ".rep");
}

TEST_F(RepositoryFile, FifteenItemsWithNamedFields) {
  auto r = write_and_read(true, 630);
  check_layout(r, true, 3);
}

TEST_F(RepositoryFile, WritersRunInPositionOrderEachEstimatedThenSerialized) {
  std::vector<std::string> log;
  write_and_read(false, 500, &log);
  std::vector<std::string> expected;
  for (int p = 0; p < 15; ++p) {
    expected.push_back("estimate " + std::to_string(p));
    if (p < 12) expected.push_back("serialize " + std::to_string(p));
  }
  EXPECT_EQ(log, expected);
}

TEST_F(RepositoryFile, FooterCarriesThePropertiesAndTheHeaderAFreshGuid) {
  auto r = write_and_read(false, 630);
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.properties.size(), 20u);
  EXPECT_EQ(r.properties[0].first, u"CollectionGUID");
  EXPECT_EQ(r.properties.back().first, u"Version");
  EXPECT_EQ(r.guid.size(), 16u);
  EXPECT_NE(r.guid, std::vector<uint8_t>(16, 0));
  EXPECT_EQ(r.guid[7] >> 4, 4);  // version 4
}

TEST(PartTable, EntriesByteByByte) {
  testutil::fake_segment a(9, false, nullptr);
  a.unpacked_length = 0;
  a.item_offset = 512;
  a.packed = std::vector<uint8_t>(35);
  std::vector<const segment*> items = {&a};
  const std::vector<uint8_t> name = {'f', 0, 'i', 0, 'l', 0, 't', 0, 'e', 0,
                                     'r', 0, '.', 0, 'd', 0, 'a', 0, 't', 0};
  std::vector<uint8_t> expected(12, 0);
  const uint8_t tbl_len[8] = {4 + 20 + 24, 0, 0, 0, 0, 0, 0, 0};
  expected.insert(expected.end(), tbl_len, tbl_len + 8);
  expected.insert(expected.end(), {10, 0, 0, 0});
  expected.insert(expected.end(), name.begin(), name.end());
  expected.insert(expected.end(), {0, 0, 0, 0, 0, 0, 0, 0});   // unpacked
  expected.insert(expected.end(), {0, 2, 0, 0, 0, 0, 0, 0});   // offset 512
  expected.insert(expected.end(), {35, 0, 0, 0, 0, 0, 0, 0});  // packed
  EXPECT_EQ(part_table_region(items), expected);
}

TEST_F(RepositoryFile, DirectoryMissingFailsWithoutLeavingAFile) {
  event_batch events(1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(create_repository_file(events, props_for(630), dir_.u16() + u"/gone",
                                   testutil::fake_factory(false)),
            kFileNotCreated);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("create_file: "), std::string::npos);
  EXPECT_TRUE(files_below(dir_.path()).empty());
}

TEST_F(RepositoryFile, PathThatWouldNotFitIsRefused) {
  event_batch events(1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(create_repository_file(events, props_for(630), dir_.u16() + std::u16string(32700, u'd'),
                                   testutil::fake_factory(false)),
            kPathNotBuilt);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "(1)MultiByteToWideChar: File name too long 36 (0x24)\n");
  EXPECT_TRUE(files_below(dir_.path()).empty());
}

TEST_F(RepositoryFile, FileIsWrittenUnderATemporaryName) {
  // While the regions are written, only the ".tmp" name exists.
  std::vector<std::u16string> seen;
  platform::faults().create_file = [&](const std::u16string& p) {
    seen.push_back(p);
    return 0;
  };
  event_batch events(1);
  ASSERT_EQ(
      create_repository_file(events, props_for(630), dir_.u16(), testutil::fake_factory(false)), 0);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(fs::path(seen[0]).extension(), ".tmp");
  auto files = files_below(dir_.path());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].string() + ".tmp", fs::path(seen[0]).filename().string());
}

TEST_F(RepositoryFile, FailedWriteLeavesNoPartialFile) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(
      {
        int writes = 0;
        platform::faults().write_file = [&](const std::u16string&) {
          return ++writes == 3 ? EIO : 0;
        };
        event_batch events(1);
        create_repository_file(events, props_for(630), dir_.u16(), testutil::fake_factory(false));
      },
      testing::ExitedWithCode(255), "");
  EXPECT_TRUE(files_below(dir_.path()).empty());
}

}  // namespace
}  // namespace repcopy
