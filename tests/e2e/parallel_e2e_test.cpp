// End-to-end: reading with several threads and copying in shards, over the real executable.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <tuple>

#include "filters/shard.h"
#include "platform/platform.h"
#include "tests/e2e/e2e_util.h"

namespace repcopy::e2e {
namespace {

class ParallelEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = testutil::temp_path("repcopy-e2e-" + std::to_string(::getpid()) + "-" +
                               testing::UnitTest::GetInstance()->current_test_info()->name());
    testutil::remove_tree(dir_);
    fs::create_directories(dir_);
    source_ = dir_ / "source";
    run_result r =
        run_command(testutil::repgen_program() + " " + quoted(source_) + " 3000 9", dir_);
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  }
  void TearDown() override {
    if (!dir_.empty()) testutil::remove_tree(dir_);
  }

  run_result copy(const std::string& options, const fs::path& target) {
    return run_command(
        testutil::repcopy_program() + " " + options + " " + quoted(source_) + " " + quoted(target),
        dir_);
  }

  fs::path dir_, source_;
};

// Events in an order that depends on their content alone.
std::vector<full_event> sorted(std::vector<full_event> events) {
  auto key = [](const full_event& e) {
    return std::tie(e.host_computer, e.under_data_source, e.record_key, e.event_time, e.computer,
                    e.description, e.data);
  };
  std::sort(events.begin(), events.end(),
            [&](const full_event& a, const full_event& b) { return key(a) < key(b); });
  return events;
}

TEST_F(ParallelEndToEnd, ShardsTogetherCopyExactlyTheEventsOfOneRun) {
  ASSERT_EQ(copy("", dir_ / "whole").exit_code, 0);
  const std::vector<full_event> whole = sorted(read_repository(dir_ / "whole"));
  ASSERT_EQ(whole.size(), 3000u);

  constexpr uint32_t kShards = 3;
  std::set<std::u16string> computers;
  int shards_with_events = 0;
  for (uint32_t k = 0; k < kShards; ++k) {
    const std::string shard = "--shard " + std::to_string(k) + "/" + std::to_string(kShards);
    // Every shard into one common target, as N machines would; and alone, to look at it.
    run_result r = copy(shard, dir_ / "common");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    ASSERT_EQ(copy(shard + " --read-threads 2", dir_ / ("alone" + std::to_string(k))).exit_code, 0);
    const std::vector<full_event> alone = read_repository(dir_ / ("alone" + std::to_string(k)));
    shards_with_events += !alone.empty();
    filter_config f;
    f.shard_index = k;
    f.shard_count = kShards;
    for (const full_event& e : alone) {
      ASSERT_TRUE(computer_in_shard(f, e.host_computer));
      computers.insert(e.host_computer);
    }
  }
  EXPECT_GE(shards_with_events, 2);
  EXPECT_GE(computers.size(), 3u);
  const std::vector<full_event> together = sorted(read_repository(dir_ / "common"));
  ASSERT_EQ(together.size(), whole.size());
  for (size_t i = 0; i < whole.size(); ++i) ASSERT_EQ(together[i], whole[i]) << "event " << i;
}

TEST_F(ParallelEndToEnd, BadShardOrThreadCountIsAUsageErrorAndCopiesNothing) {
  for (const char* options : {"--shard 3/3", "--shard 1", "--shard=-1/2", "--read-threads 0",
                              "--read-threads=x", "--read-threads 65"}) {
    run_result r = copy(options, dir_ / "target");
    EXPECT_EQ(r.exit_code, 2) << options;
    EXPECT_NE(r.err.find("Invalid --"), std::string::npos) << options << r.err;
    EXPECT_NE(r.out.find("Usage:"), std::string::npos) << options;
    EXPECT_FALSE(fs::exists(dir_ / "target")) << options;
  }
}

// Everything but the elapsed time and the writers' notes on data-source types, which the writer
// threads print whenever they meet a type.
std::string reader_output(const std::string& out) {
  std::istringstream in(out);
  std::string kept, last;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("Datasource name not found: ", 0) == 0 ||
        line == "Windows datasource type will be used")
      continue;
    kept += last;
    last = line + "\n";
  }
  return kept;
}

TEST_F(ParallelEndToEnd, SeveralReadThreadsPrintAndCopyWhatOneThreadDoes) {
  std::vector<fs::path> files;
  for (const fs::path& rel : testutil::files_below(source_)) files.push_back(source_ / rel);
  ASSERT_GE(files.size(), 8u);
  for (size_t i : {size_t(2), size_t(5)}) {  // a damaged item, a file cut short
    std::string bytes = read_text(files[i]);
    if (i == 2) bytes[700] = char(bytes[700] ^ 0xFF);
    std::ofstream(files[i], std::ios::binary | std::ios::trunc)
        << bytes.substr(0, i == 5 ? bytes.size() - 100 : bytes.size());
  }
  run_result one = copy("--read-threads 1", dir_ / "one");
  ASSERT_EQ(one.exit_code, 3) << one.err;
  ASSERT_NE(one.err.find("Damaged source file"), std::string::npos) << one.err;
  const std::vector<full_event> expected = sorted(read_repository(dir_ / "one"));
  for (int threads : {2, 4}) {
    const fs::path target = dir_ / ("threads" + std::to_string(threads));
    run_result several = copy("--read-threads=" + std::to_string(threads), target);
    EXPECT_EQ(several.exit_code, 3);
    EXPECT_EQ(without_sanitizer_notice(several.err), without_sanitizer_notice(one.err)) << threads;
    EXPECT_EQ(reader_output(several.out), reader_output(one.out)) << threads;
    EXPECT_EQ(sorted(read_repository(target)), expected) << threads;
  }
}

}  // namespace
}  // namespace repcopy::e2e
