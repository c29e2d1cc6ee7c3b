#include "source/rep_source2.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/temp_tree.h"
#include "util/text.h"

namespace repcopy {
namespace {

namespace fs = std::filesystem;

// A temporary source repository, read by a stand-in file reader that records every path it is
// given (relative to the root) and yields one event per file.
class RepSource2Test : public ::testing::Test {
 protected:
  void SetUp() override { testutil::remove_tree(root_); }
  void TearDown() override { testutil::remove_tree(root_); }
  void add_files(std::vector<std::string> rels) {
    for (const std::string& rel : rels) {
      const fs::path path = (root_ / rel).make_preferred();
      fs::create_directories(path.parent_path());
      std::ofstream(path) << "x";
    }
  }
  RepSource2 source(uint32_t mode, RepSource2::file_processor process = {}) {
    if (!process)
      process = [this](const std::u16string& path, const event_sink& sink) {
        // The part after the root, with "/" between levels.
        std::string rel = to_utf8(path.substr(root_.u16string().size() + 1));
        std::replace(rel.begin(), rel.end(), '\\', '/');
        opened_.push_back(rel);
        sink(full_event{});
        return 0;
      };
    return RepSource2(root_.u16string(), mode, nullptr, nullptr, process);
  }
  static size_t drain(RepSource2&& source) {
    size_t events = 0;
    for (full_event e; source.next_event(e) == 0;) ++events;
    return events;
  }

  fs::path root_ = testutil::temp_path("repcopy_walk_" + std::to_string(::getpid()));
  std::vector<std::string> opened_;
};
using paths = std::vector<std::string>;

// The hot part is its own walk root; a directory holding "*.rep" files (matched without regard
// to case) is not entered further; names beginning with "." are skipped; links back into the
// tree are not followed; a deep tree fits the generator's stack.
TEST_F(RepSource2Test, WalkSelection) {
  std::string deep = "Environment$/F";
  for (int i = 0; i < 200; ++i) deep += "/d";
  add_files({"Hot$/Environment$/E$/C$/a.rep", "Environment$/D/one.rep", "Environment$/D/TWO.REP",
             "Environment$/D/notes.txt", "Environment$/D/sub/three.rep",
             "Environment$/E/sub/four.rep", "Environment$/.snapshot/a.rep",
             "Environment$/E/.git/b.rep", deep + "/deep.rep"});
  // Windows allows directory links to administrators only; the walk's loop check is the same.
  if (!platform::kWindows) {
    fs::create_directory_symlink(root_ / "Environment$", root_ / "Environment$/F/up");
  }
  EXPECT_EQ(drain(source(RepSource2::kModeHot)), 1u);
  EXPECT_EQ(drain(source(RepSource2::kModeMain)), 4u);
  EXPECT_EQ(opened_,
            (paths{"Hot$/Environment$/E$/C$/a.rep", "Environment$/D/one.rep",
                   "Environment$/D/TWO.REP", "Environment$/E/sub/four.rep", deep + "/deep.rep"}));
}

TEST_F(RepSource2Test, FileOutsideTheTimeWindowIsNotOpened) {
  auto name = [](const std::string& from, const std::string& to, char guid) {
    return "Environment$/D/S" + to + from + to + std::string(32, guid) + std::string(32, 'B') +
           ".rep";
  };
  const std::string touching = name("20181201000000", "20190101000000", 'B');
  add_files({name("20181201000000", "20181231235959", 'A'), touching,
             name("20190201000000", "20190202000000", 'C')});
  filter_config f;
  f.time_on = true;
  f.time_kind = 5;
  f.time_from = 1546300800;  // 2019-01-01 00:00:00
  f.time_to = 1548979199;    // 2019-01-31 23:59:59
  RepSource2 main = source(RepSource2::kModeMain);
  main.set_filter(&f);  // set after construction, as the run sequence does
  EXPECT_EQ(drain(std::move(main)), 1u);
  EXPECT_EQ(opened_, paths{touching});
}

TEST_F(RepSource2Test, TreeWithoutRepositoryFilesYieldsNothingAndPrintsNothing) {
  add_files({"Environment$/D/C/readme.txt"});
  fs::create_directories((root_ / "Environment$/D/empty").make_preferred());
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(drain(source(RepSource2::kModeMain)), 0u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(opened_.empty());
}

// Events are pulled one at a time; an exception of the file reader reaches the caller.
TEST_F(RepSource2Test, GeneratorPassesExceptionsToTheCaller) {
  add_files({"Environment$/D/a.rep", "Environment$/D/b.rep"});
  int files = 0;
  RepSource2 main =
      source(RepSource2::kModeMain, [&](const std::u16string&, const event_sink& sink) {
        if (++files == 2) throw std::runtime_error("damaged beyond reading");
        for (uint32_t i = 0; i < 1000; ++i) {
          full_event e;
          e.record_key = i;
          sink(e);
        }
        return 0;
      });
  full_event e;
  for (uint32_t i = 0; i < 1000; ++i) {
    ASSERT_EQ(main.next_event(e), 0);
    ASSERT_EQ(e.record_key, i);
  }
  EXPECT_THROW(main.next_event(e), std::runtime_error);
  EXPECT_EQ(main.next_event(e), -1);
}

}  // namespace
}  // namespace repcopy
