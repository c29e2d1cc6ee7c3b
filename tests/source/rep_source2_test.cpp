#include "source/rep_source2.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/copy_outcome.h"
#include "platform/platform.h"
#include "tests/temp_tree.h"
#include "tests/test_console.h"
#include "util/text.h"

namespace repcopy {
namespace {

namespace fs = std::filesystem;

// A temporary source repository, read by a stand-in file reader that records every path it is
// given (relative to the root) and yields one event per file.
class RepSource2Test : public ::testing::Test {
 protected:
  void add_files(std::vector<std::string> rels) {
    for (const std::string& rel : rels) {
      const fs::path path = (root_ / rel).make_preferred();
      fs::create_directories(path.parent_path());
      std::ofstream(path) << "x";
    }
  }
  RepSource2 source(uint32_t mode, RepSource2::file_processor process = {},
                    visit_set* visits = nullptr, const filter_config* filter = nullptr) {
    if (!process)
      process = [this](message_sink&, const std::string& path, const event_sink& sink) {
        // The part after the root, with "/" between levels.
        std::u16string wide;
        from_utf8(path, wide);
        std::string rel = to_utf8(wide.substr(root_.u16string().size() + 1));
        std::replace(rel.begin(), rel.end(), '\\', '/');
        opened_.push_back(rel);
        full_event e;
        sink(e);
        return 0;
      };
    return RepSource2(test_console(), root_.u16string(), mode, filter, nullptr, process, visits);
  }
  static size_t drain(RepSource2&& source) {
    size_t events = 0;
    for (stored_event e; source.next_stored(e) == 0;) ++events;
    return events;
  }

