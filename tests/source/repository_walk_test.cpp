#include "source/repository_walk.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "model/copy_outcome.h"
#include "platform/platform.h"
#include "tests/temp_tree.h"

namespace repcopy {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> lines_of(buffering_sink& sink) {
  std::vector<held_message> held;
  sink.take(held);
  std::vector<std::string> lines;
  for (const held_message& m : held) lines.push_back(m.lines);
  return lines;
}

// The walk keeps its place between calls, and what it says about the tree on its way to a file
// goes to the sink of the call that gives that file: the reader that places the lines between
// the events relies on it.
TEST(RepositoryWalk, GivesFilesOneAtATimeWithTheLinesMetOnTheWayToEach) {
  if (platform::kWindows) GTEST_SKIP() << "links cannot be made under Wine";
  const testutil::temp_dir dir;
  const fs::path root = dir.path, env = root / "Environment$";
  fs::create_directories(env / "A");
  fs::create_directories(env / "B");
  std::ofstream(env / "A" / "a1.rep") << "x";
  std::ofstream(env / "A" / "a2.rep") << "x";
  std::ofstream(env / "B" / "b.rep") << "x";
  fs::create_symlink(env / "missing", env / "B" / "0dangling.rep");
  fs::create_symlink(env / "missing", env / "B" / "z dangling.rep");

  copy_outcome outcome;
  repository_walk walk(root.u16string(), repository_walk::kModeMain, nullptr, &outcome, nullptr);
  ASSERT_TRUE(walk.valid());
  struct step {
    std::string path;      // relative to the walk root; empty: the walk has ended
    size_t lines;          // lines written during the call
  };
  const step steps[] = {{"A/a1.rep", 0}, {"A/a2.rep", 0}, {"B/b.rep", 2}, {"", 0}, {"", 0}};
  buffering_sink sinks[std::size(steps)];  // one sink per call, all alive to the end
  for (size_t i = 0; i < std::size(steps); ++i) {
    const step& s = steps[i];
    buffering_sink& sink = sinks[i];
    SCOPED_TRACE(s.path);
    std::string path;
    const bool more = walk.next_path(sink, path);
    EXPECT_EQ(more, !s.path.empty());
    if (more) {
      EXPECT_EQ(path, (env / s.path).string());
    }
    const std::vector<std::string> lines = lines_of(sink);
    ASSERT_EQ(lines.size(), s.lines);
    for (const std::string& line : lines)
      EXPECT_EQ(line.rfind("Unreadable source file skipped: " + (env / "B").string(), 0), 0u)
          << line;
  }
  EXPECT_EQ(outcome.unreadable(), 2u);
}

// A missing walk root or an unknown mode gives no file and says nothing.
TEST(RepositoryWalk, WithoutItsRootTheWalkGivesNothing) {
  const testutil::temp_dir dir;
  const fs::path& root = dir.path;
  testutil::put(root / "Environment$" / "a.rep", {1});
  struct row {
    uint32_t mode;
    bool valid;
  };
  for (const row& r : {row{repository_walk::kModeHot, false}, row{3, false},
                       row{repository_walk::kModeMain, true}}) {
    SCOPED_TRACE(r.mode);
    repository_walk walk(root.u16string(), r.mode, nullptr, nullptr, nullptr);
    EXPECT_EQ(walk.valid(), r.valid);
    buffering_sink sink;
    std::string path;
    EXPECT_EQ(walk.next_path(sink, path), r.valid);
    EXPECT_FALSE(walk.next_path(sink, path));
    EXPECT_TRUE(lines_of(sink).empty());
  }
}

}  // namespace
}  // namespace repcopy
