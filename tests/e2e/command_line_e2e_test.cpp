// End-to-end: the repcopy executable as scripts and terminals meet it: exit codes, refusals that
// touch nothing, a stop signal part-way, the dry run, the JSON summary and the progress line.

#include <gtest/gtest.h>

#if !defined(_WIN32)

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <thread>

#include "source/rep_file_source.h"
#include "tests/e2e/e2e_util.h"
#include "tests/test_console.h"
#include "util/text.h"

namespace repcopy::e2e {
namespace {

using json = nlohmann::json;

class CommandLineEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() / ("repcopy-cli-" + std::to_string(::getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    source_ = dir_ / "source";
    target_ = dir_ / "target";
  }
  void TearDown() override { fs::remove_all(dir_); }

  void generate(int events, int seed = 7) {
    run_result r = run_command(std::string(REPGEN_BIN) + " " + quoted(source_) + " " +
                                   std::to_string(events) + " " + std::to_string(seed),
                               dir_);
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  }
  run_result repcopy(const std::string& arguments) {
    return run_command(std::string(REPCOPY_BIN) + " " + arguments, dir_);
  }
  // Runs repcopy with the arguments, its outputs going to files; returns the process id.
  pid_t start(const std::vector<std::string>& arguments) {
    const std::string out = (dir_ / "out.txt").string(), err = (dir_ / "err.txt").string();
    return testutil::start_program(REPCOPY_BIN, arguments, out, err);
  }

  fs::path dir_, source_, target_;
};

// Every "<total> (<pending>)" line of the summary tree, added up.
uint64_t tree_total(const std::string& out) {
  static const std::regex line("\n\t\t\t\t([0-9]+) \\(([0-9]+)\\)");
  uint64_t total = 0;
  for (std::sregex_iterator it(out.begin(), out.end(), line), end; it != end; ++it) {
    total += std::stoull((*it)[1]);
  }
  return total;
}

// Repository files below root and their bytes.
std::pair<uint64_t, uint64_t> rep_files(const fs::path& root) {
  uint64_t files = 0, bytes = 0;
  if (!fs::exists(root)) return {0, 0};
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file() && e.path().extension() == ".rep") {
      ++files;
      bytes += e.file_size();
    }
  }
  return {files, bytes};
}

TEST_F(CommandLineEndToEnd, EveryUsageErrorExitsTwoNamesItsArgumentAndTouchesNothing) {
  generate(300);
  fs::create_directories(target_);
  std::ofstream(target_ / "keep.txt") << "kept";
  std::ofstream(dir_ / "plain") << "x";
  const std::string s = quoted(source_), t = quoted(target_), d = dir_.string();
  const std::pair<std::string, std::string> cases[] = {
      {"", "No source and target repository paths given"},
      {"-x " + s + " " + t, "repcopy: unknown option, -x"},
      {"--bogus " + s + " " + t, "repcopy: unknown option, --bogus"},
      {"--quiet=1 " + s + " " + t, "repcopy: option takes no argument, --quiet"},
      {"-d", "repcopy: argument missing for -d"},
      {"--json", "repcopy: argument missing for --json"},
      {"-d 1 -r 2 " + s + " " + t, "Wrong filter configuration!"},
      {"-f 202613 " + s + " " + t, "Invalid date for -f: 202613"},
      {"--threads 0 " + s + " " + t, "Invalid number for --threads: 0"},
      {s + " " + t + " -v", "Option after the paths: -v"},
      {t, "Expected a source and a target repository path after the options, found 1"},
      {"-i 4624, 4625 " + s + " " + t, "found 3: 4625 "},
      {"--dry-run " + s, "found 1"},
      {"'" + d + "/missing' " + t, "Source repository not found: " + d + "/missing"},
      {"'" + d + "/plain' " + t, "Source repository is not a directory: " + d + "/plain"},
      {t + " '" + d + "/new'", "Source is not a repository (no Environment$ or Hot$/Environment$"},
      {s + " '" + d + "/plain'", "Target repository is not a directory: " + d + "/plain"},
      {s + " " + s, "Source and target are the same directory"},
      {s + " '" + d + "/../" + dir_.filename().string() + "/source/copy'",
       "lies inside the source repository"},
      {s + " '" + d + "'", "lies inside the target repository"},
      {"-f 20231115 -t 20231114 " + s + " " + t,
       "Invalid dates: -f 20231115 (2023-11-15 00:00:00 UTC) is later than -t 20231114"},
      {s + " '" + d + "/plain/sub/target'",
       "Target repository cannot be written: " + d + "/plain: Not a directory"},
      {"--json '" + d + "/no/such/dir/x.json' " + s + " " + t, "Can't create the JSON file"}};
  const auto before = snapshot(dir_);
  for (const auto& [arguments, line] : cases) {
    run_result r = repcopy(arguments);
    EXPECT_EQ(r.exit_code, 2) << arguments;
    EXPECT_NE(r.err.find(line), std::string::npos) << arguments << "\n" << r.err;
    EXPECT_EQ(snapshot(dir_), before) << arguments;
  }
  // The usage follows each refusal but the last, which is not a usage mistake.
  EXPECT_EQ(repcopy(s).out.rfind("Makes events copy from source repository to target one.\n", 0),
            0u);
}