  const testutil::temp_dir dir_;
  const fs::path root_ = dir_.path;
  std::vector<std::string> opened_;
};
using paths = std::vector<std::string>;

// The hot part is its own walk root; a directory holding "*.rep" files (matched without regard
// to case) is not entered further; names beginning with "." are skipped; links back into the
// tree are not followed; a deep tree is walked to its end.
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
  EXPECT_EQ(drain(source(RepSource2::kModeMain, {}, nullptr, &f)), 1u);
  EXPECT_EQ(opened_, paths{touching});
}

TEST_F(RepSource2Test, TreeWithoutRepositoryFilesYieldsNothingAndPrintsNothing) {
  add_files({"Environment$/D/C/readme.txt"});
  fs::create_directories((root_ / "Environment$/D/empty").make_preferred());
  const auto [out, err] =
      capture_output([&] { EXPECT_EQ(drain(source(RepSource2::kModeMain)), 0u); });
  EXPECT_EQ(out + err, "");
  EXPECT_TRUE(opened_.empty());
}

// The two parts of a run share one visit set: a link from the main part back to the root does not
// read the hot part again, a link from the hot part to the root does not take the main part's
// files, and a file reached through a second name (a link or a hard link) is read once.
TEST_F(RepSource2Test, NothingIsReadTwiceInARunThroughLinks) {
  if (platform::kWindows) GTEST_SKIP() << "directory links cannot be made under Wine";
  add_files({"Hot$/Environment$/E$/C$/a.rep", "Environment$/D/b.rep"});
  fs::create_directory_symlink(root_, root_ / "Environment$/loop");
  fs::create_directory_symlink(root_, root_ / "Hot$/Environment$/up");
  fs::create_symlink(root_ / "Environment$/D/b.rep", root_ / "Environment$/D/c.rep");
  fs::create_hard_link(root_ / "Environment$/D/b.rep", root_ / "Environment$/D/d.rep");
  visit_set visits;  // both sources are built before either walks, as in a run
  RepSource2 hot = source(RepSource2::kModeHot, {}, &visits);
  RepSource2 main = source(RepSource2::kModeMain, {}, &visits);
  EXPECT_EQ(drain(std::move(hot)), 1u);
  EXPECT_EQ(drain(std::move(main)), 1u);
  EXPECT_EQ(opened_, (paths{"Hot$/Environment$/E$/C$/a.rep", "Environment$/D/b.rep"}));
}

// A path of exactly the walk's limit is read; one unit longer is skipped with its message. (On
// Windows the limit is far beyond what the system takes.)
#ifndef _WIN32
TEST_F(RepSource2Test, FilePathAtTheLimitIsReadOnePastItIsSkipped) {
  // Directories of 200 units below the root until the file names bring the path to the limit.
  std::string dir = (root_ / "Environment$").string();
  while (dir.size() + 1 + 200 + 1 + 5 < RepSource2::kMaxPath) dir += "/" + std::string(200, 'd');
  dir += "/" + std::string(RepSource2::kMaxPath - dir.size() - 1 - 1 - 5, 'e');
  fs::create_directories(dir);
  ASSERT_EQ(dir.size() + 1 + 5, RepSource2::kMaxPath);
  // "a.rep" ends at the limit; "ab.rep" one past it, made relative to its directory, as the
  // system takes no longer path.
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  for (const char* name : {"a.rep", "ab.rep"}) {
    const int file = ::openat(fd, name, O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(file, 0) << name;
    ::close(file);
  }
  ::close(fd);
  copy_outcome outcome;
  std::vector<std::string> read;
  RepSource2 walk(test_console(), root_.u16string(), RepSource2::kModeMain, nullptr, &outcome,
                  [&](message_sink&, const std::string& path, const event_sink& sink) {
                    read.push_back(path);
                    full_event e;
                    sink(e);
                    return 0;
                  });
  testing::internal::CaptureStderr();
  EXPECT_EQ(drain(std::move(walk)), 1u);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(read, (std::vector<std::string>{dir + "/a.rep"}));
  EXPECT_EQ(err, "Path too long, skipped: " + dir + "/ab.rep\n");
  EXPECT_EQ(outcome.skipped(), 1u);
  // The file past the limit is removed relative to its directory too.
  const int again = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(again, 0);
  ::unlinkat(again, "ab.rep", 0);
  ::close(again);
}
#endif

// A directory and a file that are only reachable through symbolic links are listed as what the
// links point to, and the walk reads them.
TEST_F(RepSource2Test, DirectoryAndFileBehindLinksAreRead) {
  if (platform::kWindows) GTEST_SKIP() << "directory links cannot be made under Wine";
  const testutil::temp_dir other;
  const fs::path& outside = other.path;
  fs::create_directories(outside / "dir");
  std::ofstream(outside / "dir" / "a.rep") << "x";
  std::ofstream(outside / "b.rep") << "x";
  add_files({"Environment$/D/c.rep"});
  fs::create_directory_symlink(outside / "dir", root_ / "Environment$/linked");
  fs::create_symlink(outside / "b.rep", root_ / "Environment$/D/b.rep");
  fs::create_symlink(outside / "missing", root_ / "Environment$/D/dangling.rep");

  struct row {
    const char* dir;
    const char* name;
    bool is_directory, is_regular, error;
  };
  const row rows[] = {{"Environment$", "linked", true, false, false},
                      {"Environment$/D", "b.rep", false, true, false},
                      {"Environment$/D", "c.rep", false, true, false},
                      {"Environment$/D", "dangling.rep", false, false, true}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<platform::dir_entry> entries;
    ASSERT_TRUE(platform::list_directory((root_ / r.dir).string(), entries));
    const auto it = std::find_if(entries.begin(), entries.end(),
                                 [&](const platform::dir_entry& e) { return e.name == r.name; });
    ASSERT_NE(it, entries.end());
    EXPECT_EQ(it->is_directory, r.is_directory);
    EXPECT_EQ(it->is_regular, r.is_regular);
    EXPECT_EQ(it->error != 0, r.error);
  }

  testing::internal::CaptureStderr();
  EXPECT_EQ(drain(source(RepSource2::kModeMain)), 3u);
  testing::internal::GetCapturedStderr();  // the dangling link is reported
  std::sort(opened_.begin(), opened_.end());
  EXPECT_EQ(opened_,
            (paths{"Environment$/D/b.rep", "Environment$/D/c.rep", "Environment$/linked/a.rep"}));
}

// Names that are not UTF-8 are opened with the bytes the system listed; messages show the bytes
// they cannot show as text as \xHH.
TEST_F(RepSource2Test, NamesThatAreNotUtf8AreOpenedAsListed) {
  if (platform::kWindows)
    GTEST_SKIP() << "Windows names are UTF-16: no name holds bytes that are not UTF-8";
  const std::string dir = "Environment$/\xFF$", file = dir + "/a\xFE\xC3.rep";
  add_files({file});
  std::vector<std::string> exists;
  RepSource2 main =
      source(RepSource2::kModeMain, [&](message_sink&, const std::string& path, const event_sink&) {
        opened_.push_back(path.substr(root_.string().size() + 1));
        exists.push_back(fs::exists(path) ? "exists" : "missing");
        return 0;
      });
  drain(std::move(main));
  EXPECT_EQ(opened_, paths{file});
  EXPECT_EQ(exists, paths{"exists"});
  EXPECT_EQ(platform::display_name(file), "Environment$/\\xFF$/a\\xFE\\xC3.rep");
  EXPECT_EQ(platform::display_name("\xC3\xA9t\xE2\x82\xAC"), "\xC3\xA9t\xE2\x82\xAC");
  EXPECT_EQ(platform::text_name("a\xFF.rep"), u"a\uFFFD.rep");
}

// Events are pulled one at a time; an exception of the file reader reaches the caller after the
// events before it, and the source has ended then.
TEST_F(RepSource2Test, ExceptionOfAFileReaderReachesTheCallerInItsPlace) {
  add_files({"Environment$/D/a.rep", "Environment$/D/b.rep"});
  int files = 0;
  RepSource2 main =
      source(RepSource2::kModeMain, [&](message_sink&, const std::string&, const event_sink& sink) {
        if (++files == 2) throw std::runtime_error("damaged beyond reading");
        for (uint32_t i = 0; i < 1000; ++i) {
          full_event e;
          e.record_key = i;
          sink(e);
        }
        return 0;
      });
  stored_event e;
  for (uint32_t i = 0; i < 1000; ++i) {
    ASSERT_EQ(main.next_stored(e), 0);
    ASSERT_EQ(e.record_key, i);
  }
  EXPECT_THROW(main.next_stored(e), std::runtime_error);
  EXPECT_EQ(main.next_stored(e), -1);
}

}  // namespace
}  // namespace repcopy
