// The command line: option parser, run function, entry point and the built executable.
#include "app/run.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <optional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/elapsed.h"
#include "app/option_parser.h"
#include "filters/event_id_filter.h"
#include "filters/time_window.h"
#include "util/time_text.h"
#include "version.h"

namespace repcopy {
namespace {

// An argument vector from a line split at blanks; argv points into the object: never copied.
class arg_vector {
 public:
  arg_vector(const char* line) {
    std::istringstream in(line);
    for (std::string s; in >> s;) strings_.push_back(s);
    for (std::string& s : strings_) pointers_.push_back(s.data());
    pointers_.push_back(nullptr);
  }
  arg_vector(const arg_vector&) = delete;
  int argc() const { return int(strings_.size()); }
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> strings_;
  std::vector<char*> pointers_;
};

// The usage as the user sees it, written out independently of app/usage.cpp.
std::string usage(const std::string& program) {
  return "Makes events copy from source repository to target one.\n"
         "Or calculates target repository size.\n\nUsage:\n\n" +
         program +
         " [-h -v]\n"
         "                   [-d <how_many_days_back>]\n"
         "                   [-r <how_many_hours_back>]\n"
         "                   [-f <YYYY[MM[DD[HH[mm]]]]>]\n"
         "                   [-t <YYYY[MM[DD[HH[mm]]]]>]\n"
         "                   [-i <id1,id2,id3...>]\n"
         "                   [-j <id1,id2,id3...>]\n"
         "                   <source repository_path> <target repository_path>\n\n"
         "-h                 - Print this help\n"
         "-v                 - Verbose mode\n"
         "     Time filters:\n"
         "-d <how_many_days_back>    - Results for this many past days, beginning\n"
         "                             with 12:00 AM on the earliest matching day\n"
         "-r <how_many_hours_back>   - Results for this many past hours, beginning\n"
         "                             with the start of the earliest matching hour\n"
         "-f <YYYY[MM[DD[HH[mm]]]]>  - Results starting from this date and time (UTC, inclusive)\n"
         "-t <YYYY[MM[DD[HH[mm]]]]>  - Results before this date and time (UTC, exclusive)\n"
         "     The -f and -t filter options can be used together.\n\n"
         "     EventID filters:\n"
         "-i <id1,id2,id3...>        - 'White list' of EventID (will be included), comma "
         "separated.\n"
         "-j <id1,id2,id3...>        - 'Black list' of EventID (will be excluded), comma "
         "separated.\n"
         "     The -i and -j filter options cannot be used together.\n";
}

// The banner with the build's version in the four-part form, last part two digits.
std::string banner() {
  char version[64];
  std::snprintf(version, sizeof version, "%d.%d.%d.%02d", REPCOPY_VERSION_MAJOR,
                REPCOPY_VERSION_MINOR, REPCOPY_VERSION_PATCH, REPCOPY_VERSION_TWEAK);
  return std::string("repcopy - event repository copy ") + version +
         "\nCopies events between event repositories; the source is never changed.\n\n";
}

TEST(OptionParser, LettersArgumentsAndItsOwnMessages) {
  struct Case {
    arg_vector args;
    const char* letters;    // '?' after an error
    const char* arguments;  // each followed by '|'
    int index;              // of the first argument after the options
    const char* err;
  } cases[] = {
      {"p -hv s t", "hv", "", 2, ""},
      {"p -vd3 s t", "vd", "3|", 2, ""},
      {"p -d -r s t", "d", "-r|", 3, ""},  // the next argument even with a dash
      {"p -f2019 -t 2020 -c s t", "ftc", "2019|2020|", 5, ""},
      {"p s -v t", "", "", 1, ""},   // the first non-option ends the options
      {"p - -v t", "", "", 1, ""},   // so does a lone dash
      {"p -- -v t", "", "", 2, ""},  // "--" is stepped over
      {"/bin/rc -xv -: s", "?v?", "", 3,
       "/bin/rc: unknown option, -x\n/bin/rc: unknown option, -:\n"},
      {"rc -v -d", "v?", "", 3, "rc: argument missing for -d\n"},
  };
  for (Case& c : cases) {
    option_parser p(c.args.argc(), c.args.argv(), kOptionString);
    std::string letters, arguments;
    testing::internal::CaptureStderr();
    for (int letter; (letter = p.next()) != option_parser::kEnd;) {
      letters += char(letter);
      if (p.argument()) arguments += std::string(p.argument()) + "|";
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err) << c.letters;
    EXPECT_EQ(letters, c.letters);
    EXPECT_EQ(arguments, c.arguments) << c.letters;
    EXPECT_EQ(p.index(), c.index) << c.letters;
  }
}

constexpr uint64_t kStart = 1234567;

// Runs the run function with a sequence that records its request; captures both outputs.
class RunFunction : public testing::Test {
 protected:
  int run(arg_vector& args) {
    seen_.reset();
    bool verbose = false;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int result = run_function(args.argc(), args.argv(), kStart, verbose,
                                    [&](const run_request& r) { return seen_ = r, 0; });
    out_ = testing::internal::GetCapturedStdout();
    err_ = testing::internal::GetCapturedStderr();
    return result;
  }
  // Expects the usage for program, the banner and message on standard error, and no run.
  void expect_usage(arg_vector& args, const std::string& program, const std::string& message) {
    EXPECT_EQ(run(args), -1);
    EXPECT_EQ(err_, banner() + message);
    EXPECT_EQ(out_, usage(program));
    EXPECT_FALSE(seen_);
  }

