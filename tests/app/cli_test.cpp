// The built executable, end to end: outputs and exit codes as the shell sees them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <memory>
#include <string>

#include "tests/app/app_test_util.h"

namespace repcopy {
namespace {

struct run_result {
  std::string out;
  int exit_code = -1;
};

// Runs the program with a shell command tail; returns standard output and the exit code.
run_result run_program(const std::string& tail) {
  run_result r;
  const std::string command = std::string("'") + REPCOPY_BIN + "' " + tail;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) r.out.append(buf, n);
  const int status = ::pclose(pipe);
  if (WIFEXITED(status)) r.exit_code = WEXITSTATUS(status);
  return r;
}

TEST(Cli, HelpPrintsTheUsageAndExitsWithZero) {
  run_result r = run_program("-h 2>/dev/null");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, testing_app::expected_usage("repcopy"));
}

TEST(Cli, NoArgumentPrintsBannerOnStandardErrorAndUsageOnStandardOutput) {
  run_result err = run_program("2>&1 >/dev/null");
  EXPECT_EQ(err.exit_code, 0);
  EXPECT_EQ(err.out, testing_app::expected_banner());
  run_result out = run_program("2>/dev/null");
  EXPECT_EQ(out.out, testing_app::expected_usage("repcopy"));
}

TEST(Cli, RefusedCombinationExitsWithZero) {
  run_result r = run_program("-t 2019 -t 2020 a b 2>&1 >/dev/null");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, testing_app::expected_banner() + "Wrong filter\n");
}

TEST(Cli, UnknownOptionNamesTheProgramPathOnStandardError) {
  run_result r = run_program("-x -h 2>&1 >/dev/null");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, testing_app::expected_banner() + REPCOPY_BIN + ": unknown option, -x\n");
}

}  // namespace
}  // namespace repcopy
