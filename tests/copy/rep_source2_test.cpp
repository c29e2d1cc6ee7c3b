#include "copy/rep_source2.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "util/text.h"

namespace repcopy {
namespace {

namespace fs = std::filesystem;

// A repository file name with the first and last event times at offsets 15 and 29.
std::string rep_name(const std::string& from, const std::string& to, char guid = 'A') {
  return "S" + to + from + to + std::string(32, guid) + std::string(32, 'B') + ".rep";
}

// A temporary source repository. The stand-in file reader records every path it is given and
// pushes one event per file, carrying the file's path relative to the root.
class RepSource2Test : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("repcopy_walk_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override { fs::remove_all(root_); }

  void add_file(const std::string& rel) {
    fs::create_directories((root_ / rel).parent_path());
    std::ofstream(root_ / rel) << "x";
  }
  void add_dir(const std::string& rel) { fs::create_directories(root_ / rel); }

  std::u16string root16() const {
    std::u16string r;
    from_utf8(root_.string(), r);
    return r;
  }

  RepSource2::file_processor recorder() {
    return [this](const std::u16string& path, const event_sink& sink) {
      std::string rel = fs::path(to_utf8(path)).lexically_relative(root_).string();
      opened_.push_back(rel);
      full_event e;
      from_utf8(rel, e.under_data_source);
      sink(e);
      return 0;
    };
  }

  // Every event of the source, as the relative paths they carry.
  std::vector<std::string> drain(RepSource2& source) {
    std::vector<std::string> out;
    full_event e;
    while (source.next_event(e) == 0) out.push_back(to_utf8(e.under_data_source));
    return out;
  }

  fs::path root_;
  std::vector<std::string> opened_;
};

TEST_F(RepSource2Test, HotPartThenMainPart) {
  add_file("Hot$/Environment$/E$/Domain$/D$/C$/a.rep");
  add_file("Environment$/E$/Domain$/D$/C$/b.rep");
  RepSource2 hot(root16(), RepSource2::kModeHot, nullptr, nullptr, recorder());
  RepSource2 main(root16(), RepSource2::kModeMain, nullptr, nullptr, recorder());
  EXPECT_TRUE(hot.valid());
  EXPECT_EQ(to_utf8(hot.walk_root()), (root_ / "Hot$/Environment$").string());
  EXPECT_EQ(drain(hot), std::vector<std::string>{"Hot$/Environment$/E$/Domain$/D$/C$/a.rep"});
  EXPECT_EQ(drain(main), std::vector<std::string>{"Environment$/E$/Domain$/D$/C$/b.rep"});
  full_event e;
  EXPECT_EQ(hot.next_event(e), -1);
  EXPECT_FALSE(hot.valid());
}

TEST_F(RepSource2Test, MissingHotPartYieldsNothingWhileMainPartIsRead) {
  add_file("Environment$/D/b.rep");
  RepSource2 hot(root16() + u"/", RepSource2::kModeHot, nullptr, nullptr, recorder());
  RepSource2 main(root16() + u"/", RepSource2::kModeMain, nullptr, nullptr, recorder());
  EXPECT_FALSE(hot.valid());
  EXPECT_TRUE(drain(hot).empty());
  EXPECT_EQ(drain(main), std::vector<std::string>{"Environment$/D/b.rep"});
}

TEST_F(RepSource2Test, DirectoryWithFilesAndSubdirectoriesReadsOnlyItsFiles) {
  add_file("Environment$/D/one.rep");
  add_file("Environment$/D/TWO.REP");  // the pattern matches without regard to case
  add_file("Environment$/D/notes.txt");
  add_file("Environment$/D/sub/three.rep");
  add_file("Environment$/E/sub/four.rep");
  RepSource2 main(root16(), RepSource2::kModeMain, nullptr, nullptr, recorder());
  EXPECT_EQ(drain(main),
            (std::vector<std::string>{"Environment$/D/one.rep", "Environment$/D/TWO.REP",
                                      "Environment$/E/sub/four.rep"}));
}

TEST_F(RepSource2Test, DotDirectoriesAreNotEntered) {
  add_file("Environment$/.snapshot/a.rep");
  add_file("Environment$/D/.git/b.rep");
  add_file("Environment$/D/x/c.rep");
  RepSource2 main(root16(), RepSource2::kModeMain, nullptr, nullptr, recorder());
  EXPECT_EQ(drain(main), std::vector<std::string>{"Environment$/D/x/c.rep"});
  EXPECT_EQ(opened_.size(), 1u);
}

TEST_F(RepSource2Test, FileOutsideTheTimeWindowIsNotOpened) {
  const std::string before = rep_name("20181201000000", "20181231235959", 'A');
  const std::string touching = rep_name("20181201000000", "20190101000000", 'B');
  const std::string after = rep_name("20190201000000", "20190202000000", 'C');
  add_file("Environment$/D/" + before);
  add_file("Environment$/D/" + touching);
  add_file("Environment$/D/" + after);
  filter_config f;
  f.time_on = true;
  f.time_kind = 5;
  f.time_from = 1546300800;  // 2019-01-01 00:00:00
  f.time_to = 1548979199;    // 2019-01-31 23:59:59
  RepSource2 main(root16(), RepSource2::kModeMain, nullptr, nullptr, recorder());
  main.set_filter(&f);  // set after construction, as the run sequence does
  EXPECT_EQ(drain(main), std::vector<std::string>{"Environment$/D/" + touching});
  EXPECT_EQ(opened_, std::vector<std::string>{"Environment$/D/" + touching});
}

TEST_F(RepSource2Test, TreeWithoutRepositoryFilesYieldsNothingAndPrintsNothing) {
  add_file("Environment$/D/C/readme.txt");
  add_dir("Environment$/D/empty");
  add_dir("Environment$/E");
  RepSource2 main(root16(), RepSource2::kModeMain, nullptr, nullptr, recorder());
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  std::vector<std::string> events = drain(main);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(events.empty());
  EXPECT_TRUE(opened_.empty());
}

TEST_F(RepSource2Test, LinkBackIntoTheTreeIsNotFollowedTwice) {
  add_file("Environment$/D/x/a.rep");
  fs::create_directory_symlink(root_ / "Environment$/D", root_ / "Environment$/D/loop");
  fs::create_directory_symlink(root_ / "Environment$", root_ / "Environment$/D/up");
  RepSource2 main(root16(), RepSource2::kModeMain, nullptr, nullptr, recorder());
  EXPECT_EQ(drain(main), std::vector<std::string>{"Environment$/D/x/a.rep"});
}

TEST_F(RepSource2Test, DeepTreeDoesNotExhaustTheGeneratorStack) {
  std::string rel = "Environment$";
  for (int i = 0; i < 200; ++i) rel += "/d";
  add_file(rel + "/deep.rep");
  RepSource2 main(root16(), RepSource2::kModeMain, nullptr, nullptr, recorder());
  EXPECT_EQ(drain(main), std::vector<std::string>{rel + "/deep.rep"});
}

TEST_F(RepSource2Test, ExceptionWhileReadingReachesTheCaller) {
  add_file("Environment$/D/a.rep");
  add_file("Environment$/D/b.rep");
  add_file("Environment$/D/c.rep");
  int files = 0;
  RepSource2 main(root16(), RepSource2::kModeMain, nullptr, nullptr,
                  [&](const std::u16string&, const event_sink& sink) {
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

struct unwind_probe {
  bool* flag;
  ~unwind_probe() { *flag = true; }
};

TEST_F(RepSource2Test, DestroyingAnUnfinishedSourceUnwindsTheFileBeingRead) {
  add_file("Environment$/D/a.rep");
  bool unwound = false;
  {
    RepSource2 main(root16(), RepSource2::kModeMain, nullptr, nullptr,
                    [&](const std::u16string&, const event_sink& sink) {
                      unwind_probe probe{&unwound};
                      sink(full_event{});
                      sink(full_event{});
                      return 0;
                    });
    full_event e;
    ASSERT_EQ(main.next_event(e), 0);
    EXPECT_FALSE(unwound);
  }
  EXPECT_TRUE(unwound);
}

}  // namespace
}  // namespace repcopy