  std::optional<run_request> seen_;
  std::string out_, err_;
};

TEST_F(RunFunction, HelpAndNoArgumentPrintTheUsageWithTheProgramFileName) {
  struct Case {
    arg_vector args;
    const char* program;
  } cases[] = {{"/usr/local/bin/repcopy", "repcopy"},
               {"./build/repcopy -v -h s t", "repcopy"},
               {"C:\\tools\\repcopy.exe -h", "repcopy.exe"},
               {"a\\b/c -h", "c"},
               {"dir/ -h", ""}};
  for (Case& c : cases) expect_usage(c.args, c.program, "");
  EXPECT_EQ(std::cerr.tie(), &std::cout);
}

TEST_F(RunFunction, EveryRefusedPairOfTimeOptions) {
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
      arg_vector args(("rc " + first + " " + seconds[i] + " -x s t").c_str());
      expect_usage(args, "rc",
                   outcomes[i] == 'C' ? "Wrong filter configuration!\n"
                                      : "Wrong filter\n");  // before -x is read
    }
  }
}

TEST_F(RunFunction, InvalidDatesAreRefusedNamingOptionAndText) {
  const std::pair<const char*, std::string> cases[] = {
      {"rc -t 20190230 s t", "-t: 20190230"},
      {"rc -f 1969 -t 2019 s t", "-f: 1969"},
      {"rc -f 2019 -t 2107 s t", "-t: 2107"},  // checked although -f came first and was valid
  };
  for (const auto& [line, what] : cases) {
    arg_vector args(line);
    expect_usage(args, "rc",
                 "Invalid date for " + what +
                     " (expected YYYY[MM[DD[HH[mm]]]] in UTC, from 1970 to 2106)\n");
  }
}

TEST_F(RunFunction, AcceptedOptionsBuildTheFilter) {
  struct Case {
    arg_vector args;
    uint32_t time_kind, from, to, id_kind;
    std::vector<uint32_t> ids;
  } cases[] = {
      {"rc -f 2019010203 -t 201901020304 s t", kTimeFromTo, 1546398000, 1546398240, 0, {}},
      {"rc -t 201901020304 -f 2019010203 s t", kTimeFromTo, 1546398000, 1546398240, 0, {}},
      {"rc -f 2019 s t", kTimeFromOnly, 1546300800, 0xFFFFFFFF, 0, {}},
      {"rc -t 2019 s t", kTimeToOnly, 0, 1546300800, 0, {}},
      {"rc -i 1,2 -j 3 s t", 0, 0, 0xFFFFFFFF, kIdBlackList, {3}},  // the later list wins
      {"rc -j 3 -i 1,2 s t", 0, 0, 0xFFFFFFFF, kIdWhiteList, {1, 2}},
      {"rc -c s t", 0, 0, 0xFFFFFFFF, 0, {}},
  };
  for (Case& c : cases) {
    EXPECT_EQ(run(c.args), 0);
    EXPECT_EQ(err_, banner());
    ASSERT_TRUE(seen_);
    const filter_config& f = seen_->filter;
    EXPECT_EQ(f.time_on, c.time_kind != 0);
    EXPECT_EQ(f.time_kind, c.time_kind);
    EXPECT_EQ(f.time_from, c.from);
    EXPECT_EQ(f.time_to, c.to);
    EXPECT_EQ(f.id_on, c.id_kind != 0);
    EXPECT_EQ(f.id_kind, c.id_kind);
    EXPECT_EQ(f.ids, c.ids);
  }
}

