// End-to-end: copies run again. Whatever stopped a copy (a signal, kill -9, a full target), the
// same command again completes it; overlapping windows and runs side by side never duplicate an
// event, and a copy back into the original writes nothing. Each case ends with repdump diff of
// source and target saying "equal".
// Kill points are chosen by the files already in the target, never by elapsed time; a copy that
// finished before the kill is completed by the re-run all the same.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <regex>
#include <thread>

#include "platform/platform.h"
#include "tests/e2e/e2e_util.h"
#include "tests/test_console.h"
#include "util/text.h"
#include "util/time_text.h"

namespace repcopy::e2e {
namespace {

class RerunEndToEnd : public e2e_test {
 protected:
  void TearDown() override {
    if (!mounted_.empty()) ::umount2(mounted_.c_str(), MNT_DETACH);
    e2e_test::TearDown();
  }

  // repdump diff of the source (or from) and the target: every event exactly once with the same
  // content.
  void expect_equal(const fs::path& from = {}) {
    run_result r = run_command(testutil::repdump_program() + " diff " +
                                   quoted(from.empty() ? source_ : from) + " " + quoted(target_),
                               dir_);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("equal"), std::string::npos) << r.out;
  }
  std::string mounted_;
};

TEST_F(RerunEndToEnd, TheSameCopyTwiceWritesNoFileTheSecondTime) {
  generate(3000, 11);
  run_result first = copy();
  ASSERT_EQ(first.exit_code, 0) << first.err;
  EXPECT_EQ(first.out.find("Already in the target"), std::string::npos) << first.out;
  const auto before = snapshot(target_);
  run_result second = copy("--json " + (dir_ / "s.json").string());
  EXPECT_EQ(second.exit_code, 0) << second.err;
  EXPECT_EQ(snapshot(target_), before);
  EXPECT_NE(second.out.find("\nAlready in the target, not copied: 3000 event(s)\n"),
            std::string::npos)
      << second.out;
  EXPECT_NE(read_text(dir_ / "s.json").find("\"already_in_target\": 3000"), std::string::npos);
  // A dry run counts what it would leave out too.
  run_result dry = copy("-n");
  EXPECT_EQ(dry.exit_code, 0);
  EXPECT_NE(dry.out.find("Dry run: 0 file(s) with 0 byte(s) would be written"), std::string::npos)
      << dry.out;
  EXPECT_NE(dry.out.find("Already in the target, not copied: 3000 event(s)"), std::string::npos);
  expect_equal();
  // The only files besides repository files are the holds' lock files.
  for (const auto& [path, bytes] : snapshot(target_)) {
    EXPECT_EQ(fs::path(path).extension(), ".rep") << path;
  }
  // The copy copied back into the original by mistake: nothing is written.
  const auto original = snapshot(source_);
  run_result swapped = copy("", target_, source_);
  EXPECT_EQ(swapped.exit_code, 0) << swapped.err;
  EXPECT_NE(swapped.out.find("Already in the target, not copied: 3000 event(s)"), std::string::npos)
      << swapped.out;
  EXPECT_EQ(snapshot(source_), original);
}

// SIGINT once the target holds 1, 4 or 12 files, and kill -9 at two points with one and with two
// read threads: nothing half-written stays visible, and the same command completes the copy.
TEST_F(RerunEndToEnd, AStoppedCopyIsCompletedByTheSameCommand) {
  generate(60000, 11);
  struct row {
    int signal;
    const char* read_threads;
    size_t files;  // in the target when the signal comes
  };
  for (const row& r :
       {row{SIGINT, "1", 1}, row{SIGINT, "1", 4}, row{SIGINT, "1", 12}, row{SIGKILL, "1", 2},
        row{SIGKILL, "1", 9}, row{SIGKILL, "2", 2}, row{SIGKILL, "2", 9}}) {
    SCOPED_TRACE(testing::Message() << r.signal << " " << r.read_threads << " " << r.files);
    fs::remove_all(target_);
    const std::string threads = r.signal == SIGINT ? "1" : "2";
    const pid_t pid = start({"--read-threads", r.read_threads, "--threads", threads,
                             source_.string(), target_.string()});
    const bool running = wait_for_files(pid, r.files);
    if (running) ::kill(pid, r.signal);
    const int code = running ? wait_exit(pid) : 0;
    if (r.signal == SIGINT) {
      EXPECT_TRUE(code == 130 || code == 0) << code;
    }
    if (code == 130) {
      const std::string err = read_text(dir_ / "run.err");
      EXPECT_NE(err.find("; run the same command again to copy the rest"), std::string::npos)
          << err;
    }
    run_result again = copy("--read-threads " + std::string(r.read_threads));
    EXPECT_EQ(again.exit_code, 0) << again.err;
    expect_equal();
  }
}

// A small file system fills up; once space is freed the same command completes the copy.
TEST_F(RerunEndToEnd, AFullTargetIsCompletedOnceSpaceIsFreed) {
  generate(20000, 11);
  fs::create_directories(target_);
  run_result dry = copy("-n");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(dry.out, m, std::regex("with ([0-9]+) byte\\(s\\) would be")))
      << dry.out;
  const uint64_t bytes = std::stoull(m[1]);
  const std::string half = "size=" + std::to_string(bytes / 2 / 4096 * 4096 + 4096);
  if (::geteuid() != 0 || ::mount("tmpfs", target_.c_str(), "tmpfs", 0, half.c_str()) != 0) {
    GTEST_SKIP() << "cannot mount a small tmpfs here (needs root): full-target case not run";
  }
  mounted_ = target_.string();
  run_result full = copy("--threads 1");
  EXPECT_EQ(full.exit_code, 3) << full.err;
  EXPECT_NE(full.err.find("Copy stopped: no space left in the target"), std::string::npos)
      << full.err;
  EXPECT_NE(full.err.find("; run the same command again to copy the rest"), std::string::npos);
  const std::string bigger = "size=" + std::to_string(bytes * 3 + 1048576);
  ASSERT_EQ(::mount("tmpfs", target_.c_str(), "tmpfs", MS_REMOUNT, bigger.c_str()), 0);
  run_result again = copy();
  EXPECT_EQ(again.exit_code, 0) << again.err;
  expect_equal();
}

