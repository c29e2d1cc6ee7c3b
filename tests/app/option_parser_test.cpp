#include "app/option_parser.h"

#include <gtest/gtest.h>

#include <string>

#include "app/run.h"
#include "tests/app/app_test_util.h"

namespace repcopy {
namespace {

using testing_app::arg_vector;

struct parsed {
  std::string letters;    // option letters in order, '?' for errors
  std::string arguments;  // option arguments joined by '|'
  int index = 0;          // index after the options
};

parsed parse_all(arg_vector& args) {
  option_parser p(args.argc(), args.argv(), kOptionString);
  parsed out;
  for (int c; (c = p.next()) != option_parser::kEnd;) {
    out.letters += char(c);
    if (p.argument()) out.arguments += std::string(p.argument()) + "|";
  }
  out.index = p.index();
  return out;
}

TEST(OptionParser, GroupedLettersAndArguments) {
  struct Case {
    arg_vector args;
    const char* letters;
    const char* arguments;
    int index;
  } cases[] = {
      {{"p", "-hv", "s", "t"}, "hv", "", 2},
      {{"p", "-vd3", "s", "t"}, "vd", "3|", 2},
      {{"p", "-d", "-r", "s", "t"}, "d", "-r|", 3},  // the next argument even with a dash
      {{"p", "-f2019", "-t", "2020", "-c", "s", "t"}, "ftc", "2019|2020|", 5},
      {{"p", "s", "-v", "t"}, "", "", 1},   // the first non-option ends the options
      {{"p", "-", "-v", "t"}, "", "", 1},   // so does a lone dash
      {{"p", "--", "-v", "t"}, "", "", 2},  // "--" is stepped over
      {{"p"}, "", "", 1},
  };
  for (Case& c : cases) {
    parsed r = parse_all(c.args);
    EXPECT_EQ(r.letters, c.letters);
    EXPECT_EQ(r.arguments, c.arguments);
    EXPECT_EQ(r.index, c.index);
  }
}

TEST(OptionParser, UnknownLetterIsReportedOnDescriptorTwoAndSkipped) {
  arg_vector args{"/bin/rc", "-xv", "-:", "s", "t"};
  testing::internal::CaptureStderr();
  parsed r = parse_all(args);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "/bin/rc: unknown option, -x\n/bin/rc: unknown option, -:\n");
  EXPECT_EQ(r.letters, "?v?");
  EXPECT_EQ(r.index, 3);
}

TEST(OptionParser, MissingArgumentIsReportedAndEndsTheOptions) {
  arg_vector args{"rc", "-v", "-d"};
  testing::internal::CaptureStderr();
  parsed r = parse_all(args);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "rc: argument missing for -d\n");
  EXPECT_EQ(r.letters, "v?");
  EXPECT_EQ(r.index, 3);
}

}  // namespace
}  // namespace repcopy
