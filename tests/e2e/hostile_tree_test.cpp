// End-to-end: source trees a careful user (or an attacker) could hand the copy. Each case runs
// the real executable and checks its exit code, the lines it prints about the tree, and exactly
// which events arrive (by record key).

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "tests/e2e/e2e_util.h"

namespace repcopy::e2e {
namespace {

using keys = std::multiset<uint32_t>;
using test::bytes;

keys keys_of(const fs::path& repository) {
  keys out;
  for (const full_event& e : read_repository(repository)) out.insert(e.record_key);
  return out;
}

struct hostile_case {
  const char* name;
  std::function<void(const fs::path& source)> build;
  int exit_code;
  keys arrive;
  std::vector<std::string> err_has;  // lines (or parts) standard error must hold, in this order
  size_t damaged_lines = 0;          // "Damaged source file" lines expected
  bool unprivileged = false;         // run as an ordinary user (skipped when that is impossible)
  std::string options = {};          // before the two paths
  std::vector<std::string> err_once = {};  // texts standard error must hold exactly once
};

class HostileTree : public e2e_test {};

TEST_F(HostileTree, EachCaseEndsWithItsExitCodeMessagesAndExactlyItsEvents) {
  const hostile_case cases[] = {
      {"links to the repository root from both parts",
       [](const fs::path& s) {
         put(s / "Hot$/Environment$/H/h.rep", rep_file(20));
         put(s / "Environment$/M/m.rep", rep_file(30));
         fs::create_directory_symlink(s, s / "Hot$/Environment$/root");
         fs::create_directory_symlink(s, s / "Environment$/root");
         fs::create_symlink(s / "Environment$/M/m.rep", s / "Hot$/Environment$/H/again.rep");
       },
       0,
       {20, 21, 22, 30, 31, 32},
       {}},
      {"2000 levels deep",
       // The whole path is close to the system's limit.
       [](const fs::path& s) { put_deep(s / "Environment$", 2000, "d", rep_file(40)); },
       0,
       {40, 41, 42},
       {}},
      {"50 000 empty repository files beside a sound one",
       [](const fs::path& s) {
         fs::create_directories(s / "Environment$/E");
         for (int i = 0; i < 50000; ++i)
           std::ofstream(s / "Environment$/E" / ("e" + std::to_string(i) + ".rep"));
         put(s / "Environment$/E/sound.rep", rep_file(50));
       },
       3,
       {50, 51, 52},
       {"Copy incomplete: 0 batch(es) with 0 event(s) not written, 0 oversized event(s) dropped, "
        "50000 damaged source file(s)"},
       50000},
      {"sparse 3 GB file and a sparse 1.9 GB file",
       [](const fs::path& s) {
         put(s / "Environment$/S/a.rep", rep_file(60));
         for (auto [name, size] :
              {std::pair{"big.rep", 3ull << 30}, {"under2g.rep", 1900ull << 20}}) {
           std::ofstream(s / "Environment$/S" / name);
           fs::resize_file(s / "Environment$/S" / name, size);
         }
       },
       3,
       {60, 61, 62},
       {"Damaged source file skipped, it does not load: ", "2 damaged source file(s)"},
       2},
      {"a dangling \"*.rep\" link and a pipe beside a sound file",
       [](const fs::path& s) {
         put(s / "Environment$/G/a.rep", rep_file(100));
         fs::create_symlink(s / "Environment$/G/gone.rep", s / "Environment$/G/b.rep");
         ::mkfifo((s / "Environment$/G/c.rep").c_str(), 0644);
       },
       3,
       {100, 101, 102},
       {"Unreadable source file skipped: ", "Environment$/G/b.rep: No such file or directory\n",
        "Unreadable source file skipped: ", "Environment$/G/c.rep: not a regular file\n",
        "2 unreadable source file(s) or directories"}},
      {"hot part read before the main part",
       [](const fs::path& s) {
         put(s / "Environment$/M/bad.rep", bytes(600, 0));
         put(s / "Hot$/Environment$/H/bad.rep", bytes(600, 0));
       },
       3,
       {},
       {"Hot$/Environment$/H/bad.rep", "/Environment$/M/bad.rep"},
       2},
      // The JSON summary surveys the source before the copy; the survey's walk keeps quiet.
      {"a directory the user may not read, with the JSON summary",
       [](const fs::path& s) {
         put(s / "Environment$/A/a.rep", rep_file(80));
         put(s / "Environment$/L/C/locked.rep", rep_file(90));
         fs::permissions(s / "Environment$/L", fs::perms::none);
       },
       3,
       {80, 81, 82},
       {"Unreadable directory skipped: ", "Environment$/L/: Permission denied",
        "1 unreadable source file(s) or directories"},
       0,
       true,
       "--json -",
       {"Unreadable directory skipped: "}},
  };
  for (const hostile_case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path& source = source_;
    const fs::path& target = target_;
    fs::remove_all(target);
    c.build(source);
    std::string command =
        testutil::repcopy_program() + " " + c.options + " " + quoted(source) + " " + quoted(target);
    if (c.unprivileged) {
      fs::permissions(dir_, fs::perms::all);
      if (!can_drop_privileges(dir_)) {
        std::cout << "[ SKIPPED  ] " << c.name << ": cannot run as an ordinary user here\n";
        TearDown();
        SetUp();
        continue;
      }
      command = "setpriv --reuid=65534 --regid=65534 --clear-groups " + command;
    }
    // GNU time reports the peak resident size of the copy alone.
    const fs::path rss_file = dir_ / "rss.txt";
    command = "/usr/bin/time -f %M -o " + quoted(rss_file) + " " + command;
    run_result r = run_command(command, dir_);
    // Its last line; a line about a nonzero exit status may come first.
    std::string rss = read_text(rss_file);
    while (!rss.empty() && rss.back() == '\n') rss.pop_back();
    const long peak_kib = std::atol(rss.substr(rss.find_last_of('\n') + 1).c_str());
    EXPECT_EQ(r.exit_code, c.exit_code) << r.err.substr(0, 2000);
    EXPECT_EQ(keys_of(target), c.arrive);
    size_t at = 0;
    for (const std::string& part : c.err_has) {
      const size_t found = r.err.find(part, at);
      EXPECT_NE(found, std::string::npos) << part << "\n" << r.err.substr(0, 2000);
      if (found != std::string::npos) at = found + part.size();
    }
    size_t damaged = 0;
    for (size_t p = r.err.find("Damaged source file"); p != std::string::npos;
         p = r.err.find("Damaged source file", p + 1))
      ++damaged;
    EXPECT_EQ(damaged, c.damaged_lines);
    for (const std::string& text : c.err_once) {
      const size_t first = r.err.find(text);
      EXPECT_NE(first, std::string::npos) << text;
      if (first != std::string::npos) {
        EXPECT_EQ(r.err.find(text, first + 1), std::string::npos) << text << " twice:\n" << r.err;
      }
    }
    // Nothing here needs much: no file is read whole unless its frame holds, the walk keeps
    // its pending directories on the heap. Generous bounds, far below what a whole-file read
    // of the sparse files or a per-level stack would take.
    EXPECT_GT(peak_kib, 0);
    EXPECT_LT(peak_kib, 512 * 1024) << "KiB";  // under ASan too
    TearDown();
    SetUp();
  }
}

// A target whose main part lies on a read-only file system (the target's own directory can be
// written, so the check before reading lets it pass): the first refused directory stops the
// copy. Reading ends there (the damaged files that the walk would reach last are never read),
// one line names the path and the system's reason, and the batches not written are counted.
TEST_F(HostileTree, AReadOnlyTargetStopsTheCopyAtTheFirstRefusal) {
  const fs::path& source = source_;
  const fs::path& target = target_;
  const fs::path read_only = target / "Environment$";
  fs::create_directories(read_only);
  if (std::system(("mount -t tmpfs -o ro,size=1m tmpfs " + quoted(read_only) + " 2>/dev/null")
                      .c_str()) != 0) {
    GTEST_SKIP() << "cannot mount a read-only file system here";
  }
  struct unmount {
    fs::path at;
    ~unmount() { std::system(("umount " + quoted(at)).c_str()); }
  } unmount_at_end{read_only};
  // Large events: the first batch leaves at its memory bound, long before the walk's end.
  test::test_part p = test::sample_part();
  p.events.resize(1);
  p.events[0].data = bytes(40000, 7);
  p.events.resize(100, p.events[0]);
  p.keys.assign(100, 1);
  const bytes sound = test::rep_file_builder().windows(u"WS01", u"CORP").part(p).build();
  for (int i = 0; i < 40; ++i) put(source / "Environment$/A" / ("f" + std::to_string(i) + ".rep"), sound);
  for (int i = 0; i < 5; ++i) put(source / "Environment$/Z" / ("bad" + std::to_string(i) + ".rep"), bytes(600, 0));
  const run_result r = copy();
  EXPECT_EQ(r.exit_code, 3) << r.err;
  const std::string line = "Copy stopped: the target refuses writing: " + read_only.string();
  const size_t at = r.err.find(line);
  ASSERT_NE(at, std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("Copy stopped", at + 1), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(": Read-only file system; reading stopped", at), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("Damaged source file"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("batch(es) with"), std::string::npos);
  EXPECT_EQ(r.err.find("Copy incomplete: 0 batch(es)"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace repcopy::e2e
