// End-to-end: repdump checks copies that the repcopy executable made from repgen repositories.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/container/rep_file_bytes.h"
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
  // Named as repdump opened it: on Windows in the extended-length form.
  const std::string named = (platform::kWindows ? "\\\\?\\" : "") + victim.string();
  EXPECT_EQ(r.out.rfind(named + ": truncated: ", 0), 0u) << r.out;
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

// A source file whose footer has an empty "Domain" is copied under "Unknown", as events without a
// domain are filed; diff reads both sides the way the copy writes them, so they compare equal.
TEST_F(RepdumpEndToEnd, ACopyOfAFileWithAnEmptyDomainIsEqualToItsSource) {
  const fs::path source = dir_ / "empty-domain", target = dir_ / "target" / "empty-domain";
  fs::remove_all(source);
  fs::remove_all(target);
  put(source / "Environment$/D/a.rep",
      test::rep_file_builder().windows(u"WS01", u"").part(test::sample_part()).build());
  run_result r = run_command(testutil::repcopy_program() + " " + quoted(source) + " " +
                                 quoted(target),
                             dir_);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("Unknown"), std::string::npos) << r.out;
  r = repdump("diff " + quoted(source) + " " + quoted(target));
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("missing 0, extra 0, changed 0, duplicated 0: equal\n"), std::string::npos)
      << r.out;
}

// Names that are not UTF-8 are read under the file system's own bytes and shown escaped; a
// directory that cannot be listed is reported as damage, never passed over.
TEST_F(RepdumpEndToEnd, NamesThatAreNotUtf8AndUnreadableDirectories) {
#if defined(_WIN32)
  GTEST_SKIP() << "Windows names are UTF-16, and its directories are closed by ACLs, not modes";
#else
  const fs::path tree = dir_ / "odd";
  fs::remove_all(tree);
  const test::bytes sound =
      test::rep_file_builder().windows(u"WS01", u"CORP").part(test::sample_part()).build();
  put(tree / "d\xff" / "f\xfe.rep", sound);
  const std::string shown = (tree / "d\\xFF" / "f\\xFE.rep").string();
  for (const char* command : {"verify", "stats", "show"}) {
    SCOPED_TRACE(command);
    const std::string what = std::string(command) == "show" ? quoted(tree / "d\xff" / "f\xfe.rep")
                                                            : quoted(tree);
    const run_result r = repdump(std::string(command) + " " + what);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    if (std::string(command) == "verify") {
      EXPECT_EQ(r.out, "verify: 1 file(s), 3 event(s), 0 damaged\n");
    } else if (std::string(command) == "stats") {
      EXPECT_NE(r.out.find("  files 1, events 3,"), std::string::npos) << r.out;
    } else {
      EXPECT_EQ(r.out.rfind("==== " + shown + " ====\n", 0), 0u) << r.out.substr(0, 300);
      EXPECT_NE(r.out.find("Load = 0, kind = 1\n"), std::string::npos);
    }
  }
  // A directory its user may not read. Root reads it all the same, so root runs repdump as
  // "nobody" where it can.
  fs::create_directories(tree / "locked");
  put(tree / "locked" / "g.rep", sound);
  ::chmod((tree / "locked").c_str(), 0);
  std::string as_user;
  if (::geteuid() == 0) {
    as_user = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    if (std::system((as_user + "test -x " + testutil::repdump_program() + " -a -r " +
                     quoted(tree / "d\xff" / "f\xfe.rep") + " 2>/dev/null")
                        .c_str()) != 0) {
      ::chmod((tree / "locked").c_str(), 0755);
      GTEST_SKIP() << "cannot run as an ordinary user here; the unreadable directory is not tried";
    }
  }
  auto repdump_as_user = [&](const std::string& args) {
    return run_command(as_user + testutil::repdump_program() + " " + args, dir_);
  };
  run_result r = repdump_as_user("verify " + quoted(tree));
  EXPECT_EQ(r.exit_code, 1) << r.out;
  EXPECT_NE(r.out.find((tree / "locked").string() + ": unreadable: Permission denied\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("verify: 1 file(s), 3 event(s), 1 damaged\n"), std::string::npos) << r.out;
  r = repdump_as_user("stats " + quoted(tree));
  EXPECT_NE(r.out.find("Unreadable, not counted: " + (tree / "locked").string() +
                       ": Permission denied\n"),
            std::string::npos)
      << r.out;
  ::chmod((tree / "locked").c_str(), 0755);
#endif
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
      {g + " --profile", "repgen: --profile needs small, easy or realistic"},
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
