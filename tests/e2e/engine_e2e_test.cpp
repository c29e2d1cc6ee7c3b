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
  std::vector<std::pair<std::u16string, byte_buffer>> items;
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

// Two copies of one source hold the same directories, files and unpacked items; the bytes the
// items take packed in each, and whether any item was packed differently.
struct packed_bytes {
  size_t first = 0, second = 0;
  bool differ = false;
};
using unpacked = std::map<std::string, std::vector<file_items>>;
packed_bytes expect_same_items(const unpacked& a, const unpacked& b) {
  packed_bytes sizes;
  EXPECT_FALSE(a.empty());
  EXPECT_EQ(a.size(), b.size());
  for (const auto& [dir, files] : a) {
    const auto other = b.find(dir);
    if (other == b.end() || other->second.size() != files.size()) {
      ADD_FAILURE() << dir;
      continue;
    }
    for (size_t i = 0; i < files.size(); ++i) {
      EXPECT_TRUE(files[i].items == other->second[i].items) << dir << " file " << i;
      sizes.first += files[i].packed.size();
      sizes.second += other->second[i].packed.size();
      sizes.differ |= files[i].packed != other->second[i].packed;
    }
  }
  return sizes;
}

class EngineEndToEnd : public e2e_test {
 protected:
  // The run's sequence in this process, its output captured and dropped.
  static void run_quietly(const run_request& request) {
    int code = -1;
    capture_output([&] { code = run_sequence(request); });
    ASSERT_EQ(code, 0);
  }
  void copy_with(compression::engine engine, const fs::path& source, const fs::path& target) {
    run_request request;
    request.engine = engine;
    // The same level for both engines, so that differing streams come from the engines alone.
    request.level = 6;
    request.source_path = source.string();
    request.target_path = target.string();
    run_quietly(request);
  }
};

TEST_F(EngineEndToEnd, LibdeflateAndZlibCopiesHoldTheSameItemsInTheSameOrder) {
  if (!compression::has_engine(compression::engine::libdeflate)) {
    GTEST_SKIP() << "this build has only zlib";
  }
  for (const char* profile : {"small", "realistic"}) {
    SCOPED_TRACE(profile);
    const fs::path source = dir_ / (std::string(profile) + "-source");
    generate(4000, 3, source, "--profile " + std::string(profile));
    const fs::path with_libdeflate = dir_ / (std::string(profile) + "-libdeflate");
    const fs::path with_zlib = dir_ / (std::string(profile) + "-zlib");
    copy_with(compression::engine::libdeflate, source, with_libdeflate);
    copy_with(compression::engine::zlib, source, with_zlib);

    const packed_bytes sizes =
        expect_same_items(unpacked_tree(with_libdeflate), unpacked_tree(with_zlib));
    // The engines really were switched: their deflate streams differ.
    EXPECT_TRUE(sizes.differ);
    // And both hold every event of the source.
    EXPECT_EQ(read_repository(with_libdeflate).size(), 4000u);
    EXPECT_EQ(read_repository(with_zlib), read_repository(with_libdeflate));
  }
}

// --level reaches the deflate call: the copy at 12 holds the same items as the copy at 1, packed
// smaller.
TEST_F(EngineEndToEnd, LevelTwelveWritesTheSameItemsSmallerThanLevelOne) {
  generate(3000, 5, source_, "--profile realistic");
  std::map<int, unpacked> trees;
  for (int level : {1, 12}) {
    const fs::path target = dir_ / ("level-" + std::to_string(level));
    const run_result r = copy("-q --level " + std::to_string(level), source_, target);
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    trees[level] = unpacked_tree(target);
  }
  const packed_bytes sizes = expect_same_items(trees[1], trees[12]);
  EXPECT_LT(sizes.second, sizes.first);
}

// The level is chosen per run: a run without --level after one with it is back at the default.
TEST_F(EngineEndToEnd, ARunWithoutALevelUsesTheDefaultAfterARunWithOne) {
  generate(200, 3);
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
    request.source_path = source_.string();
    request.target_path = (dir_ / ("target-" + std::to_string(n++))).string();
    request.level = w.requested;
    request.quiet = true;
    request.record = &record;
    run_quietly(request);
    EXPECT_EQ(record.level, w.chosen);
  }
}

}  // namespace
}  // namespace repcopy::e2e
