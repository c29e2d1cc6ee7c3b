// End-to-end: repdump checks copies that the repcopy executable made from repgen repositories.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/e2e/e2e_util.h"

namespace repcopy::e2e {
namespace {

class RepdumpEndToEnd : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = fs::temp_directory_path() / ("repdump-e2e-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    run_result r =
        run_command(testutil::repgen_program() + " " + quoted(dir_ / "source") + " 2000 3", dir_);
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  }
  static void TearDownTestSuite() { fs::remove_all(dir_); }

  static run_result repdump(const std::string& args) {
    return run_command(testutil::repdump_program() + " " + args, dir_);
  }
  // A fresh copy of the source into target/<name> with repcopy's options.
  static fs::path copy(const std::string& name, const std::string& options = "") {
    const fs::path target = dir_ / "target" / name;
    fs::remove_all(target);
    run_result r = run_command(testutil::repcopy_program() + " " + options + " " +
                                   quoted(dir_ / "source") + " " + quoted(target),
                               dir_);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return target;
  }
  static std::string source() { return quoted(dir_ / "source"); }

  static fs::path dir_;
};
fs::path RepdumpEndToEnd::dir_;

TEST_F(RepdumpEndToEnd, VerifyPassesEveryFileRepcopyWritesAndFlagsADamagedOne) {
  const fs::path target = copy("all");
  run_result r = repdump("verify " + quoted(target));
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_NE(r.out.find(" file(s), 2000 event(s), 0 damaged\n"), std::string::npos) << r.out;
  EXPECT_EQ(repdump("verify " + source()).exit_code, 0);

  fs::path victim;
  for (const auto& e : fs::recursive_directory_iterator(target))
    if (e.is_regular_file()) victim = e.path();
  fs::resize_file(victim, fs::file_size(victim) - 1);
  r = repdump("verify " + quoted(target));
  EXPECT_EQ(r.exit_code, 1) << r.out;
  EXPECT_EQ(r.out.rfind(victim.string() + ": truncated: ", 0), 0u) << r.out;
  EXPECT_NE(r.out.find(", 1 damaged\n"), std::string::npos) << r.out;
}

TEST_F(RepdumpEndToEnd, DiffPassesCopiesMadeWithAndWithoutFilters) {
  const char* filters[] = {"", "-i 4600,4601", "-j 4600", "-f 2023111500 -t 2023111502"};
  for (const char* options : filters) {
    SCOPED_TRACE(options);
    const fs::path target = copy("filtered", options);
    run_result r = repdump("diff " + source() + " " + quoted(target) + " " + options);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find(": equal\n"), std::string::npos) << r.out;
    if (*options != '\0') {  // the unfiltered source holds more than the copy
      r = repdump("diff " + source() + " " + quoted(target));
      EXPECT_EQ(r.exit_code, 1) << r.out;
      EXPECT_EQ(r.out.rfind("missing: ", 0), 0u) << r.out;
    }
  }
}

TEST_F(RepdumpEndToEnd, StatsCountEveryEventAndUsageErrorsExitWithTwo) {
  run_result r = repdump("stats --json " + source());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("\"totals\": {"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"events\": 2000,"), std::string::npos) << r.out;
  for (const char* args :
       {"", "verify", "diff onlyone", "frobnicate x", "diff a b -q 1", "diff a b -f 2023133"}) {
    SCOPED_TRACE(args);
    EXPECT_EQ(repdump(args).exit_code, 2);
  }
}

// The usage errors of repgen and repdump: each exits 2 with one "repgen: " or "repdump: " line
// naming the problem and creates nothing; -h, --help and --version exit 0.
TEST_F(RepdumpEndToEnd, UsageErrorsOfTheToolsExitTwoAndCreateNothing) {
  const fs::path scratch = dir_ / "scratch";
  fs::create_directories(scratch / "empty");
  fs::create_directories(scratch / "no-rep");
  std::ofstream(scratch / "no-rep" / "notes.txt") << "x";
  const std::string g = testutil::repgen_program(), d = testutil::repdump_program();
  const std::string s = quoted(scratch), n = quoted(scratch / "new");
  const std::pair<std::string, std::string> cases[] = {
      {g, "repgen: no repository directory given"},
      {g + " " + n + " -5", "repgen: events must be a number from 1 to 100000000: -5"},
      {g + " " + n + " abc", "repgen: events must be a number from 1 to 100000000: abc"},
      {g + " " + n + " 0", "repgen: events must be a number from 1 to 100000000: 0"},
      {g + " " + n + " 100000001", "repgen: events must be a number from 1 to 100000000"},
      {g + " " + n + " 10 x", "repgen: seed must be a number from 0 to 4294967295: x"},
      {g + " " + n + " 10 1 extra", "repgen: too many arguments: extra"},
      {g + " --bogus " + n, "repgen: unknown option --bogus"},
      {g + " --profile huge " + n, "repgen: unknown profile huge"},
      {g + " --profile", "repgen: --profile needs small or realistic"},
      {d + " stats " + quoted(scratch / "nosuch"), "repdump: no such file or directory: "},
      {d + " verify " + quoted(scratch / "nosuch"), "repdump: no such file or directory: "},
      {d + " verify " + quoted(scratch / "no-rep"), "repdump: no repository file (*.rep) in "},
      {d + " verify " + quoted(scratch / "empty"), "repdump: no repository file (*.rep) in "},
      {d + " show " + quoted(scratch / "nosuch.rep"), "repdump: no such file or directory: "},
      {d + " verify --bogus " + s, "repdump: unknown option --bogus"},
      {d + " stats -x " + s, "repdump: unknown option -x"},
      {d + " frobnicate", "repdump: unknown command frobnicate"},
      {d + " diff " + s, "repdump: diff needs a source and a target directory"}};
  const auto before = snapshot(scratch);
  for (const auto& [command, line] : cases) {
    SCOPED_TRACE(command);
    run_result r = run_command(command, dir_);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err.rfind(line, 0), 0u) << r.err;
    EXPECT_EQ(snapshot(scratch), before);
    EXPECT_FALSE(fs::exists(scratch / "new"));
    EXPECT_FALSE(fs::exists(dir_ / "--help"));
  }
  for (const std::string& command :
       {g + " -h", g + " --help", g + " --version", d + " -h", d + " --help", d + " --version"}) {
    SCOPED_TRACE(command);
    run_result r = run_command(command, dir_);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out, "");
    EXPECT_EQ(r.err, "");
  }
  EXPECT_FALSE(fs::exists(dir_ / "-h"));
  EXPECT_FALSE(fs::exists(dir_ / "--help"));
  EXPECT_FALSE(fs::exists(dir_ / "--version"));
}

}  // namespace
}  // namespace repcopy::e2e