// Seven windows of two days, each overlapping the next by one day, then a run with no filter.
TEST_F(RerunEndToEnd, OverlappingDailyWindowsThenEverythingCopyEachEventOnce) {
  generate(100000, 11);  // seven seconds apart: about eight days
  const uint32_t first_day = 1700000000 / 86400;
  for (uint32_t i = 0; i < 7; ++i) {
    const std::string from = time14_text((first_day + i) * 86400).substr(0, 8);
    const std::string to = time14_text((first_day + i + 2) * 86400).substr(0, 8);
    run_result r = copy("-f " + from + " -t " + to);
    ASSERT_EQ(r.exit_code, 0) << r.err;
  }
  run_result all = copy();
  EXPECT_EQ(all.exit_code, 0) << all.err;
  expect_equal();
}

// A run that finds another copy holding its groups waits, and says so; with -q it waits without
// a word (the line is a notice). The test holds every group itself and lets go only once the
// run is seen blocked on a hold (a waiter in /proc/locks), so the wait is certain, not timed.
TEST_F(RerunEndToEnd, WaitingForAnotherCopySaysSoExceptWithQuiet) {
  generate(300, 11);
  ASSERT_EQ(copy().exit_code, 0);  // leaves one hold file per group in the target
  const fs::path holds = target_ / ".repcopy-holds";
  for (const bool quiet : {false, true}) {
    for (const fs::path& f : rep_files(target_)) fs::remove(f);
    std::vector<std::unique_ptr<platform::file_hold>> held;
    for (const auto& entry : fs::directory_iterator(holds)) {
      held.push_back(std::make_unique<platform::file_hold>());
      ASSERT_EQ(held.back()->acquire(entry.path().u16string(), false), platform::file_hold::kHeld);
    }
    ASSERT_FALSE(held.empty());
    const std::string tag = quiet ? "quiet" : "loud";
    std::vector<std::string> arguments = {source_.string(), target_.string()};
    if (quiet) arguments.insert(arguments.begin(), "-q");
    const pid_t run = start(arguments, tag);
    // Blocked requests are listed with "->" and the waiter's process id.
    const std::regex waiter("-> FLOCK +ADVISORY +WRITE +" + std::to_string(run) + " ");
    bool waiting = false;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!waiting && std::chrono::steady_clock::now() < give_up) {
      waiting = std::regex_search(read_text("/proc/locks"), waiter);
      if (!waiting) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(waiting) << tag << ": " << read_text("/proc/locks");
    held.clear();  // the other copy is done
    EXPECT_EQ(wait_exit(run), 0) << read_text(dir_ / (tag + ".err"));
    const std::string out = read_text(dir_ / (tag + ".out"));
    const std::string err = read_text(dir_ / (tag + ".err"));
    if (quiet) {
      EXPECT_EQ(out, "");
      EXPECT_EQ(without_sanitizer_notice(err), "");
    } else {
      EXPECT_NE(err.find("Waiting for another copy into this target to finish with computer "),
                std::string::npos)
          << err;
    }
    expect_equal();
  }
}

