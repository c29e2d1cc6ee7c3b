// End-to-end: copying in shards, with several reading threads, over the real executable.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <tuple>

#include "filters/shard.h"
#include "platform/platform.h"
#include "tests/e2e/e2e_util.h"

namespace repcopy::e2e {
namespace {

class ParallelEndToEnd : public e2e_test {
 protected:
  void SetUp() override {
    e2e_test::SetUp();
    generate(3000, 9);
  }
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
  ASSERT_EQ(copy("", {}, dir_ / "whole").exit_code, 0);
  const std::vector<full_event> whole = sorted(read_repository(dir_ / "whole"));
  ASSERT_EQ(whole.size(), 3000u);

  constexpr uint32_t kShards = 3;
  std::set<std::u16string> computers;
  int shards_with_events = 0;
  for (uint32_t k = 0; k < kShards; ++k) {
    const std::string shard = "--shard " + std::to_string(k) + "/" + std::to_string(kShards);
    // Every shard into one common target, as N machines would; and alone, to look at it.
    run_result r = copy(shard, {}, dir_ / "common");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    ASSERT_EQ(copy(shard + " --read-threads 2", {}, dir_ / ("alone" + std::to_string(k))).exit_code,
              0);
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

}  // namespace
}  // namespace repcopy::e2e
