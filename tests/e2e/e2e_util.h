#pragma once
// Helpers for the end-to-end tests: run the built executables, snapshot trees, read every event
// of a repository back with our own reader.

#include <gtest/gtest.h>
#include <unistd.h>
#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "model/full_event.h"
#include "platform/platform.h"
#include "source/rep_source2.h"
#include "tests/container/rep_file_bytes.h"
#include "tests/process_util.h"
#include "tests/temp_tree.h"
#include "tests/test_console.h"
#include "util/text.h"

namespace repcopy::e2e {

namespace fs = std::filesystem;

struct run_result {
  int exit_code = -1;
  std::string out;
  std::string err;
};

using testutil::put;
using testutil::read_text;

// Runs a shell command with standard output and error captured in files of dir.
inline run_result run_command(const std::string& command, const fs::path& dir) {
  fs::path out = dir / "stdout.txt", err = dir / "stderr.txt";
  run_result r;
  r.exit_code = testutil::run_shell(command + " >" + testutil::quoted(out.string()) + " 2>" +
                                    testutil::quoted(err.string()));
  r.out = read_text(out);
  r.err = read_text(err);
  fs::remove(out);
  fs::remove(err);
  return r;
}

inline std::string quoted(const fs::path& p) { return testutil::quoted(p.string()); }

// The lock files by which runs into one target hold a computer and data source against each
// other: the only files besides repository files that a copy leaves in a target.
inline bool is_hold_file(const fs::path& relative) {
  return relative.generic_string().rfind(".repcopy-holds/", 0) == 0 ||
         relative.generic_string().find("/.repcopy-holds/") != std::string::npos;
}

// Every regular file below root with its bytes (lock files left out).
inline std::map<std::string, std::string> snapshot(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const fs::path& rel : testutil::files_below(root)) {
    if (is_hold_file(rel)) continue;
    files[rel.generic_string()] = read_text(root / rel);
  }
  return files;
}

// The content of an event without the cache record numbers, which every writer renumbers.
inline full_event content_of(full_event e) {
  e.src_index = e.cat_index = e.comp_index = e.user_index = e.desc_index = 0;
  for (auto& s : e.strings) s.cache_index = 0;
  for (auto& f : e.named_fields) f.name_index = f.value_index = 0;
  return e;
}

// Every event of a repository (hot part, then main part), in a stable order for comparison.
inline std::vector<full_event> read_repository(const fs::path& root) {
  std::vector<full_event> events;
  const std::u16string wide_root = root.u16string();
  for (uint32_t mode : {RepSource2::kModeHot, RepSource2::kModeMain}) {
    RepSource2 source(test_console(), wide_root, mode);
    for (stored_event e; source.next_stored(e) == 0;) events.push_back(content_of(e.to_full_event()));
  }
  std::sort(events.begin(), events.end(), [](const full_event& a, const full_event& b) {
    return std::tie(a.record_key, a.event_time, a.under_data_source) <
           std::tie(b.record_key, b.event_time, b.under_data_source);
  });
  return events;
}

// Standard error without the notice an AddressSanitizer build prints with its process id.
inline std::string without_sanitizer_notice(const std::string& err) {
  std::istringstream in(err);
  std::string kept;
  for (std::string line; std::getline(in, line);)
    if (line.rfind("==", 0) != 0) kept += line + "\n";
  return kept;
}

// The repository files below root (none when it does not exist).
inline std::vector<fs::path> rep_files(const fs::path& root) {
  std::vector<fs::path> out;
  std::error_code ec;
  if (!fs::exists(root, ec)) return out;
  for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::end(it); it.increment(ec)) {
    if (it->path().extension() == ".rep") out.push_back(it->path());
  }
  return out;
}

// A sound repository file of three events whose record keys are first, first + 1, first + 2.
inline test::bytes rep_file(uint32_t first, const std::u16string& computer = u"WS01") {
  test::test_part p = test::sample_part();
  p.keys = {first, first + 1, first + 2};
  return test::rep_file_builder().windows(computer, u"CORP").part(p).build();
}

#if !defined(_WIN32)
// Writes b as "a.rep" levels deep below dir, level by level from an open directory: the whole
// path may pass what the system takes in one call.
inline void put_deep(const fs::path& dir, int levels, const std::string& level,
                     const test::bytes& b) {
  fs::create_directories(dir);
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < levels && fd >= 0; ++i) {
    ::mkdirat(fd, level.c_str(), 0755);
    const int next = ::openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = next;
  }
  ASSERT_GE(fd, 0);
  const int file = ::openat(fd, "a.rep", O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(::write(file, b.data(), b.size()), ssize_t(b.size()));
  ::close(file);
  ::close(fd);
}

// "nobody" can run the executable and read the tree only when every level above is open to it.
inline bool can_drop_privileges(const fs::path& dir) {
  if (::geteuid() != 0) return false;
  return std::system(("setpriv --reuid=65534 --regid=65534 --clear-groups test -r " +
                      testutil::repcopy_program() + " -a -x " + quoted(dir) + " 2>/dev/null")
                         .c_str()) == 0;
}
#endif

// A scratch directory for each test, with "source" and "target" paths in it; the executables
// run in it. Its name is short: the deepest trees need nearly all of the system's path limit.
class e2e_test : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = testutil::temp_path("rc" + std::to_string(::getpid()));
    testutil::remove_tree(dir_);
    fs::create_directories(dir_);
    source_ = dir_ / "source";
    target_ = dir_ / "target";
  }
  void TearDown() override {
    // Directories a test made unreadable are opened again before the removal.
    std::error_code ec;
    if (!platform::kWindows) {
      for (auto it = fs::recursive_directory_iterator(dir_, ec); it != fs::end(it);
           it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    testutil::remove_tree(dir_);
  }

  // repgen's events, made from seed with its options, into where (the source when empty).
  void generate(int events, int seed = 7, const fs::path& where = {},
                const std::string& options = "") {
    const run_result r = run_command(testutil::repgen_program() + " " + options + " " +
                                         quoted(where.empty() ? source_ : where) + " " +
                                         std::to_string(events) + " " + std::to_string(seed),
                                     dir_);
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  }
  run_result repcopy(const std::string& arguments) {
    return run_command(testutil::repcopy_program() + " " + arguments, dir_);
  }
  // repcopy with the options, from the source (or from) into the target (or to).
  run_result copy(const std::string& options = "", const fs::path& from = {},
                  const fs::path& to = {}) {
    return repcopy(options + " " + quoted(from.empty() ? source_ : from) + " " +
                   quoted(to.empty() ? target_ : to));
  }
#if !defined(_WIN32)
  // Starts repcopy with the arguments, its outputs in the files <tag>.out and <tag>.err.
  pid_t start(const std::vector<std::string>& arguments, const std::string& tag = "run") {
    return testutil::start_program(REPCOPY_BIN, arguments, (dir_ / (tag + ".out")).string(),
                                   (dir_ / (tag + ".err")).string());
  }
  // Waits until the target holds at least files repository files; false when the process has
  // ended first (it is reaped then).
  bool wait_for_files(pid_t pid, size_t files) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (rep_files(target_).size() < files && std::chrono::steady_clock::now() < give_up) {
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }
  // The exit code, or 128 + the signal that ended the process.
  static int wait_exit(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
#endif

  fs::path dir_, source_, target_;
};

}  // namespace repcopy::e2e
