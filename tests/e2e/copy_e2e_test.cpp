// End-to-end: the repcopy executable copies repositories made by repgen and by hand.

#include <gtest/gtest.h>

#include <filesystem>

#include "compression/crc32.h"
#include "model/storage_item.h"
#include "source/rep_file_source.h"
#include "tests/e2e/e2e_util.h"
#include "tests/test_console.h"
#include "util/text.h"
#include "writer/rep_target.h"

namespace repcopy::e2e {
namespace {

class CopyEndToEnd : public e2e_test {};

// The events' content arriving unchanged:
// RepdumpEndToEnd.DiffPassesCopiesMadeWithAndWithoutFilters.
TEST_F(CopyEndToEnd, TheSourceIsUntouchedAndItsHotPartIsMergedIntoTheMainLayout) {
  generate(3000);
  auto before = snapshot(source_);
  ASSERT_FALSE(before.empty());
  bool has_hot = false;
  for (const auto& [path, bytes] : before) has_hot |= path.rfind("Hot$/", 0) == 0;
  ASSERT_TRUE(has_hot);

  run_result r = copy();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(snapshot(source_), before);
  EXPECT_EQ(read_repository(target_).size(), 3000u);
  // The target has the main layout only (the hot part is merged into it), with both platforms.
  EXPECT_TRUE(fs::exists(target_ / "Environment$" / "9E442BEE-EAC2-4D79-9013-053FB225CFD0$"));
  EXPECT_TRUE(fs::exists(target_ / "Environment$" / "8EAF6C85-D1FF-4CFD-9D90-64944C8E6B3E$" /
                         "Host$" / "WE$" / "WEB01$"));
  EXPECT_FALSE(fs::exists(target_ / "Hot$"));
}

TEST_F(CopyEndToEnd, HostileNamesWriteNothingOutsideTheTarget) {
  // A source file whose properties and caches name "../" paths.
  const std::u16string wide_source = source_.u16string();
  {
    RepTarget writer(test_console(), wide_source);
    storage_item item;
    item.domain_name = u"../../evil";
    item.computer_name = u"A/../../B";
    item.platform_id = 500;
    item.ds_name = u"../../../escape";
    full_event e;
    e.computer = u"A/../../B";
    e.computer_crc = crc32_of_text(e.computer);
    e.domain = item.domain_name;
    e.under_data_source = item.ds_name;
    e.platform_id = 500;
    e.event_time = e.stored_time = 1700000000;
    item.events.push_back(e);
    item.batch_count = 1;
    ASSERT_EQ(writer.flush_items(std::move(item)), 0);
  }
  run_result r = copy();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  // Only the two trees (and nothing above the test directory) exist.
  std::vector<std::string> top;
  for (const auto& e : fs::directory_iterator(dir_)) top.push_back(e.path().filename().string());
  std::sort(top.begin(), top.end());
  EXPECT_EQ(top, (std::vector<std::string>{"source", "target"}));
  EXPECT_FALSE(fs::exists(dir_.parent_path() / "evil$"));
  EXPECT_EQ(read_repository(source_).size(), 1u);
  EXPECT_EQ(read_repository(target_).size(), 1u) << r.out << r.err;
}

TEST_F(CopyEndToEnd, TargetDirectoryThatCannotBeCreatedFailsOnlyItsBatches) {
  generate(600);
  // A regular file where the non-Windows environment directory must go.
  fs::create_directories(target_ / "Environment$");
  std::ofstream(target_ / "Environment$" / "8EAF6C85-D1FF-4CFD-9D90-64944C8E6B3E$") << "x";

  run_result r = copy();
  EXPECT_EQ(r.exit_code, 3) << r.out << r.err;
  EXPECT_NE(r.err.find("Copy incomplete"), std::string::npos) << r.err;

  size_t windows = 0;
  for (const auto& e : read_repository(source_)) windows += e.platform_id == 500;
  std::vector<full_event> copied = read_repository(target_);
  EXPECT_EQ(copied.size(), windows);
  for (const auto& e : copied) EXPECT_EQ(e.platform_id, 500u);
}

// An empty repository is no mistake: nothing to copy, and so are filters that drop every event.
// (A missing source, or a directory that is no repository, is a usage error:
// command_line_e2e_test.cpp.)
TEST_F(CopyEndToEnd, EmptyRepositoryAndFiltersDroppingEverythingWriteNothing) {
  fs::create_directories(source_ / "Environment$");
  run_result r = copy();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out.rfind("Unknown\n", 0), 0u) << r.out;
  EXPECT_TRUE(snapshot(target_).empty());
  generate(200);
  r = copy("-t 1990");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out.rfind("Unknown\n", 0), 0u);
  EXPECT_TRUE(snapshot(target_).empty());
}

}  // namespace
}  // namespace repcopy::e2e