TEST_F(CommandLineEndToEnd, HelpAndVersionExitZero) {
  for (const char* option : {"-h", "--help"}) {
    run_result r = repcopy(option);
    EXPECT_EQ(r.exit_code, 0) << option;
    EXPECT_NE(r.out.find("--threads <N>"), std::string::npos) << option;
  }
  run_result r = repcopy("--version");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(std::regex_match(r.out, std::regex("repcopy - event repository copy [0-9.]+\n")))
      << r.out;
}

// A target on a read-only file system is refused before anything is read: one line naming the
// nearest existing directory and the system's reason, exit 2.
TEST_F(CommandLineEndToEnd, ReadOnlyTargetIsRefusedBeforeReading) {
  generate(300);
  const fs::path mount_point = dir_ / "ro";
  fs::create_directories(mount_point);
  if (std::system(
          ("mount -t tmpfs -o ro,size=1m tmpfs " + quoted(mount_point) + " 2>/dev/null").c_str()) !=
      0) {
    GTEST_SKIP() << "cannot mount a read-only file system here";
  }
  for (const fs::path& target : {mount_point, mount_point / "new" / "target"}) {
    SCOPED_TRACE(target);
    run_result r =
        repcopy("--json " + quoted(dir_ / "j.json") + " " + quoted(source_) + " " + quoted(target));
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find("\nTarget repository cannot be written: " + mount_point.string() +
                         ": Read-only file system\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("Datasource"), std::string::npos) << r.err;  // nothing was read
    EXPECT_EQ(json::parse(read_text(dir_ / "j.json"))["exit_code"], 2);
  }
  std::system(("umount " + quoted(mount_point)).c_str());
}

// SIGINT while batches are being written: exit 130, no partial or damaged file, and the summary
// tree counts exactly the events in the target.
TEST_F(CommandLineEndToEnd, InterruptPartWayLeavesOnlyWholeFilesAndCountsThem) {
  generate(100000);
  const pid_t pid = start({"--threads", "1", source_.string(), target_.string()});
  ASSERT_GT(pid, 0);
  // Wait for the first finished file, then interrupt.
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (rep_files(target_).first == 0 && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ::kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  const std::string out = read_text(dir_ / "out.txt"), err = read_text(dir_ / "err.txt");
  EXPECT_NE(err.find("Copy interrupted"), std::string::npos) << err;
  EXPECT_NE(err.find("Copy incomplete: "), std::string::npos) << err;

  size_t events = 0, partial = 0;
  copy_outcome outcome;
  for (const auto& e : fs::recursive_directory_iterator(target_)) {
    if (!e.is_regular_file() || is_hold_file(fs::relative(e.path(), target_))) continue;
    if (e.path().extension() != ".rep") ++partial;
    process_repository_file(test_console(), e.path().string(), nullptr, &outcome,
                            [&](const full_event&) { ++events; });
  }
  EXPECT_EQ(partial, 0u);
  EXPECT_EQ(outcome.damaged_files(), 0u);
  EXPECT_GT(events, 0u);
  EXPECT_LT(events, 100000u);  // the copy was stopped part-way
  EXPECT_EQ(tree_total(out), events) << out;
}

// A dry run creates nothing and reports what the real copy then writes.
TEST_F(CommandLineEndToEnd, DryRunWritesNothingAndReportsWhatTheCopyWrites) {
  generate(3000);
  const auto source_before = snapshot(source_);
  const std::string paths = quoted(source_) + " " + quoted(target_);
  run_result dry = repcopy("-n --json " + quoted(dir_ / "dry.json") + " " + paths);
  ASSERT_EQ(dry.exit_code, 0) << dry.err;
  EXPECT_FALSE(fs::exists(target_));
  EXPECT_EQ(snapshot(source_), source_before);
  run_result real = repcopy("--json " + quoted(dir_ / "real.json") + " " + paths);
  ASSERT_EQ(real.exit_code, 0) << real.err;

  const auto [files, bytes] = rep_files(target_);
  ASSERT_GT(files, 0u);
  EXPECT_NE(dry.out.find("Dry run: " + std::to_string(files) + " file(s) with " +
                         std::to_string(bytes) + " byte(s) would be written\n"),
            std::string::npos)
      << dry.out;
  EXPECT_EQ(tree_total(dry.out), tree_total(real.out));
  EXPECT_EQ(tree_total(dry.out), read_repository(target_).size());
  json d = json::parse(read_text(dir_ / "dry.json")),
       c = json::parse(read_text(dir_ / "real.json"));
  EXPECT_EQ(d["dry_run"], true);
  EXPECT_EQ(std::tie(d["files_written"], d["bytes_written"], d["events"], d["batches"],
                     d["source_files"], d["summary"]),
            std::tie(c["files_written"], c["bytes_written"], c["events"], c["batches"],
                     c["source_files"], c["summary"]));
  EXPECT_EQ(c["files_written"], files);
  EXPECT_EQ(c["bytes_written"], bytes);
}

// "--json -": standard output holds the JSON alone; its counts are the summary tree's and the
// target's.
TEST_F(CommandLineEndToEnd, JsonOnStandardOutputMatchesTheTreeAndTheTarget) {
  generate(2000);
  run_result tree = repcopy(quoted(source_) + " " + quoted(dir_ / "first"));
  ASSERT_EQ(tree.exit_code, 0);
  run_result r = repcopy("--json - -i 4600,4601,4624 " + quoted(source_) + " " + quoted(target_));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  json j = json::parse(r.out);  // throws when anything else is on standard output
  const size_t copied = read_repository(target_).size();
  uint64_t tree_sum = 0;
  for (const auto& domain : j["summary"]["domains"])
    for (const auto& computer : domain["computers"])
      for (const auto& ds : computer["data_sources"]) tree_sum += ds["events"].get<uint64_t>();
  EXPECT_EQ(j["events"]["written"], copied);
  EXPECT_EQ(j["events"]["passed_filters"], copied);
  EXPECT_EQ(tree_sum, copied);
  EXPECT_EQ(j["exit_code"], 0);
  EXPECT_EQ(j["not_copied"]["damaged_source_files"], 0);
  EXPECT_EQ(j["files_written"], rep_files(target_).first);

  // Without the filter: the same totals as the printed tree.
  run_result all = repcopy("--json - " + quoted(source_) + " " + quoted(dir_ / "second"));
  json k = json::parse(all.out);
  EXPECT_EQ(k["events"]["written"], tree_total(tree.out));
  EXPECT_EQ(k["events"]["read"], tree_total(tree.out));
}

// -q: nothing on standard output and, over a sound source, nothing on standard error (no banner,
// no notices); over a damaged source only the warning and error lines. With -n the dry-run line
// is the result asked for and still printed.
TEST_F(CommandLineEndToEnd, QuietPrintsOnlyWarningsAndErrors) {
  generate(300);
  run_result r = repcopy("-q -v " + quoted(source_) + " " + quoted(target_));
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(without_sanitizer_notice(r.err), "");
  EXPECT_EQ(read_repository(target_).size(), 300u);

  run_result dry = repcopy("-q -n " + quoted(source_) + " " + quoted(dir_ / "dry"));
  EXPECT_EQ(dry.exit_code, 0);
  EXPECT_TRUE(std::regex_match(
      dry.out,
      std::regex("Dry run: [0-9]+ file\\(s\\) with [0-9]+ byte\\(s\\) would be written\n")))
      << dry.out;
  EXPECT_EQ(without_sanitizer_notice(dry.err), "");

  std::ofstream(source_ / "Environment$" / "bad.rep", std::ios::binary) << std::string(600, '\0');
  run_result damaged = repcopy("-q " + quoted(source_) + " " + quoted(dir_ / "second"));
  damaged.err = without_sanitizer_notice(damaged.err);
  EXPECT_EQ(damaged.exit_code, 3);
  EXPECT_EQ(damaged.out, "");
  static const std::regex warning_or_error(
      "(Damaged source file [^\n]*|\\(b\\)some problem in file: [^\n]*|Written: [^\n]*|"
      "Already in the target, not copied: [^\n]*|Copy incomplete: [^\n]*)\n");
  size_t lines = 0;
  for (std::sregex_iterator it(damaged.err.begin(), damaged.err.end(), warning_or_error), end;
       it != end; ++it) {
    lines += it->length();
  }
  EXPECT_EQ(lines, damaged.err.size()) << damaged.err;
  EXPECT_NE(damaged.err.find("Damaged source file"), std::string::npos) << damaged.err;
}

// --log: every line of the run with its UTC time and kind, whatever -q says, appended run after
// run; the console keeps -q's rules.
TEST_F(CommandLineEndToEnd, LogKeepsEveryLineWithTimeAndKind) {
  generate(300);
  std::ofstream(source_ / "Environment$" / "bad.rep", std::ios::binary) << std::string(600, '\0');
  const fs::path log = dir_ / "run.log";
  run_result quiet =
      repcopy("-q -d 9999x --log " + quoted(log) + " " + quoted(source_) + " " + quoted(target_));
  EXPECT_EQ(quiet.exit_code, 3);
  EXPECT_EQ(quiet.out, "");
  EXPECT_EQ(quiet.err.find("Datasource name not found"), std::string::npos) << quiet.err;
  const std::string first = read_text(log);
  static const std::regex stamp(
      "[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}Z "
      "(summary|notice|warning|error) [^\n]*\n");
  size_t matched = 0;
  for (std::sregex_iterator it(first.begin(), first.end(), stamp), end; it != end; ++it) {
    matched += it->length();
  }
  EXPECT_EQ(matched, first.size()) << first;
  for (const char* line : {" notice Datasource name not found: ", " warning Damaged source file ",
                           " warning -d: \"9999x\" read as 9999\n", " error Copy incomplete: "}) {
    EXPECT_NE(first.find(line), std::string::npos) << line << "\n" << first;
  }
  // A usage error, written past the streams by the option parser, is logged and appended.
  run_result wrong =
      repcopy("--log " + quoted(log) + " -x " + quoted(source_) + " " + quoted(dir_ / "other"));
  EXPECT_EQ(wrong.exit_code, 2);
  const std::string both = read_text(log);
  EXPECT_EQ(both.rfind(first, 0), 0u);
  EXPECT_NE(both.find(" notice repcopy - event repository copy", first.size()), std::string::npos)
      << both;
  EXPECT_NE(
      both.find(" error " + std::string(REPCOPY_BIN) + ": unknown option, -x\n", first.size()),
      std::string::npos)
      << both;
  run_result unwritable = repcopy("--log " + quoted(dir_ / "no" / "such" / "x.log") + " " +
                                  quoted(source_) + " " + quoted(dir_ / "other"));
  EXPECT_EQ(unwritable.exit_code, 2);
  EXPECT_NE(unwritable.err.find("Can't open the log file "), std::string::npos) << unwritable.err;
}

// On a terminal 60 columns wide, with lines printed while the copy runs (notices on standard
// output, a damaged file on standard error): no line shares a row with a progress fragment, no
// line is erased by one, and no progress row is wider than the terminal.
TEST_F(CommandLineEndToEnd, ProgressLineAndOutputLinesNeverShareARow) {
  generate(3000);
  std::ofstream(source_ / "Environment$" / "bad.rep", std::ios::binary) << std::string(600, '\0');
  int master = -1;
  winsize size{};
  size.ws_row = 24;
  size.ws_col = 60;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, &size);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::execl(REPCOPY_BIN, REPCOPY_BIN, "--threads", "1", source_.c_str(), target_.c_str(), nullptr);
    ::_exit(127);
  }
  std::string screen;
  char buf[4096];
  for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;) screen.append(buf, size_t(n));
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ::close(master);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3);
  static const std::regex progress("[0-9]+% .*");
  static const std::regex fragment(
      "[0-9]+% ([0-9]+/[0-9]+ files, events|events [^ ]+ read|[^ ]+ written, [0-9.]+ MB/s)");
  const std::string clear = "\r\033[K";
  size_t progress_pieces = 0;
  size_t row_start = 0;
  while (row_start < screen.size()) {
    size_t row_end = screen.find('\n', row_start);
    if (row_end == std::string::npos) row_end = screen.size();
    const std::string row = screen.substr(row_start, row_end - row_start);
    row_start = row_end + 1;
    // The pieces of the row between clearings; all but the last were erased.
    std::vector<std::string> pieces;
    for (size_t at = 0;;) {
      const size_t next = row.find(clear, at);
      pieces.push_back(row.substr(at, next == std::string::npos ? std::string::npos : next - at));
      if (next == std::string::npos) break;
      at = next + clear.size();
    }
    for (size_t i = 0; i < pieces.size(); ++i) {
      std::string piece = pieces[i];
      if (!piece.empty() && piece.back() == '\r') piece.pop_back();
      if (std::regex_match(piece, progress)) {
        ++progress_pieces;
        EXPECT_LE(piece.size(), 60u) << piece;
        EXPECT_EQ(piece.find("Datasource"), std::string::npos) << piece;
        EXPECT_EQ(piece.find("Damaged"), std::string::npos) << piece;
      } else {
        EXPECT_FALSE(std::regex_search(piece, fragment)) << piece;
        // A line that was erased by a clearing before it was ended.
        EXPECT_TRUE(i + 1 == pieces.size() || piece.empty()) << piece;
      }
    }
  }
  EXPECT_GT(progress_pieces, 0u) << screen;
  EXPECT_NE(screen.find("Datasource name not found"), std::string::npos);
  EXPECT_NE(screen.find("Damaged source file"), std::string::npos);
}