TEST_F(RunFunction, DaysAndHoursBackUseTheCurrentTime) {
  arg_vector days("rc -d 2x s t"), hours("rc -r1 s t");  // -d reads its leading number: 2
  for (auto [args, kind, unit, back] : {std::tuple(&days, kTimeDaysBack, 86400u, 1u),
                                        std::tuple(&hours, kTimeHoursBack, 3600u, 0u)}) {
    const uint32_t before = current_time();
    EXPECT_EQ(run(*args), 0);
    const uint32_t after = current_time();
    ASSERT_TRUE(seen_);
    const uint32_t from = seen_->filter.time_from;
    EXPECT_EQ(seen_->filter.time_kind, kind);
    EXPECT_TRUE(from == (before / unit - back) * unit || from == (after / unit - back) * unit);
  }
}

TEST_F(RunFunction, PathsAreTheLastTwoArgumentsWhateverWasParsed) {
  struct Case {
    arg_vector args;
    const char *source, *target;
    bool verbose;
    std::string err;
  } cases[] = {
      {"rc -c src dst", "src", "dst", false, ""},
      {"/opt/rc dst", "/opt/rc", "dst", false, ""},  // the program's own path
      {"rc -v src -d 1", "-d", "1", true, ""},       // -d comes after the first path
      {"rc -x -v s t", "s", "t", true, "rc: unknown option, -x\n"},
      {"rc -v -d", "-v", "-d", true, "rc: argument missing for -d\n"},
  };
  for (Case& c : cases) {
    EXPECT_EQ(run(c.args), 0);
    EXPECT_EQ(err_, banner() + c.err);
    EXPECT_EQ(out_, "");
    ASSERT_TRUE(seen_);
    EXPECT_EQ(seen_->source_path, c.source);
    EXPECT_EQ(seen_->target_path, c.target);
    EXPECT_EQ(seen_->verbose, c.verbose);
    EXPECT_EQ(seen_->start_time, kStart);
    EXPECT_FALSE(seen_->filter.time_on);
  }
}

TEST(EntryPoint, ExitCodeAndTheVerboseElapsedLine) {
  auto throws = [](const run_request&) -> int { throw std::runtime_error("boom"); };
  auto three = [](const run_request&) { return 3; };
  struct Case {
    arg_vector args;
    run_sequence_fn sequence;
    int code;
    std::string out;  // before the elapsed line
    bool elapsed;
  } cases[] = {
      {"rc -v -h", three, 0, usage("rc"), false},
      {"rc s t", three, 3, "", false},
      {"rc -v s t", three, 3, "", true},
      {"rc -v s t", throws, 0, "sub_main_ferrix exception\n", true},
  };
  for (Case& c : cases) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(entry_point(c.args.argc(), c.args.argv(), c.sequence), c.code);
    const std::string out = testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(out.substr(0, c.out.size()), c.out);
    const std::string rest = out.substr(c.out.size());
    EXPECT_EQ(std::regex_match(rest, std::regex("[0-9]+\\.[0-9]{3}\n")), c.elapsed) << rest;
    EXPECT_EQ(rest.empty(), !c.elapsed);
  }
}

TEST(Elapsed, WholeSecondsAndThreeDigitsOfMilliseconds) {
  EXPECT_EQ(elapsed_text(1000, 1000 + 123456789), "12.345");
  EXPECT_EQ(elapsed_text(0, 10120000), "1.012");
  EXPECT_EQ(elapsed_text(0, 9999), "0.000");
  EXPECT_EQ(elapsed_text(0, 10000), "0.001");
  EXPECT_EQ(elapsed_text(0, 36000000000ULL * 10), "36000.000");
  EXPECT_EQ(elapsed_text(10000000, 0), "0.000");  // the clock stepped back
}

// The built executable as the shell sees it: the text that reaches the pipe, and the exit code.
TEST(Executable, UsageAndRefusalsEndWithExitCodeZero) {
  const std::string bin = REPCOPY_BIN;
  const std::pair<std::string, std::string> cases[] = {
      {"-h 2>/dev/null", usage("repcopy")},
      {"2>/dev/null", usage("repcopy")},
      {"2>&1 >/dev/null", banner()},
      {"-x -t 2019 -t 2020 a b 2>&1 >/dev/null",
       banner() + bin + ": unknown option, -x\nWrong filter\n"},
  };
  for (const auto& [tail, expected] : cases) {
    FILE* pipe = ::popen(("'" + bin + "' " + tail).c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    const int status = ::pclose(pipe);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << tail;
    EXPECT_EQ(out, expected) << tail;
  }
}

}  // namespace
}  // namespace repcopy
