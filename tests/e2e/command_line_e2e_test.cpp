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

class CommandLineEndToEnd : public e2e_test {};

// Every "<total> (<pending>)" line of the summary tree, added up.
uint64_t tree_total(const std::string& out) {
  static const std::regex line("\n\t\t\t\t([0-9]+) \\(([0-9]+)\\)");
  uint64_t total = 0;
  for (std::sregex_iterator it(out.begin(), out.end(), line), end; it != end; ++it) {
    total += std::stoull((*it)[1]);
  }
  return total;
}

// Whether text is nothing but lines that each match line.
bool only_lines(const std::string& text, const std::string& line) {
  const std::regex each("(" + line + ")\n");
  size_t matched = 0;
  for (std::sregex_iterator it(text.begin(), text.end(), each), end; it != end; ++it) {
    matched += it->length();
  }
  return matched == text.size();
}

// Repository files below root and their bytes.
std::pair<uint64_t, uint64_t> files_and_bytes(const fs::path& root) {
  uint64_t bytes = 0;
  const std::vector<fs::path> files = rep_files(root);
  for (const fs::path& f : files) bytes += fs::file_size(f);
  return {files.size(), bytes};
}

TEST_F(CommandLineEndToEnd, EveryUsageErrorExitsTwoNamesItsArgumentAndTouchesNothing) {
  generate(300);
  fs::create_directories(target_);
  std::ofstream(target_ / "keep.txt") << "kept";
  std::ofstream(dir_ / "plain") << "x";
  const std::string s = quoted(source_), t = quoted(target_), d = dir_.string();
  // The parser's and the path checks' refusals are tested on the run function; here one of
  // each, and the checks made by the run itself.
  const std::pair<std::string, std::string> cases[] = {
      {"-x " + s + " " + t, "repcopy: unknown option, -x"},
      {"'" + d + "/missing' " + t, "Source repository not found: " + d + "/missing"},
      {s + " '" + d + "/../" + dir_.filename().string() + "/source/copy'",
       "lies inside the source repository"},
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

// SIGINT while batches are being written: exit 130, no partial or damaged file, the summary
// tree counts exactly the events in the target, and the JSON summary says "interrupted". A run
// then killed with -9 leaves that summary whole.
TEST_F(CommandLineEndToEnd, InterruptPartWayLeavesOnlyWholeFilesAndCountsThem) {
  generate(100000);
  const fs::path summary = dir_ / "j.json";
  const std::vector<std::string> arguments = {
      "--threads", "1", "--json", summary.string(), source_.string(), target_.string()};
  pid_t pid = start(arguments);
  ASSERT_GT(pid, 0);
  wait_for_files(pid, 1);
  ::kill(pid, SIGINT);
  EXPECT_EQ(wait_exit(pid), 130);
  const std::string out = read_text(dir_ / "run.out"), err = read_text(dir_ / "run.err");
  EXPECT_NE(err.find("Copy interrupted"), std::string::npos) << err;
  EXPECT_NE(err.find("Copy incomplete: "), std::string::npos) << err;
  const std::string interrupted = read_text(summary);
  const json j = json::parse(interrupted);
  EXPECT_EQ(j["exit_code"], 130);
  EXPECT_EQ(j["interrupted"], true);
  EXPECT_EQ(j["target"], target_.string());

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

  fs::remove_all(target_);
  pid = start(arguments);
  ASSERT_GT(pid, 0);
  wait_for_files(pid, 1);
  ::kill(pid, SIGKILL);
  wait_exit(pid);
  EXPECT_EQ(read_text(summary), interrupted);
}

// A dry run creates nothing and reports what the real copy then writes. "--json -": standard
// output holds the JSON alone, its counts those of the target; outside a terminal no progress.
TEST_F(CommandLineEndToEnd, DryRunWritesNothingAndReportsWhatTheCopyWrites) {
  generate(3000);
  const auto source_before = snapshot(source_);
  run_result dry = copy("-n --json " + quoted(dir_ / "dry.json"));
  ASSERT_EQ(dry.exit_code, 0) << dry.err;
  EXPECT_FALSE(fs::exists(target_));
  EXPECT_EQ(snapshot(source_), source_before);
  run_result real = copy("--json -");
  ASSERT_EQ(real.exit_code, 0) << real.err;
  for (const std::string& err : {dry.err, real.err}) {
    EXPECT_EQ(err.find("\033[K"), std::string::npos);
    EXPECT_EQ(err.find(" written, "), std::string::npos);
  }

  const auto [files, bytes] = files_and_bytes(target_);
  ASSERT_GT(files, 0u);
  EXPECT_NE(dry.out.find("Dry run: " + std::to_string(files) + " file(s) with " +
                         std::to_string(bytes) + " byte(s) would be written\n"),
            std::string::npos)
      << dry.out;
  const size_t copied = read_repository(target_).size();
  EXPECT_EQ(tree_total(dry.out), copied);
  json d = json::parse(read_text(dir_ / "dry.json"));
  json c = json::parse(real.out);  // throws when anything else is on standard output
  EXPECT_EQ(d["dry_run"], true);
  EXPECT_EQ(std::tie(d["files_written"], d["bytes_written"], d["events"], d["batches"],
                     d["source_files"], d["summary"]),
            std::tie(c["files_written"], c["bytes_written"], c["events"], c["batches"],
                     c["source_files"], c["summary"]));
  EXPECT_EQ(c["files_written"], files);
  EXPECT_EQ(c["bytes_written"], bytes);
  EXPECT_EQ(c["events"]["written"], copied);
  EXPECT_EQ(c["events"]["read"], copied);
  uint64_t tree_sum = 0;
  for (const auto& domain : c["summary"]["domains"])
    for (const auto& computer : domain["computers"])
      for (const auto& ds : computer["data_sources"]) tree_sum += ds["events"].get<uint64_t>();
  EXPECT_EQ(tree_sum, copied);
}

// -q: nothing on standard output and, over a sound source, nothing on standard error (no banner,
// no notices). With -n the dry-run line is the result asked for and still printed. (Over a
// damaged source: the log's test.)
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
}

// --log: every line of the run with its UTC time and kind, whatever -q says, appended run after
// run; the console keeps -q's rules: over a damaged source only the warning and error lines.
TEST_F(CommandLineEndToEnd, LogKeepsEveryLineWithTimeAndKind) {
  generate(300);
  std::ofstream(source_ / "Environment$" / "bad.rep", std::ios::binary) << std::string(600, '\0');
  const fs::path log = dir_ / "run.log";
  run_result quiet =
      repcopy("-q -d 9999x --log " + quoted(log) + " " + quoted(source_) + " " + quoted(target_));
  EXPECT_EQ(quiet.exit_code, 3);
  EXPECT_EQ(quiet.out, "");
  EXPECT_TRUE(
      only_lines(without_sanitizer_notice(quiet.err),
                 "-d: [^\n]*|Damaged source file [^\n]*|\\(b\\)some problem in file: [^\n]*|"
                 "Written: [^\n]*|Already in the target, not copied: [^\n]*|"
                 "Copy incomplete: [^\n]*"))
      << quiet.err;
  EXPECT_NE(quiet.err.find("Damaged source file"), std::string::npos) << quiet.err;
  const std::string first = read_text(log);
  EXPECT_TRUE(only_lines(first,
                         "[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}Z "
                         "(summary|notice|warning|error) [^\n]*"))
      << first;
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
// line is erased by one, no progress row is wider than the terminal, and the progress line is
// cleared before the summary.
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
  // Nothing of the progress line after the last clearing before the summary, nor drawn again
  // after it.
  const size_t summary = screen.find("Unknown\r\n");
  ASSERT_NE(summary, std::string::npos) << screen;
  const size_t last_clear = screen.rfind(clear, summary);
  ASSERT_NE(last_clear, std::string::npos);
  EXPECT_FALSE(std::regex_search(screen.substr(last_clear), fragment)) << screen;
}

}  // namespace
}  // namespace repcopy::e2e

#endif  // !_WIN32
