// The two compression engines write repositories that hold the same data: a repository copied
// once with libdeflate and once with the zlib fallback has, directory by directory, files with
// the same items (events, strings, caches) in the same order once unpacked.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/json_summary.h"
#include "app/run_sequence.h"
#include "compression/deflate.h"
#include "container/packed_item.h"
#include "container/rep_file_buffer.h"
#include "tests/e2e/e2e_util.h"
#include "tests/test_console.h"

namespace repcopy::e2e {
namespace {

// A file's items in part-table order: name and unpacked bytes. packed: every item's packed bytes.
struct file_items {
  std::vector<std::pair<std::u16string, std::vector<uint8_t>>> items;
  std::string packed;
  bool operator<(const file_items& o) const { return items < o.items; }
};

// Every repository file below root, grouped by directory; files of a directory sorted by content
// (their names carry fresh GUIDs and writer threads finish in any order).
std::map<std::string, std::vector<file_items>> unpacked_tree(const fs::path& root) {
  std::map<std::string, std::vector<file_items>> tree;
  for (const fs::path& rel : testutil::files_below(root)) {
    if (rel.extension() != ".rep") continue;
    const fs::path path = root / rel;
    const std::string text = read_text(path);
    const std::vector<uint8_t> image(text.begin(), text.end());
    RepFileBuffer file{test_console(), byte_span(image), load_flags{}};
    EXPECT_EQ(file.Load(), 0) << path;
    file_items f;
    for (const footer_record& footer : file.footers()) {
      for (const part_table_entry& e : footer.part_table) {
        unpack_result r =
            unpack_item(test_console(), byte_span(image), e.item_offset, e.packed_len);
        EXPECT_EQ(r.status, 0) << path;
        r.data.resize(size_t(r.real_len));
        f.items.emplace_back(e.name, std::move(r.data));
        f.packed.append(text, size_t(e.item_offset), size_t(e.packed_len));
      }
    }
    tree[rel.parent_path().generic_string()].push_back(std::move(f));
  }
  for (auto& [dir, files] : tree) std::sort(files.begin(), files.end());
  return tree;
}

class EngineEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = testutil::temp_path("repcopy-engine-" + std::to_string(::getpid()));
    testutil::remove_tree(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { testutil::remove_tree(dir_); }
  void copy_with(compression::engine engine, const fs::path& source, const fs::path& target) {
    run_request request;
    request.engine = engine;
    request.source_path = source.string();
    request.target_path = target.string();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int code = run_sequence(request);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(code, 0);
  }
  fs::path dir_;
};

TEST_F(EngineEndToEnd, LibdeflateAndZlibCopiesHoldTheSameItemsInTheSameOrder) {
  if (!compression::has_engine(compression::engine::libdeflate)) {
    GTEST_SKIP() << "this build has only zlib";
  }
  for (const char* profile : {"small", "realistic"}) {
    SCOPED_TRACE(profile);
    const fs::path source = dir_ / (std::string(profile) + "-source");
    run_result r = run_command(
        testutil::repgen_program() + " --profile " + profile + " " + quoted(source) + " 4000 3", dir_);
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    const fs::path with_libdeflate = dir_ / (std::string(profile) + "-libdeflate");
    const fs::path with_zlib = dir_ / (std::string(profile) + "-zlib");
    copy_with(compression::engine::libdeflate, source, with_libdeflate);
    copy_with(compression::engine::zlib, source, with_zlib);

    const auto a = unpacked_tree(with_libdeflate);
    const auto b = unpacked_tree(with_zlib);
    ASSERT_FALSE(a.empty());
    ASSERT_EQ(a.size(), b.size());
    bool packed_differently = false;
    for (const auto& [dir, files] : a) {
      ASSERT_TRUE(b.count(dir)) << dir;
      const auto& other = b.at(dir);
      ASSERT_EQ(files.size(), other.size()) << dir;
      for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_TRUE(files[i].items == other[i].items) << dir << " file " << i;
        packed_differently |= files[i].packed != other[i].packed;
      }
    }
    // The engines really were switched: their deflate streams differ.
    EXPECT_TRUE(packed_differently);
    // And both hold every event of the source.
    EXPECT_EQ(read_repository(with_libdeflate).size(), 4000u);
    EXPECT_EQ(read_repository(with_zlib), read_repository(with_libdeflate));
  }
}

// --level reaches the deflate call: the copy at 12 holds the same items as the copy at 1, packed
// smaller.
TEST_F(EngineEndToEnd, LevelTwelveWritesTheSameItemsSmallerThanLevelOne) {
  const fs::path source = dir_ / "source";
  run_result r = run_command(
      testutil::repgen_program() + " --profile realistic " + quoted(source) + " 3000 5", dir_);
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  std::map<int, std::map<std::string, std::vector<file_items>>> trees;
  for (int level : {1, 12}) {
    const fs::path target = dir_ / ("level-" + std::to_string(level));
    r = run_command(testutil::repcopy_program() + " -q --level " + std::to_string(level) + " " +
                        quoted(source) + " " + quoted(target),
                    dir_);
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    trees[level] = unpacked_tree(target);
  }
  const auto& fast = trees[1];
  const auto& small = trees[12];
  ASSERT_FALSE(fast.empty());
  ASSERT_EQ(fast.size(), small.size());
  size_t fast_bytes = 0, small_bytes = 0;
  for (const auto& [dir, files] : fast) {
    ASSERT_TRUE(small.count(dir)) << dir;
    const auto& other = small.at(dir);
    ASSERT_EQ(files.size(), other.size()) << dir;
    for (size_t i = 0; i < files.size(); ++i) {
      EXPECT_TRUE(files[i].items == other[i].items) << dir << " file " << i;
      fast_bytes += files[i].packed.size();
      small_bytes += other[i].packed.size();
    }
  }
  EXPECT_LT(small_bytes, fast_bytes);
}

// The level is chosen per run: a run without --level after one with it is back at the default.
TEST_F(EngineEndToEnd, ARunWithoutALevelUsesTheDefaultAfterARunWithOne) {
  const fs::path source = dir_ / "source";
  run_result r = run_command(testutil::repgen_program() + " " + quoted(source) + " 200 3", dir_);
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  const compression::engine engine = compression::built_engine();
  struct row {
    int32_t requested, chosen;
  };
  const row rows[] = {{1, 1},
                      {0, compression::default_level(engine)},
                      {12, compression::engine_level(engine, 12)},
                      {0, compression::default_level(engine)}};
  int n = 0;
  for (const row& w : rows) {
    SCOPED_TRACE(w.requested);
    run_record record;
    run_request request;
    request.source_path = source.string();
    request.target_path = (dir_ / ("target-" + std::to_string(n++))).string();
    request.level = w.requested;
    request.quiet = true;
    request.record = &record;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int code = run_sequence(request);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(code, 0);
    EXPECT_EQ(record.level, w.chosen);
  }
}

}  // namespace
}  // namespace repcopy::e2e