// Two runs started at once into one target: every event once.
TEST_F(RerunEndToEnd, TwoRunsAtOnceNeverDuplicate) {
  generate(30000, 11);
  const pid_t a = start({source_.string(), target_.string()}, "a");
  const pid_t b = start({source_.string(), target_.string()}, "b");
  EXPECT_EQ(wait_exit(a), 0) << read_text(dir_ / "a.err");
  EXPECT_EQ(wait_exit(b), 0) << read_text(dir_ / "b.err");
  expect_equal();
}

// Three shards started at once into one target: they hold disjoint groups and copy everything.
TEST_F(RerunEndToEnd, ThreeShardsAtOnceCopyEverythingOnce) {
  generate(30000, 11);
  std::vector<pid_t> runs;
  for (int k = 0; k < 3; ++k) {
    runs.push_back(start({"--shard", std::to_string(k) + "/3", source_.string(), target_.string()},
                         "shard" + std::to_string(k)));
  }
  for (int k = 0; k < 3; ++k) {
    const std::string err = read_text(dir_ / ("shard" + std::to_string(k) + ".err"));
    EXPECT_EQ(wait_exit(runs[size_t(k)]), 0) << err;
  }
  for (int k = 0; k < 3; ++k) {
    // Disjoint computers: no shard waited for another's hold.
    EXPECT_EQ(read_text(dir_ / ("shard" + std::to_string(k) + ".err")).find("Waiting for"),
              std::string::npos);
  }
  expect_equal();
}

// --allow-duplicates writes every event, so two such runs hold every event twice.
TEST_F(RerunEndToEnd, AllowDuplicatesWritesEveryEventEachTime) {
  generate(3000, 11);
  ASSERT_EQ(copy("--allow-duplicates").exit_code, 0);
  run_result second = copy("--allow-duplicates");
  ASSERT_EQ(second.exit_code, 0) << second.err;
  EXPECT_EQ(second.out.find("Already in the target"), std::string::npos);
  std::vector<full_event> doubled;
  for (const full_event& e : read_repository(source_)) doubled.insert(doubled.end(), 2, e);
  const std::vector<full_event> target = read_repository(target_);
  EXPECT_TRUE(std::is_permutation(target.begin(), target.end(), doubled.begin(), doubled.end()));
}

}  // namespace
}  // namespace repcopy::e2e
