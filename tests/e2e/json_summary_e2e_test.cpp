// End-to-end: the JSON summary as a monitor reads it. Every way a run ends leaves a complete
// summary whose exit code is the process's and whose cause is counted; a killed run leaves the
// previous summary whole; the README documents every field a summary holds.

#include <gtest/gtest.h>

#if !defined(_WIN32)

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <thread>

#include "tests/container/rep_file_bytes.h"
#include "tests/e2e/e2e_util.h"

namespace repcopy::e2e {
namespace {

using json = nlohmann::json;
using test::bytes;

bytes rep_file(uint32_t first, const std::u16string& computer = u"WS01") {
  test::test_part p = test::sample_part();
  p.keys = {first, first + 1, first + 2};
  return test::rep_file_builder().windows(computer, u"CORP").part(p).build();
}

void put(const fs::path& p, const bytes& b) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary)
      .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

// "nobody" can run the executable and read the tree only when every level above is open to it.
bool can_drop_privileges(const fs::path& dir) {
  if (::geteuid() != 0) return false;
  return std::system(("setpriv --reuid=65534 --regid=65534 --clear-groups test -r " +
                      std::string(REPCOPY_BIN) + " -a -x " + quoted(dir) + " 2>/dev/null")
                         .c_str()) == 0;
}

// The top-level fields and those one level down ("object.field").
std::set<std::string> field_names(const json& j) {
  std::set<std::string> names;
  for (const auto& [key, value] : j.items()) {
    names.insert(key);
    if (value.is_object()) {
      for (const auto& [sub, unused] : value.items()) names.insert(key + "." + sub);
    }
  }
  return names;
}

// The names in the first column of the README's field table under "### JSON summary".
std::set<std::string> documented_fields() {
  const std::string readme = read_text(fs::path(REPCOPY_SOURCE_DIR) / "README.md");
  const size_t start = readme.find("### JSON summary\n");
  const size_t end = readme.find("\n## ", start);
  const std::string section = readme.substr(start, end - start);
  std::set<std::string> names;
  static const std::regex row("\n\\| `([a-z_.]+)` \\|");
  for (std::sregex_iterator it(section.begin(), section.end(), row), e; it != e; ++it) {
    names.insert((*it)[1]);
  }
  return names;
}

class JsonSummaryEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    // Short: the deep tree needs nearly all of the system's path limit.
    dir_ = fs::path("/tmp") / ("rjs" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::permissions(dir_, fs::perms::all);
    source_ = dir_ / "s";
    target_ = dir_ / "t";
    json_ = dir_ / "summary.json";
  }
  void TearDown() override {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir_, ec); it != fs::end(it); it.increment(ec))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }
  // Starts repcopy with its outputs in files; returns the process id.
  pid_t start(const std::vector<std::string>& arguments) {
    const std::string out = (dir_ / "out.txt").string(), err = (dir_ / "err.txt").string();
    return testutil::start_program(REPCOPY_BIN, arguments, out, err);
  }
  void generate(const fs::path& where, int events) {
    run_result r = run_command(
        std::string(REPGEN_BIN) + " " + quoted(where) + " " + std::to_string(events) + " 7", dir_);
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  }
  // Waits until the target holds a finished repository file.
  void wait_for_a_file() {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (bool found = false; !found && std::chrono::steady_clock::now() < give_up;) {
      std::error_code ec;
      for (auto it = fs::recursive_directory_iterator(target_, ec); !ec && it != fs::end(it);
           it.increment(ec)) {
        found = found || it->path().extension() == ".rep";
      }
      if (!found) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  fs::path dir_, source_, target_, json_;
};

struct exit_case {
  const char* name;
  std::function<void(const fs::path& source, const fs::path& target)> build;
  std::string options;  // before the paths
  int exit_code;
  json::json_pointer cause;  // a count that is not 0 or a text that is not null
  bool unprivileged = false;
  bool missing_source = false;
  std::string target_text = {};  // the target as typed, from the test's directory
};

TEST_F(JsonSummaryEndToEnd, EveryExitLeavesACompleteSummaryWithItsCodeAndCause) {
  const auto sound = [](const fs::path& s, const fs::path&) {
    put(s / "Environment$/A/a.rep", rep_file(10));
  };
  const exit_case cases[] = {
      {"everything copied", sound, "", 0, json::json_pointer("/events/written")},
      {"usage error", sound, "-d 1 -r 2", 2, json::json_pointer("/error")},
      {"missing source", sound, "", 2, json::json_pointer("/error"), false, true},
      {"damaged source file",
       [&](const fs::path& s, const fs::path& t) {
         sound(s, t);
         put(s / "Environment$/B/bad.rep", bytes(600, 0));
       },
       "", 3, json::json_pointer("/not_copied/damaged_source_files")},
      {"unreadable file",
       [&](const fs::path& s, const fs::path& t) {
         sound(s, t);
         put(s / "Environment$/B/locked.rep", rep_file(20));
         fs::permissions(s / "Environment$/B/locked.rep", fs::perms::none);
       },
       "", 3, json::json_pointer("/not_copied/unreadable_source_files"), true},
      {"unreadable directory",
       [&](const fs::path& s, const fs::path& t) {
         sound(s, t);
         put(s / "Environment$/L/C/locked.rep", rep_file(20));
         fs::permissions(s / "Environment$/L", fs::perms::none);
       },
       "", 3, json::json_pointer("/not_copied/unreadable_source_directories"), true},
      {"path too long",
       [&](const fs::path& s, const fs::path& t) {
         sound(s, t);
         // Level by level from an open directory: the whole path passes the system's limit.
         int fd = ::open((s / "Environment$").c_str(), O_RDONLY | O_DIRECTORY);
         const std::string level(200, 'd');
         for (int i = 0; i < 22 && fd >= 0; ++i) {
           ::mkdirat(fd, level.c_str(), 0755);
           const int next = ::openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY);
           ::close(fd);
           fd = next;
         }
         ASSERT_GE(fd, 0);
         const bytes b = rep_file(40);
         const int file = ::openat(fd, "a.rep", O_WRONLY | O_CREAT, 0644);
         ASSERT_EQ(::write(file, b.data(), b.size()), ssize_t(b.size()));
         ::close(file);
         ::close(fd);
       },
       "", 3, json::json_pointer("/not_copied/source_paths_skipped")},
      {"name the target cannot take",
       [&](const fs::path& s, const fs::path& t) {
         sound(s, t);
         put(s / "Environment$/N/n.rep", rep_file(50, std::u16string(300, u'N')));
       },
       "", 3, json::json_pointer("/not_copied/source_files_with_names_the_target_cannot_take")},
      {"oversized event",
       [&](const fs::path& s, const fs::path& t) {
         sound(s, t);
         // One event whose data alone passes the batch's byte limit (25 000 000 bytes).
         test::test_part p = test::sample_part();
         p.events[2].data.assign(25000001, 7);
         p.keys = {60, 61, 62};
         put(s / "Environment$/O/o.rep",
             test::rep_file_builder().windows(u"WS01", u"CORP").part(p).build());
       },
       "", 3, json::json_pointer("/not_copied/oversized_events_dropped")},
      // More ".." than the current directory has components: a fatal stop.
      {"fatal stop", sound, "", 255, json::json_pointer("/error"), false, false,
       "../../../../../../../../x"},
      {"batch not written",
       [&](const fs::path& s, const fs::path& t) {
         sound(s, t);
         fs::create_directories(t);
         std::ofstream(t / "Environment$") << "a file where a directory must go";
       },
       "", 3, json::json_pointer("/not_copied/batches_not_written")},
      {"events not written",
       [&](const fs::path& s, const fs::path& t) {
         sound(s, t);
         fs::create_directories(t);
         std::ofstream(t / "Environment$") << "a file where a directory must go";
       },
       "", 3, json::json_pointer("/not_copied/events_not_written")},
  };
  const bool unprivileged_possible = can_drop_privileges(dir_);
  for (const exit_case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    if (c.unprivileged && !unprivileged_possible) {
      std::cout << "[ SKIPPED  ] " << c.name << ": cannot run as an ordinary user here\n";
      continue;
    }
    c.build(source_, target_);
    // A previous summary that must be replaced.
    std::ofstream(json_) << R"({"exit_code": 0})";
    if (c.unprivileged) fs::permissions(json_, fs::perms::all);
    const fs::path source = c.missing_source ? dir_ / "missing" : source_;
    std::string command = std::string(REPCOPY_BIN) + " --json " + quoted(json_) + " " + c.options +
                          " " + quoted(source) + " " +
                          (c.target_text.empty() ? quoted(target_) : c.target_text);
    if (!c.target_text.empty()) command = "cd " + quoted(dir_) + " && " + command;
    if (c.unprivileged) command = "setpriv --reuid=65534 --regid=65534 --clear-groups " + command;
    run_result r = run_command(command, dir_);
    EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
    const json j = json::parse(read_text(json_), nullptr, false);
    ASSERT_FALSE(j.is_discarded()) << read_text(json_);
    EXPECT_EQ(j["exit_code"], r.exit_code);
    EXPECT_EQ(j["schema_version"], 2);
    EXPECT_FALSE(fs::exists(json_.string() + ".tmp"));
    ASSERT_TRUE(j.contains(c.cause)) << j.dump();
    const json& cause = j[c.cause];
    EXPECT_TRUE(cause.is_string() || (cause.is_number() && cause.get<uint64_t>() > 0)) << j.dump();
    if (c.exit_code == 2) {
      // The refusal's line, as on standard error.
      EXPECT_NE(r.err.find(cause.get<std::string>()), std::string::npos) << r.err;
    }
    // Every field is documented; a copy that ran holds every documented field.
    const std::set<std::string> produced = field_names(j), documented = documented_fields();
    EXPECT_TRUE(
        std::includes(documented.begin(), documented.end(), produced.begin(), produced.end()))
        << j.dump(1);
    if (c.exit_code == 0) {
      EXPECT_EQ(produced, documented) << j.dump(1);
    }
  }
}

// SIGINT part-way: exit 130 and "interrupted"; then a run killed with -9 leaves that summary.
TEST_F(JsonSummaryEndToEnd, InterruptedAndKilledRuns) {
  generate(source_, 60000);
  pid_t pid =
      start({"--threads", "1", "--json", json_.string(), source_.string(), target_.string()});
  ASSERT_GT(pid, 0);
  wait_for_a_file();
  ::kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  const std::string interrupted = read_text(json_);
  const json j = json::parse(interrupted);
  EXPECT_EQ(j["exit_code"], 130);
  EXPECT_EQ(j["interrupted"], true);
  EXPECT_EQ(j["target"], target_.string());

  fs::remove_all(target_);
  pid = start({"--threads", "1", "--json", json_.string(), source_.string(), target_.string()});
  ASSERT_GT(pid, 0);
  wait_for_a_file();
  ::kill(pid, SIGKILL);
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_EQ(read_text(json_), interrupted);
}

}  // namespace
}  // namespace repcopy::e2e

#endif  // !_WIN32