// The progress line appears on a terminal and is cleared before the summary; never in a pipe.
TEST_F(CommandLineEndToEnd, ProgressOnATerminalOnly) {
  generate(3000);
  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::execl(REPCOPY_BIN, REPCOPY_BIN, source_.c_str(), target_.c_str(), nullptr);
    ::_exit(127);
  }
  std::string screen;
  char buf[4096];
  for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;) screen.append(buf, size_t(n));
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ::close(master);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const size_t summary = screen.find("Unknown\r\n");
  EXPECT_TRUE(std::regex_search(screen, std::regex("\r\033\\[K[0-9]+% [^\r\n]* written, ")))
      << screen;
  ASSERT_NE(summary, std::string::npos) << screen;
  // The progress line was cleared before the summary: nothing of it after the last clearing.
  const size_t last_clear = screen.rfind("\r\033[K", summary);
  ASSERT_NE(last_clear, std::string::npos);
  EXPECT_EQ(screen.substr(last_clear, summary - last_clear).find(" written, "), std::string::npos)
      << screen;

  run_result piped = repcopy(quoted(source_) + " " + quoted(dir_ / "piped"));
  EXPECT_EQ(piped.exit_code, 0);
  EXPECT_EQ(piped.err.find("\033[K"), std::string::npos);
  EXPECT_EQ(piped.err.find(" written, "), std::string::npos);
}

}  // namespace
}  // namespace repcopy::e2e

#endif  // !_WIN32
