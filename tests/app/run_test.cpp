// The command line: run function, entry point and the built executable.
#include "app/run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "app/elapsed.h"
#include "app/usage.h"
#include "filters/event_id_filter.h"
#include "filters/time_window.h"
#include "platform/platform.h"
#include "tests/process_util.h"
#include "tests/test_console.h"
#include "util/fatal.h"
#include "util/time_text.h"
#include "version.h"

namespace repcopy {
namespace {

// An argument vector from a line split at blanks; argv points into strings: never copied.
struct arg_vector {
  explicit arg_vector(const std::string& line) {
    std::istringstream in(line);
    for (std::string s; in >> s;) strings.push_back(s);
    for (std::string& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);
  }
  arg_vector(const arg_vector&) = delete;
  int argc() const { return int(strings.size()); }
  std::vector<std::string> strings;
  std::vector<char*> argv;
};

// The usage as the user sees it, written out independently of app/usage.cpp.
std::string usage(const std::string& program) {
  return "Makes events copy from source repository to target one.\n"
         "Or calculates target repository size.\n\nUsage:\n\n" +
         program + R"( [-h -v]
                   [-d <how_many_days_back>]
                   [-r <how_many_hours_back>]
                   [-f <YYYY[MM[DD[HH[mm[ss]]]]]>]
                   [-t <YYYY[MM[DD[HH[mm[ss]]]]]>]
                   [-i <id1,id2,id3...>]
                   [-j <id1,id2,id3...>]
                   <source repository_path> <target repository_path>

-h                 - Print this help
-v                 - Verbose mode
     Time filters:
-d <how_many_days_back>    - Results for this many past days, beginning
                             with 12:00 AM UTC on the earliest matching day
-r <how_many_hours_back>   - Results for this many past hours, beginning
                             with the start of the earliest matching hour (UTC)
-f <YYYY[MM[DD[HH[mm[ss]]]]]> - Results starting from this date and time (UTC, inclusive)
-t <YYYY[MM[DD[HH[mm[ss]]]]]> - Results up to this date and time (UTC, inclusive)
     The -f and -t filter options can be used together.

     EventID filters:
-i <id1,id2,id3...>        - 'White list' of EventID (will be included), comma separated.
-j <id1,id2,id3...>        - 'Black list' of EventID (will be excluded), comma separated.
     Of -i and -j, the one given last is used.

     Other options:
-n, --dry-run              - Read, filter and pack as a copy would, write nothing;
                             print the files and bytes a copy would write
-q, --quiet                - Only warnings and errors: no banner, no summary tree,
                             no notices, no elapsed time, no progress
--json <file>              - Write a JSON summary to <file>; with "-" it goes to
                             standard output instead of the summary tree
--log <file>               - Append every line of the run, with its UTC time and
                             kind, to <file> (whatever -q says)
--threads <N>              - Number of writer threads (1 to 256)
--level <N>                - Compression level, 1 (fastest) to 12 (smallest); default 6
--read-threads <N>         - Threads that read source files (1 to 64)
--shard <K/N>              - Copy only the computers of shard K of N
--allow-duplicates         - Write every event, also those the target already holds
--help                     - Print this help
--version                  - Print the version
     Exit codes: 0 all copied, 2 usage error (nothing done), 3 not all copied,
                 130 interrupted, 255 fatal stop
)";
}

// The banner with the build's version in the four-part form, last part two digits.
std::string banner() {
  char version[64];
  std::snprintf(version, sizeof version, "%d.%d.%d.%02d", REPCOPY_VERSION_MAJOR,
                REPCOPY_VERSION_MINOR, REPCOPY_VERSION_PATCH, REPCOPY_VERSION_TWEAK);
  return std::string("repcopy - event repository copy ") + version +
         "\nCopies events between event repositories; the source is never changed.\n\n";
}

constexpr uint64_t kStart = 1234567;

// Runs the run function on a command line with a sequence that records its request; captures
// both outputs. Runs in a scratch directory holding repositories "s" and "s/inner", a directory
// "empty", a file "f" and a link "l" to "s", so that the paths on the command lines are real.
class RunFunction : public testing::Test {
 protected:
  void SetUp() override {
    home_ = std::filesystem::current_path();
    dir_ = std::filesystem::temp_directory_path() / ("repcopy-run-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_ / "s" / "Environment$");
    std::filesystem::create_directories(dir_ / "s" / "inner" / "Hot$" / "Environment$");
    std::filesystem::create_directories(dir_ / "empty");
    std::ofstream(dir_ / "f") << "x";
    // Directory links need administrator rights on Windows (and are missing under Wine).
    if (!platform::kWindows) std::filesystem::create_directory_symlink(dir_ / "s", dir_ / "l");
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(home_);
    std::filesystem::remove_all(dir_);
  }
  int run(const std::string& line) {
    arg_vector args(line);
    seen_.reset();
    bool verbose = false;
    int result = 0;
    std::tie(out_, err_) = capture_output([&] {
      result = run_function(args.argc(), args.argv.data(), kStart, verbose,
                            [&](const run_request& r) { return seen_ = r, 0; });
    });
    return result;
  }
  // Expects the usage for program, the banner and message on standard error, and no run.
  void expect_usage(const std::string& line, const std::string& program, const std::string& message,
                    int result = kRunRefused) {
    EXPECT_EQ(run(line), result) << line;
    EXPECT_EQ(err_, banner() + message) << line;
    EXPECT_EQ(out_, usage(program)) << line;
    EXPECT_FALSE(seen_) << line;
  }

  std::filesystem::path home_, dir_;
  std::optional<run_request> seen_;
  std::string out_, err_;
};

TEST_F(RunFunction, UsageForHelpNoArgumentAndEveryRefusedCombination) {
  expect_usage("/usr/local/bin/repcopy", "repcopy",
               "No source and target repository paths given\n");
  const std::pair<const char*, const char*> help[] = {
      {"C:\\tools\\repcopy.exe -v -h s t", "repcopy.exe"}, {"a\\b/c --help", "c"}, {"dir/ -h", ""}};
  for (const auto& [line, program] : help) expect_usage(line, program, "", kRunStopped);
  EXPECT_EQ(std::cerr.tie(), &std::cout);
  // For each first option, the outcome of a following -d, -r, -f, -t: C "Wrong filter
  // configuration!", W "Wrong filter", '.' accepted.
  const std::pair<std::string, std::string> rows[] = {{"-d 1", "CCCW"},
                                                      {"-r 2", "CCCW"},
                                                      {"-f 2019", "CCC."},
                                                      {"-t 2020", "CC.W"},
                                                      {"-f 2019 -t 2020", "CCCW"}};
  const char* seconds[] = {"-d 3", "-r 4", "-f 2019", "-t 2020"};
  for (const auto& [first, outcomes] : rows) {
    for (int i = 0; i < 4; ++i) {
      if (outcomes[i] == '.') continue;
      expect_usage("rc " + first + " " + seconds[i] + " -x s t", "rc",  // refused before -x
                   outcomes[i] == 'C' ? "Wrong filter configuration!\n" : "Wrong filter\n");
    }
  }
  const std::string expected = " (expected YYYY[MM[DD[HH[mm[ss]]]]] in UTC, from 1970 to 2106)\n";
  expect_usage("rc -t 20190230 s t", "rc", "Invalid date for -t: 20190230" + expected);
  expect_usage("rc -f 1969 -t 2019 s t", "rc", "Invalid date for -f: 1969" + expected);
  expect_usage("rc -f 2019 -t 2107 s t", "rc", "Invalid date for -t: 2107" + expected);
  // A window that ends before it begins.
  expect_usage("rc -f 20231115 -t 20231114 s t", "rc",
               "Invalid dates: -f 20231115 (2023-11-15 00:00:00 UTC) is later than -t 20231114 "
               "(2023-11-14 00:00:00 UTC)\n");
  expect_usage("rc -t 202311151201 -f 20231115120101 s t", "rc",
               "Invalid dates: -f 20231115120101 (2023-11-15 12:01:01 UTC) is later than -t "
               "202311151201 (2023-11-15 12:01:00 UTC)\n");
}

TEST_F(RunFunction, UsageErrorsNameTheArgumentAndRunNothing) {
  const std::string after = " (options go before the source and target repository paths)\n";
  const std::string found =
      "Expected a source and a target repository path after the options, found ";
  const std::pair<const char*, std::string> cases[] = {
      {"/bin/rc -vx s t", "/bin/rc: unknown option, -x\n"},
      {"rc -: s t", "rc: unknown option, -:\n"},
      {"rc --bogus s t", "rc: unknown option, --bogus\n"},
      {"rc --dry-run=yes s t", "rc: option takes no argument, --dry-run\n"},
      {"rc -v -d", "rc: argument missing for -d\n"},
      {"rc --json", "rc: argument missing for --json\n"},
      {"rc --threads 0 s t", "Invalid number for --threads: 0 (expected 1 to 256)\n"},
      {"rc --threads=257 s t", "Invalid number for --threads: 257 (expected 1 to 256)\n"},
      {"rc --threads 2x s t", "Invalid number for --threads: 2x (expected 1 to 256)\n"},
      {"rc --level 0 s t", "Invalid level for --level: 0 (expected 1 to 12)\n"},
      {"rc --level=13 s t", "Invalid level for --level: 13 (expected 1 to 12)\n"},
      {"rc --read-threads 0 s t", "Invalid --read-threads: 0 (expected 1 to 64)\n"},
      {"rc --read-threads=65 s t", "Invalid --read-threads: 65 (expected 1 to 64)\n"},
      {"rc --read-threads=x s t", "Invalid --read-threads: x (expected 1 to 64)\n"},
      {"rc --shard 3/3 s t", "Invalid --shard: 3/3 (expected K/N with 0 <= K < N)\n"},
      {"rc --shard=1 s t", "Invalid --shard: 1 (expected K/N with 0 <= K < N)\n"},
      {"rc s t -v", "Option after the paths: -v" + after},
      {"rc -- s -", "Option after the paths: -" + after},
      {"rc t", found + "1: t\n"},
      {"rc -v", found + "0\n"},
      {"rc -i 4624, 4625 s t", found + "3: 4625 s t\n"},  // a blank after the comma
      {"rc -v s -d 1 t", found + "4: s -d 1 t\n"},
      {"rc - s t", found + "3: - s t\n"},
      {"rc missing t", "Source repository not found: missing\n"},
      {"rc f t", "Source repository is not a directory: f\n"},
      {"rc empty t",
       "Source is not a repository (no Environment$ or Hot$/Environment$ in it): empty\n"},
      {"rc s f", "Target repository is not a directory: f\n"},
      {"rc s ./s/../s/", "Source and target are the same directory: s and ./s/../s/\n"},
      {"rc s s/copy", "Target repository s/copy lies inside the source repository s\n"}};
  for (const auto& [line, message] : cases) expect_usage(line, "rc", message);
}

// The same checks see through the directory link "l" to "s".
TEST_F(RunFunction, UsageErrorsSeeThroughDirectoryLinks) {
  if (platform::kWindows) GTEST_SKIP() << "directory links cannot be made under Wine";
  const std::pair<const char*, std::string> cases[] = {
      {"rc l s", "Source and target are the same directory: l and s\n"},
      {"rc s l/new/deeper", "Target repository l/new/deeper lies inside the source repository s\n"},
      {"rc s/inner/.. l/inner",
       "Target repository l/inner lies inside the source repository s/inner/..\n"},
      {"rc l/inner s", "Source repository l/inner lies inside the target repository s\n"}};
  for (const auto& [line, message] : cases) expect_usage(line, "rc", message);
}

TEST_F(RunFunction, AcceptedOptionsBuildTheFilter) {
  using ids = std::vector<uint32_t>;
  const std::tuple<const char*, uint32_t, uint32_t, uint32_t, uint32_t, ids> cases[] = {
      {"rc -f 2019010203 -t 201901020304 s t", kTimeFromTo, 1546398000, 1546398240, 0, {}},
      {"rc -t 201901020304 -f 2019010203 s t", kTimeFromTo, 1546398000, 1546398240, 0, {}},
      {"rc -f 2019 s t", kTimeFromOnly, 1546300800, 0xFFFFFFFF, 0, {}},
      {"rc -t 2019 s t", kTimeToOnly, 0, 1546300800, 0, {}},
      {"rc -i 1,2 -j 3 s t", 0, 0, 0xFFFFFFFF, kIdBlackList, {3}},  // the later list wins
      {"rc -j 3 -i 1,2 s t", 0, 0, 0xFFFFFFFF, kIdWhiteList, {1, 2}},
      {"rc -cj3 s t", 0, 0, 0xFFFFFFFF, kIdBlackList, {3}},   // grouped, argument attached
      {"rc -j -i s t", 0, 0, 0xFFFFFFFF, kIdBlackList, {0}},  // the next argument: "-i"
      {"rc -- s t", 0, 0, 0xFFFFFFFF, 0, {}}};                // "--" ends the options
  for (const auto& [line, time_kind, from, to, id_kind, ids] : cases) {
    EXPECT_EQ(run(line), 0);
    // "-i" taken as the list is said.
    EXPECT_EQ(err_, banner() + (ids == std::vector<uint32_t>{0} ? "-j: \"-i\" read as 0\n" : ""));
    ASSERT_TRUE(seen_);
    const filter_config& f = seen_->filter;
    EXPECT_EQ(std::tie(f.time_on, f.time_kind, f.time_from, f.time_to),
              std::tuple(time_kind != 0, time_kind, from, to))
        << line;
    EXPECT_EQ(std::tie(f.id_on, f.id_kind, f.ids), std::tuple(id_kind != 0, id_kind, ids)) << line;
  }
}

TEST_F(RunFunction, DaysAndHoursBackUseTheCurrentTime) {
  // -d reads its leading number: 2 days back starts at midnight of yesterday.
  for (auto [line, kind, unit, back] : {std::tuple("rc -d 2x s t", kTimeDaysBack, 86400u, 1u),
                                        std::tuple("rc -r1 s t", kTimeHoursBack, 3600u, 0u)}) {
    const uint32_t before = current_time();
    EXPECT_EQ(run(line), 0);
    const uint32_t after = current_time();
    ASSERT_TRUE(seen_);
    const uint32_t from = seen_->filter.time_from;
    EXPECT_EQ(seen_->filter.time_kind, kind);
    EXPECT_TRUE(from == (before / unit - back) * unit || from == (after / unit - back) * unit);
  }
}

TEST_F(RunFunction, PathsAndTheFlagsOfTheRun) {
  // Line, source, target, verbose, dry run, quiet, JSON path, threads.
  const std::tuple<const char*, const char*, const char*, bool, bool, bool, const char*, int>
      cases[] = {
          {"rc -c s t", "s", "t", false, false, false, "", 0},
          {"rc -v s/ ../t", "s/", "../t", true, false, false, "", 0},
          {"rc -vn --threads 3 s/inner s/../t", "s/inner", "s/../t", true, true, false, "", 3},
          {"rc -vq --json=out.json s t", "s", "t", false, false, true, "out.json", 0},
          {"rc --dry-run --quiet --threads=256 s t", "s", "t", false, true, true, "", 256},
          {"rc -v --json - s t", "s", "t", false, false, false, "-", 0}};  // stdout is the JSON's
  for (const auto& [line, source, target, verbose, dry, quiet, json, threads] : cases) {
    EXPECT_EQ(run(line), 0) << err_;
    EXPECT_EQ(err_, quiet ? "" : banner());  // -q: no banner
    EXPECT_EQ(out_, "");
    ASSERT_TRUE(seen_);
    const run_request& r = *seen_;
    EXPECT_EQ(std::tie(r.source_path, r.target_path, r.verbose, r.start_time, r.filter.time_on),
              std::tuple(std::string(source), std::string(target), verbose, kStart, false));
    EXPECT_EQ(std::tie(r.dry_run, r.quiet, r.json_path, r.threads, r.progress),
              std::tuple(dry, quiet, std::string(json), threads, false))
        << line;
  }
}

// The lenient number rules stay, but what they ignored is said: one warning line per value, the
// run goes on. Plain values print nothing beyond the banner.
TEST_F(RunFunction, LenientNumbersWarnWhatTheyWereReadAs) {
  const std::pair<const char*, std::string> cases[] = {
      {"rc -d abc s t", "-d: \"abc\" read as 0\n"},
      {"rc -r 5x s t", "-r: \"5x\" read as 5\n"},
      {"rc -i abc s t", "-i: \"abc\" read as 0\n"},
      {"rc -i 4624-4625 s t", "-i: \"4624-4625\" read as 4624\n"},
      {"rc -j 1,,2x s t", "-j: \"\" read as 0\n-j: \"2x\" read as 2\n"},
      {"rc -i 7, s t", "-i: \"\" read as 0\n"},
      {"rc -f 2023111 s t", "-f: \"2023111\" read as 2023-11-01 00:00:00 UTC\n"},
      {"rc -f 20231115T0000 s t", "-f: \"20231115T0000\" read as 2023-11-15 00:00:00 UTC\n"},
      {"rc -t 2023111512000099 s t", "-t: \"2023111512000099\" read as 2023-11-15 12:00:00 UTC\n"},
      // No typo: no warning.
      {"rc -d 3 s t", ""},
      {"rc -r -2 s t", ""},
      {"rc -i 4624,4625,-1 s t", ""},
      {"rc -j 7 s t", ""},
      {"rc -f 2023 -t 20231115120059 s t", ""},
      {"rc -f 20231115 -t 20231115 s t", ""},
      {"rc -t 2023111512 s t", ""}};
  for (const auto& [line, warnings] : cases) {
    EXPECT_EQ(run(line), 0) << line;
    EXPECT_EQ(err_, banner() + warnings) << line;
    EXPECT_TRUE(seen_) << line;
  }
}

// -q: a refusal is its line alone, on standard error: no banner, no usage.
TEST_F(RunFunction, QuietRefusalIsItsLineAlone) {
  EXPECT_EQ(run("rc -q -d 1 -r 2 s t"), kRunRefused);
  EXPECT_EQ(err_, "Wrong filter configuration!\n");
  EXPECT_EQ(out_, "");
  EXPECT_EQ(run("rc --quiet missing t"), kRunRefused);
  EXPECT_EQ(err_, "Source repository not found: missing\n");
  EXPECT_EQ(out_, "");
}

TEST_F(RunFunction, EntryPointExitCodeAndTheVerboseElapsedLine) {
  const run_sequence_fn three = [](const run_request&) { return 3; };
  const run_sequence_fn throws = [](const run_request&) -> int { throw std::runtime_error("!"); };
  // Command line, sequence, exit code, standard output before the elapsed line, elapsed line.
  const std::tuple<const char*, run_sequence_fn, int, std::string, bool> cases[] = {
      {"rc -v -h", three, 0, usage("rc"), false},
      {"rc -v -x s t", three, 2, usage("rc"), false},
      {"rc -v --version s t", three, 0, banner().substr(0, banner().find('\n') + 1), false},
      {"rc s t", three, 3, "", false},
      {"rc -v s t", three, 3, "", true},
      {"rc -v -q s t", three, 3, "", false},
      {"rc -v s t", throws, 255, "sub_main_ferrix exception\n", true}};
  for (const auto& [line, sequence, code, before, elapsed] : cases) {
    arg_vector args(line);
    std::string out;
    std::tie(out, std::ignore) =
        capture_output([&, &sequence = sequence, code = code, &line = line] {
          EXPECT_EQ(entry_point(args.argc(), args.argv.data(), sequence), code) << line;
        });
    ASSERT_EQ(out.substr(0, before.size()), before);
    const std::string rest = out.substr(before.size());
    EXPECT_TRUE(elapsed ? std::regex_match(rest, std::regex("[0-9]+\\.[0-9]{3}\n")) : rest.empty())
        << rest;
  }
}

// A fatal stop from below and an exception: exit code -1 (255) and the JSON summary with the
// stop's text, written although the sequence never returned. A fatal stop's marker alone on
// standard output, its error text on standard error, and no elapsed line even in verbose mode.
TEST_F(RunFunction, EntryPointAFatalStopEndsWith255AndWritesItsSummary) {
  const run_sequence_fn fatal = [](const run_request&) -> int {
    throw fatal_error("=create_repository_file=\nMark = 30\n", "Mark = 30\n");
  };
  const run_sequence_fn throws = [](const run_request&) -> int { throw std::runtime_error("!"); };
  const std::tuple<run_sequence_fn, int, const char*> cases[] = {
      {fatal, kFatalExitCode, "=create_repository_file=; Mark = 30; Mark = 30"},
      {throws, 255, "sub_main_ferrix exception"}};
  for (const auto& [sequence, code, error] : cases) {
    arg_vector args("rc -v --json j.json -i 7 s t");
    const auto [out, err] = capture_output([&, &sequence = sequence, code = code] {
      EXPECT_EQ(entry_point(args.argc(), args.argv.data(), sequence), code);
    });
    if (code == kFatalExitCode) {
      EXPECT_EQ(out, "=create_repository_file=\nMark = 30\n");
      EXPECT_EQ(err, banner() + "Mark = 30\n");
    }
    std::ifstream in(dir_ / "j.json");
    const nlohmann::json j = nlohmann::json::parse(in);
    EXPECT_EQ(j["exit_code"], 255);
    EXPECT_EQ(j["error"], error);
    EXPECT_EQ(j["source"], "s");
    EXPECT_EQ(j["filters"]["event_ids"]["ids"], nlohmann::json::parse("[7]"));
  }
}

TEST(Elapsed, WholeSecondsAndThreeDigitsOfMilliseconds) {
  EXPECT_EQ(elapsed_text(1000, 1000 + 123456789), "12.345");
  EXPECT_EQ(elapsed_text(0, 10120000), "1.012");
  EXPECT_EQ(elapsed_text(10000000, 0), "0.000");  // the clock stepped back
}

// The file version read from a version resource: hand-built blocks with the fixed file
// information at the first nonzero 16-bit word from byte 38 on.
TEST(VersionResource, FixedFileVersionOrNone) {
  auto block = [](uint16_t value_length, size_t padding, uint32_t signature) {
    std::vector<uint8_t> b(38 + padding, 0);
    b[2] = uint8_t(value_length);
    b[3] = uint8_t(value_length >> 8);
    for (uint32_t word : {signature, 0x00010000u, 0x00020003u, 0x00040005u}) {
      for (int i = 0; i < 4; ++i) b.push_back(uint8_t(word >> (8 * i)));
    }
    return b;
  };
  using version = std::array<uint16_t, 4>;
  EXPECT_EQ(resource_file_version(block(52, 2, 0xFEEF04BD)), (version{2, 3, 4, 5}));
  EXPECT_EQ(resource_file_version(block(52, 0, 0xFEEF04BD)), (version{2, 3, 4, 5}));
  EXPECT_EQ(resource_file_version(block(0, 2, 0xFEEF04BD)), std::nullopt);   // no value
  EXPECT_EQ(resource_file_version(block(52, 2, 0xFEEF04BE)), std::nullopt);  // bad signature
  std::vector<uint8_t> cut = block(52, 2, 0xFEEF04BD);
  cut.resize(cut.size() - 1);  // the file version's low word runs past the end
  EXPECT_EQ(resource_file_version(cut), std::nullopt);
  std::vector<uint8_t> zeros(60, 0);
  zeros[2] = 52;  // a value, but no fixed file information anywhere
  EXPECT_EQ(resource_file_version(zeros), std::nullopt);
  EXPECT_EQ(resource_file_version({}), std::nullopt);
}

// A fatal stop through the built executable: more ".." than the current directory has (the
// root; on Windows a drive root, which has one level to give up).
TEST(Executable, AFatalStopEndsWith255AndItsMarkerOnStandardOutput) {
  const std::string bin = testutil::quoted(testutil::repcopy_program());
  const std::string command = platform::kWindows ? "cd /d \\ && " + bin + " ../../x y 2>NUL"
                                                 : "cd / && " + bin + " ../x /tmp/y 2>/dev/null";
  FILE* pipe = testutil::open_pipe(command);
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
  EXPECT_EQ(testutil::exit_code_of(testutil::close_pipe(pipe)), testutil::kFatalExitStatus);
  if (platform::kWindows) {
    EXPECT_TRUE(
        std::regex_match(out, std::regex(R"(Can't add path \.\.\\\.\.\\x\n to\n [A-Z]:\\\n)")))
        << out;
  } else {
    EXPECT_EQ(out, "Can't add path ../x\n to\n /\n");
  }
}

}  // namespace
}  // namespace repcopy
