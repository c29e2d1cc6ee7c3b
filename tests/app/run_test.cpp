#include "app/run.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>

#include "app/elapsed.h"
#include "filters/event_id_filter.h"
#include "filters/time_window.h"
#include "tests/app/app_test_util.h"
#include "util/time_text.h"

namespace repcopy {
namespace {

using testing_app::arg_vector;
using testing_app::expected_banner;
using testing_app::expected_usage;

constexpr uint64_t kStart = 1234567;

// Runs the run function with a recording sequence; captures both outputs.
class RunFunction : public testing::Test {
 protected:
  int run(arg_vector& args, int sequence_result = 0) {
    seen_.reset();
    verbose_ = false;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int result =
        run_function(args.argc(), args.argv(), kStart, verbose_, [&](const run_request& r) {
          seen_ = r;
          return sequence_result;
        });
    out_ = testing::internal::GetCapturedStdout();
    err_ = testing::internal::GetCapturedStderr();
    return result;
  }

  std::optional<run_request> seen_;
  bool verbose_ = false;
  std::string out_, err_;
};

TEST_F(RunFunction, NoArgumentPrintsBannerAndUsage) {
  arg_vector args{"/usr/local/bin/repcopy"};
  EXPECT_EQ(run(args), -1);
  EXPECT_EQ(err_, expected_banner());
  EXPECT_EQ(out_, expected_usage("repcopy"));
  EXPECT_FALSE(seen_);
}

TEST_F(RunFunction, HelpPrintsTheUsageWithTheProgramFileName) {
  struct Case {
    const char* argv0;
    const char* name;
  } cases[] = {{"repcopy", "repcopy"},
               {"./build/repcopy", "repcopy"},
               {"C:\\tools\\repcopy.exe", "repcopy.exe"},
               {"a\\b/c", "c"},
               {"dir/", ""}};
  for (const Case& c : cases) {
    arg_vector args{c.argv0, "-v", "-h", "s", "t"};
    EXPECT_EQ(run(args), -1);
    EXPECT_EQ(out_, expected_usage(c.name));
    EXPECT_EQ(err_, expected_banner());
    EXPECT_FALSE(seen_);
  }
}

TEST_F(RunFunction, RefusedTimeOptionCombinations) {
  const std::string config = "Wrong filter configuration!\n";
  const std::string wrong = "Wrong filter\n";
  struct Case {
    arg_vector args;
    const std::string& message;
  } cases[] = {
      {{"rc", "-d", "1", "-d", "2", "s", "t"}, config},
      {{"rc", "-r", "1", "-d", "2", "s", "t"}, config},
      {{"rc", "-d", "1", "-r", "2", "s", "t"}, config},
      {{"rc", "-d", "1", "-f", "2019", "s", "t"}, config},
      {{"rc", "-f", "2019", "-f", "2020", "s", "t"}, config},
      {{"rc", "-t", "2019", "-d", "1", "s", "t"}, config},
      {{"rc", "-f", "2019", "-t", "2020", "-f", "2021", "s", "t"}, config},
      {{"rc", "-f", "2019", "-t", "2020", "-r", "2", "s", "t"}, config},
      {{"rc", "-t", "2019", "-t", "2020", "s", "t"}, wrong},
      {{"rc", "-d", "1", "-t", "2019", "s", "t"}, wrong},
      {{"rc", "-r", "1", "-t", "2019", "s", "t"}, wrong},
      {{"rc", "-f", "2019", "-t", "2020", "-t", "2021", "s", "t"}, wrong},
      // Refused at once, before later bad options are even looked at.
      {{"rc", "-d", "1", "-d", "2", "-x", "s", "t"}, config},
  };
  for (Case& c : cases) {
    EXPECT_EQ(run(c.args), -1);
    EXPECT_EQ(err_, expected_banner() + c.message);
    EXPECT_EQ(out_, expected_usage("rc"));
    EXPECT_FALSE(seen_);
  }
}

TEST_F(RunFunction, InvalidDatesAreRefusedNamingOptionAndText) {
  struct Case {
    arg_vector args;
    const char* message;
  } cases[] = {
      {{"rc", "-f", "20191301", "s", "t"}, "-f: 20191301"},
      {{"rc", "-t", "20190230", "s", "t"}, "-t: 20190230"},
      {{"rc", "-f", "2019010224", "s", "t"}, "-f: 2019010224"},
      {{"rc", "-f", "201901020360", "s", "t"}, "-f: 201901020360"},
      {{"rc", "-f", "1969", "-t", "2019", "s", "t"}, "-f: 1969"},
      {{"rc", "-f", "2019", "-t", "2107", "s", "t"}, "-t: 2107"},
      {{"rc", "-t", "x", "-f", "2019", "s", "t"}, "-t: x"},
  };
  for (Case& c : cases) {
    EXPECT_EQ(run(c.args), -1);
    EXPECT_EQ(err_, expected_banner() + "Invalid date for " + c.message +
                        " (expected YYYY[MM[DD[HH[mm]]]] in UTC, from 1970 to 2106)\n");
    EXPECT_EQ(out_, expected_usage("rc"));
    EXPECT_FALSE(seen_);
  }
}

TEST_F(RunFunction, DatesInEitherOrderGiveTheSameWindow) {
  arg_vector a{"rc", "-f", "2019010203", "-t", "201901020304", "s", "t"};
  arg_vector b{"rc", "-t", "201901020304", "-f", "2019010203", "s", "t"};
  for (arg_vector* args : {&a, &b}) {
    EXPECT_EQ(run(*args), 0);
    ASSERT_TRUE(seen_);
    const filter_config& f = seen_->filter;
    EXPECT_TRUE(f.time_on);
    EXPECT_EQ(f.time_kind, kTimeFromTo);
    EXPECT_EQ(f.time_from, 1546398000u);
    EXPECT_EQ(f.time_to, 1546398240u);
    EXPECT_FALSE(f.id_on);
  }
}

TEST_F(RunFunction, LoneDatesKeepTheOtherBoundAtItsDefault) {
  arg_vector from{"rc", "-f", "2019", "s", "t"};
  EXPECT_EQ(run(from), 0);
  ASSERT_TRUE(seen_);
  EXPECT_EQ(seen_->filter.time_kind, kTimeFromOnly);
  EXPECT_EQ(seen_->filter.time_from, 1546300800u);
  EXPECT_EQ(seen_->filter.time_to, 0xFFFFFFFFu);

  arg_vector to{"rc", "-t", "2019", "s", "t"};
  EXPECT_EQ(run(to), 0);
  ASSERT_TRUE(seen_);
  EXPECT_TRUE(seen_->filter.time_on);
  EXPECT_EQ(seen_->filter.time_kind, kTimeToOnly);
  EXPECT_EQ(seen_->filter.time_from, 0u);
  EXPECT_EQ(seen_->filter.time_to, 1546300800u);
}

TEST_F(RunFunction, DaysAndHoursBackUseTheCurrentTime) {
  arg_vector days{"rc", "-d", " 2x", "s", "t"};  // converted as the leading number: 2
  uint32_t before = current_time();
  EXPECT_EQ(run(days), 0);
  uint32_t after = current_time();
  ASSERT_TRUE(seen_);
  EXPECT_EQ(seen_->filter.time_kind, kTimeDaysBack);
  const uint32_t day_start = seen_->filter.time_from + 86400;
  EXPECT_EQ(day_start % 86400, 0u);
  EXPECT_TRUE(day_start / 86400 == before / 86400 || day_start / 86400 == after / 86400);

  arg_vector hours{"rc", "-r1", "s", "t"};
  before = current_time();
  EXPECT_EQ(run(hours), 0);
  after = current_time();
  ASSERT_TRUE(seen_);
  EXPECT_EQ(seen_->filter.time_kind, kTimeHoursBack);
  EXPECT_EQ(seen_->filter.time_to, 0xFFFFFFFFu);
  EXPECT_TRUE(seen_->filter.time_from == before / 3600 * 3600 ||
              seen_->filter.time_from == after / 3600 * 3600);
}

TEST_F(RunFunction, TheLaterEventIdListWins) {
  arg_vector white_then_black{"rc", "-i", "1,2", "-j", "3", "s", "t"};
  EXPECT_EQ(run(white_then_black), 0);
  ASSERT_TRUE(seen_);
  EXPECT_TRUE(seen_->filter.id_on);
  EXPECT_EQ(seen_->filter.id_kind, kIdBlackList);
  EXPECT_EQ(seen_->filter.ids, std::vector<uint32_t>({3}));

  arg_vector black_then_white{"rc", "-j", "3", "-i", "1,2", "s", "t"};
  EXPECT_EQ(run(black_then_white), 0);
  ASSERT_TRUE(seen_);
  EXPECT_EQ(seen_->filter.id_kind, kIdWhiteList);
  EXPECT_EQ(seen_->filter.ids, std::vector<uint32_t>({1, 2}));
  EXPECT_EQ(err_, expected_banner());  // no error reported
}

TEST_F(RunFunction, PlainRunPassesPathsAndStartTime) {
  arg_vector args{"rc", "-c", "src dir", "dst"};
  EXPECT_EQ(run(args), 0);
  ASSERT_TRUE(seen_);
  EXPECT_EQ(seen_->source_path, "src dir");
  EXPECT_EQ(seen_->target_path, "dst");
  EXPECT_EQ(seen_->start_time, kStart);
  EXPECT_FALSE(seen_->verbose);
  EXPECT_FALSE(seen_->filter.time_on);  // -c changes nothing
  EXPECT_FALSE(seen_->filter.id_on);
  EXPECT_EQ(out_, "");
  EXPECT_EQ(err_, expected_banner());
}

TEST_F(RunFunction, PathsAreTheLastTwoArgumentsWhateverWasParsed) {
  arg_vector single{"/opt/rc", "dst"};
  EXPECT_EQ(run(single), 0);
  ASSERT_TRUE(seen_);
  EXPECT_EQ(seen_->source_path, "/opt/rc");  // the program's own path
  EXPECT_EQ(seen_->target_path, "dst");

  arg_vector after_path{"rc", "-v", "src", "-d", "1"};
  EXPECT_EQ(run(after_path), 0);
  ASSERT_TRUE(seen_);
  EXPECT_TRUE(seen_->verbose);
  EXPECT_FALSE(seen_->filter.time_on);  // options after the first path are not parsed
  EXPECT_EQ(seen_->source_path, "-d");
  EXPECT_EQ(seen_->target_path, "1");
}

TEST_F(RunFunction, ParserErrorsAreReportedAndTheRunGoesOn) {
  arg_vector unknown{"rc", "-x", "-v", "s", "t"};
  EXPECT_EQ(run(unknown), 0);
  EXPECT_EQ(err_, expected_banner() + "rc: unknown option, -x\n");
  ASSERT_TRUE(seen_);
  EXPECT_TRUE(verbose_);

  arg_vector missing{"rc", "-v", "-d"};
  EXPECT_EQ(run(missing), 0);
  EXPECT_EQ(err_, expected_banner() + "rc: argument missing for -d\n");
  ASSERT_TRUE(seen_);
  EXPECT_FALSE(seen_->filter.time_on);
  EXPECT_EQ(seen_->source_path, "-v");
  EXPECT_EQ(seen_->target_path, "-d");
}

TEST_F(RunFunction, SequenceResultIsTheRunResult) {
  arg_vector args{"rc", "s", "t"};
  EXPECT_EQ(run(args, 3), 3);
}

TEST_F(RunFunction, ExceptionIsReportedAndEndsTheRunWithZero) {
  arg_vector args{"rc", "-v", "s", "t"};
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  bool verbose = false;
  int result = run_function(args.argc(), args.argv(), kStart, verbose,
                            [](const run_request&) -> int { throw std::runtime_error("boom"); });
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "sub_main_ferrix exception\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), expected_banner());
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(verbose);
}

TEST_F(RunFunction, StandardErrorIsTiedToStandardOutput) {
  arg_vector args{"rc", "s", "t"};
  run(args);
  EXPECT_EQ(std::cerr.tie(), &std::cout);
}

TEST(EntryPoint, UsageEndsWithZeroAndNoElapsedTime) {
  arg_vector args{"rc", "-v", "-h"};
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(entry_point(args.argc(), args.argv(), [](const run_request&) { return 0; }), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), expected_usage("rc"));
  testing::internal::GetCapturedStderr();
}

// Digits, a dot, three digits, a line end.
bool is_elapsed_line(const std::string& s) {
  const size_t dot = s.find('.');
  if (dot == 0 || dot == std::string::npos || s.size() != dot + 5 || s.back() != '\n') return false;
  for (size_t i = 0; i + 1 < s.size(); ++i)
    if (i != dot && (s[i] < '0' || s[i] > '9')) return false;
  return true;
}

TEST(EntryPoint, VerboseAddsOneElapsedLineAndKeepsTheExitCode) {
  for (int code : {0, 3}) {
    arg_vector quiet{"rc", "s", "t"};
    arg_vector verbose{"rc", "-v", "s", "t"};
    auto sequence = [code](const run_request&) { return code; };
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(entry_point(quiet.argc(), quiet.argv(), sequence), code);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    testing::internal::GetCapturedStderr();

    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(entry_point(verbose.argc(), verbose.argv(), sequence), code);
    EXPECT_TRUE(is_elapsed_line(testing::internal::GetCapturedStdout()));
    testing::internal::GetCapturedStderr();
  }
}

TEST(Elapsed, WholeSecondsAndThreeDigitsOfMilliseconds) {
  EXPECT_EQ(elapsed_text(1000, 1000 + 123456789), "12.345");
  EXPECT_EQ(elapsed_text(0, 10120000), "1.012");
  EXPECT_EQ(elapsed_text(5, 5), "0.000");
  EXPECT_EQ(elapsed_text(0, 9999), "0.000");
  EXPECT_EQ(elapsed_text(0, 10000), "0.001");
  EXPECT_EQ(elapsed_text(0, 36000000000ULL * 10), "36000.000");
  EXPECT_EQ(elapsed_text(10000000, 0), "0.000");  // the clock stepped back
  testing::internal::CaptureStdout();
  print_elapsed(0, 10120000);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "1.012\n");
}

}  // namespace
}  // namespace repcopy
