#include "copy/copy_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "copy_fakes.h"

namespace repcopy {
namespace {

using namespace std::chrono_literals;
using testing_fakes::gate;
using testing_fakes::generated_source;
using testing_fakes::make_event;
using testing_fakes::recording_target;
using testing_fakes::vector_source;
using testing_fakes::written_batch;

int32_t run(worker_pool& pool, event_storage& storage, std::vector<CommonSource*> sources,
            CommonTarget& target, copy_outcome& outcome, const filter_config& filter = {}) {
  return run_copy_driver(pool, storage, sources, target, filter, outcome);
}

// Events of one data source, keys first..first+count-1.
std::vector<full_event> series(uint32_t first, uint32_t count, const std::u16string& ds,
                               size_t bytes = 8) {
  std::vector<full_event> v;
  for (uint32_t i = 0; i < count; ++i)
    v.push_back(make_event(first + i, u"SRV01", ds, u"CORP", bytes));
  return v;
}

std::vector<std::u16string> ds_order(const std::vector<written_batch>& batches) {
  std::vector<std::u16string> names;
  for (const written_batch& b : batches) names.push_back(b.ds_name);
  return names;
}

std::vector<uint32_t> batch_sizes(const std::vector<written_batch>& batches) {
  std::vector<uint32_t> sizes;
  for (const written_batch& b : batches) sizes.push_back(static_cast<uint32_t>(b.keys.size()));
  return sizes;
}

// A mixed load over three computers, four data sources and two sources (one empty in between),
// with event sizes that make the byte limit, the event limit and the pending limit all fire.
class CopyDriverWriters : public ::testing::TestWithParam<int> {};

TEST_P(CopyDriverWriters, EveryEventIsWrittenExactlyOnce) {
  const std::u16string hosts[] = {u"SRV01", u"srv02", u"Srv03"};
  const std::u16string sources_ds[] = {u"Security", u"System", u"Application", u"Setup"};
  std::vector<full_event> first, third;
  uint32_t key = 0;
  for (uint32_t i = 0; i < 5000; ++i, ++key)
    first.push_back(
        make_event(key, hosts[i % 3], sources_ds[(i / 7) % 4], u"CORP", i % 11 == 0 ? 400 : 16));
  for (uint32_t i = 0; i < 1000; ++i, ++key)
    third.push_back(make_event(key, hosts[i % 2], sources_ds[i % 4], u"", 16));
  vector_source s1(first), s2({}), s3(third);

  recording_target target;
  worker_pool pool(GetParam());
  event_storage storage(50, 2000, 300);
  copy_outcome outcome;
  ASSERT_EQ(run(pool, storage, {&s1, &s2, &s3}, target, outcome), 0);

  const auto counts = target.key_counts();
  ASSERT_EQ(counts.size(), 6000u);
  EXPECT_EQ(counts.begin()->first, 0u);
  EXPECT_EQ(counts.rbegin()->first, 5999u);
  for (const auto& [k, n] : counts) ASSERT_EQ(n, 1) << "key " << k;
  for (const written_batch& b : target.batches()) {
    EXPECT_LE(b.keys.size(), 50u);
    EXPECT_LE(b.data_bytes, 2000u);
    EXPECT_EQ(b.batch_count, b.keys.size());
  }
  EXPECT_EQ(storage.pending(), 0u);
  EXPECT_LE(storage.peak_pending(), 300u);
  EXPECT_EQ(storage.total_added(), 6000u);
  EXPECT_TRUE(outcome.complete());
  EXPECT_FALSE(pool.submit(copy_task{}));  // finished
}

INSTANTIATE_TEST_SUITE_P(Threads, CopyDriverWriters, ::testing::Values(1, 4));

// With one writer, batches are written in the order they were submitted, so the events of each
// data source arrive in the order the sources delivered them.
TEST(CopyDriver, OneWriterKeepsEachDataSourceInOrder) {
  std::vector<full_event> events;
  for (uint32_t i = 0; i < 3000; ++i)
    events.push_back(make_event(i, i % 2 ? u"A" : u"B", i % 3 ? u"x" : u"y"));
  vector_source source(events);
  recording_target target;
  worker_pool pool(1);
  event_storage storage(40, 1000000, 150);
  copy_outcome outcome;
  ASSERT_EQ(run(pool, storage, {&source}, target, outcome), 0);
  std::map<std::u16string, uint32_t> last;
  for (const written_batch& b : target.batches())
    for (uint32_t k : b.keys) {
      const std::u16string id = b.computer_name + u"/" + b.ds_name;
      if (last.count(id)) {
        EXPECT_GT(k, last[id]);
      }
      last[id] = k;
    }
}

TEST(CopyDriver, BatchesOfExactly64000EventsWithTheRealLimits) {
  generated_source source(2 * 64000 + 5,
                          [](uint32_t i) { return make_event(i, u"SRV01", u"Security"); });
  recording_target target;
  worker_pool pool(1);
  event_storage storage;
  copy_outcome outcome;
  ASSERT_EQ(run(pool, storage, {&source}, target, outcome), 0);
  EXPECT_EQ(batch_sizes(target.batches()), (std::vector<uint32_t>{64000, 64000, 5}));
}

TEST(CopyDriver, EventThatWouldPassTheByteLimitOpensTheNextBatch) {
  vector_source source(series(0, 7, u"App", 300));
  recording_target target;
  worker_pool pool(1);
  event_storage storage(100, 1000, 10000);
  copy_outcome outcome;
  ASSERT_EQ(run(pool, storage, {&source}, target, outcome), 0);
  const auto batches = target.batches();
  ASSERT_EQ(batch_sizes(batches), (std::vector<uint32_t>{3, 3, 1}));
  EXPECT_EQ(batches[1].keys, (std::vector<uint32_t>{3, 4, 5}));
  EXPECT_EQ(batches[0].data_bytes, 900u);
}

// The tenth pending event makes the largest batch (B) leave; the final drain takes the rest
// largest first, the first in key order among equals.
TEST(CopyDriver, PendingLimitAndFinalDrainTakeTheLargestBatchFirst) {
  std::vector<full_event> events = series(0, 3, u"C");
  for (const auto& e : series(3, 4, u"B")) events.push_back(e);
  for (const auto& e : series(7, 3, u"A")) events.push_back(e);  // the 10th is pending limit
  for (const auto& e : series(10, 2, u"D")) events.push_back(e);
  for (const auto& e : series(12, 2, u"C")) events.push_back(e);  // C: 5, A: 3, D: 2
  vector_source source(events);
  recording_target target;
  worker_pool pool(1);
  event_storage storage(100, 1000000, 10);
  copy_outcome outcome;
  ASSERT_EQ(run(pool, storage, {&source}, target, outcome), 0);
  const auto batches = target.batches();
  EXPECT_EQ(ds_order(batches), (std::vector<std::u16string>{u"B", u"C", u"A", u"D"}));
  EXPECT_EQ(batch_sizes(batches), (std::vector<uint32_t>{4, 5, 3, 2}));
}

TEST(CopyDriver, FinalDrainAmongEqualsFollowsKeyOrder) {
  std::vector<full_event> events = series(0, 5, u"b");
  for (const auto& e : series(5, 9, u"c")) events.push_back(e);
  for (const auto& e : series(14, 5, u"a")) events.push_back(e);
  vector_source source(events);
  recording_target target;
  worker_pool pool(1);
  event_storage storage;
  copy_outcome outcome;
  ASSERT_EQ(run(pool, storage, {&source}, target, outcome), 0);
  EXPECT_EQ(ds_order(target.batches()), (std::vector<std::u16string>{u"c", u"a", u"b"}));
}

// Batches taken by count, by bytes and in the final drain all file under "Unknown" and the
// upper-cased computer key, never under the event's empty domain or its own computer name.
TEST(CopyDriver, EventsWithoutDomainFileUnderUnknownHoweverTheyLeave) {
  std::vector<full_event> events;
  const size_t sizes[] = {1, 1, 1, 60, 60, 1};  // 3 by count; 60+60 passes 100 bytes; drain
  for (uint32_t i = 0; i < 6; ++i)
    events.push_back(make_event(i, u"srv01", u"Sys", u"", sizes[i], u"srv01.corp.local"));
  vector_source source(events);
  recording_target target;
  worker_pool pool(2);
  event_storage storage(3, 100, 1000);
  copy_outcome outcome;
  ASSERT_EQ(run(pool, storage, {&source}, target, outcome), 0);
  const auto batches = target.batches();
  ASSERT_EQ(batches.size(), 3u);
  for (const written_batch& b : batches) {
    EXPECT_EQ(b.domain_name, u"Unknown");
    EXPECT_EQ(b.computer_name, u"SRV01");
    EXPECT_EQ(b.platform_id, 500u);
  }
}

TEST(CopyDriver, FiltersDropEventsBeforeTheStorage) {
  std::vector<full_event> events;
  for (uint32_t i = 0; i < 40; ++i) {
    full_event e = make_event(i, u"H", u"S");
    e.event_id = i % 4 == 0 ? 4625 : 4624;
    e.event_time = 1000 + i;
    events.push_back(e);
  }
  filter_config filter;
  filter.id_on = true;
  filter.id_kind = 2;  // white list
  filter.ids = {4625, 1};
  filter.time_on = true;
  filter.time_from = 1008;
  filter.time_to = 1032;  // inclusive
  vector_source source(events);
  recording_target target;
  worker_pool pool(2);
  event_storage storage;
  copy_outcome outcome;
  ASSERT_EQ(run(pool, storage, {&source}, target, outcome, filter), 0);
  std::vector<uint32_t> keys;
  for (const auto& [k, n] : target.key_counts()) keys.push_back(k);
  EXPECT_EQ(keys, (std::vector<uint32_t>{8, 12, 16, 20, 24, 28, 32}));
  EXPECT_EQ(storage.total_added(), 7u);
}

TEST(CopyDriver, RunWhoseFiltersDropEverythingWritesNothingAndFinishes) {
  vector_source empty({}), source(series(0, 10, u"S"));
  filter_config filter;
  filter.id_on = true;
  filter.id_kind = 2;  // white list of an id no event has
  recording_target target;
  worker_pool pool(3);
  event_storage storage;
  copy_outcome outcome;
  ASSERT_EQ(run(pool, storage, {&empty, &source}, target, outcome, filter), 0);
  EXPECT_TRUE(target.batches().empty());
  EXPECT_EQ(pool.statistics().submitted, 0u);
  EXPECT_FALSE(pool.submit(copy_task{}));
  std::ostringstream out;
  storage.print_summary(out);
  EXPECT_EQ(out.str(), "Unknown\n");
}

TEST(CopyDriver, OversizedEventIsReportedCountedAndTheOthersAreWritten) {
  std::vector<full_event> events = series(0, 2, u"App", 10);
  events.push_back(make_event(2, u"srv01", u"App", u"CORP", 1001));
  for (const auto& e : series(3, 2, u"App", 10)) events.push_back(e);
  vector_source source(events);
  recording_target target;
  worker_pool pool(1);
  event_storage storage(100, 1000, 1000);
  copy_outcome outcome;
  testing::internal::CaptureStderr();
  ASSERT_EQ(run(pool, storage, {&source}, target, outcome), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Event not copied: its data (1001 bytes) exceeds the batch limit of 1000 bytes; "
            "data source App, computer SRV01, domain CORP\n");
  EXPECT_EQ(outcome.dropped_events(), 1u);
  EXPECT_FALSE(outcome.complete());
  const auto counts = target.key_counts();
  EXPECT_EQ(counts.size(), 4u);
  EXPECT_EQ(counts.count(2), 0u);
  // The batch before the oversized event left to make room; the rest left in the drain.
  EXPECT_EQ(batch_sizes(target.batches()), (std::vector<uint32_t>{2, 2}));
}

TEST(CopyDriver, FailedBatchesAreCountedAndTheRunGoesOn) {
  std::vector<full_event> events = series(0, 25, u"Bad");
  for (const auto& e : series(25, 12, u"Good")) events.push_back(e);
  for (const auto& e : series(37, 3, u"Throws")) events.push_back(e);
  vector_source source(events);
  recording_target target;
  target.fail_data_source(u"Bad");
  target.throw_on_data_source(u"Throws");
  worker_pool pool(2);
  event_storage storage(10, 1000000, 1000);
  copy_outcome outcome;
  testing::internal::CaptureStderr();
  ASSERT_EQ(run(pool, storage, {&source}, target, outcome), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Batch not written: disk on fire\n");
  EXPECT_EQ(outcome.failed_batches(), 4u);  // Bad: 10, 10, 5; Throws: 3
  EXPECT_EQ(outcome.failed_events(), 28u);
  EXPECT_FALSE(outcome.complete());
  EXPECT_EQ(outcome.summary_line(),
            "Copy incomplete: 4 batch(es) with 28 event(s) not written, 0 oversized event(s) "
            "dropped, 0 damaged source file(s)");
}

TEST(CopyDriver, CompleteRunLeavesTheOutcomeClean) {
  vector_source source(series(0, 100, u"S"));
  recording_target target;
  worker_pool pool(2);
  event_storage storage(7, 1000000, 1000);
  copy_outcome outcome;
  ASSERT_EQ(run(pool, storage, {&source}, target, outcome), 0);
  EXPECT_TRUE(outcome.complete());
  EXPECT_EQ(outcome.failed_batches(), 0u);
}

// One writer held at the gate and a queue of four tasks: the driver blocks in submit, and once
// the writer moves on every batch is written once, in order.
TEST(CopyDriver, FullQueueBlocksTheDriverWithoutLosingBatches) {
  gate door;
  recording_target target;
  target.set_hook([&](const storage_item&) { door.pass(); });
  vector_source source(series(0, 100, u"S"));
  worker_pool pool(1, 4);
  event_storage storage(1, 1000000, 1000);  // one event per batch
  copy_outcome outcome;
  std::atomic<bool> done{false};
  std::thread driver([&] {
    run(pool, storage, {&source}, target, outcome);
    done = true;
  });
  door.wait_for_arrivals(1);
  // The writer may take its first task only after the driver started waiting; the settled
  // state is a held writer, a full queue and a waiting driver.
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!(pool.waiting_submitters() == 1 && pool.queued_tasks() == 4) &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
  EXPECT_EQ(pool.waiting_submitters(), 1u);
  EXPECT_EQ(pool.queued_tasks(), 4u);
  EXPECT_FALSE(done);
  door.open();
  driver.join();
  std::vector<uint32_t> keys;
  for (const written_batch& b : target.batches())
    keys.insert(keys.end(), b.keys.begin(), b.keys.end());
  std::vector<uint32_t> expected(100);
  for (uint32_t i = 0; i < 100; ++i) expected[i] = i;
  EXPECT_EQ(keys, expected);
}

// With writers slower than the reader, the events held by queued tasks never pass the bound
// (two full batches per writer) while the driver keeps submitting.
TEST(CopyDriver, QueuedEventsStayWithinTheBoundWithASlowTarget) {
  worker_pool pool(2, 1000, 0, 10);  // bound 2 * 10 * 2 = 40 events
  ASSERT_EQ(pool.event_bound(), 40u);
  std::atomic<uint64_t> max_seen{0};
  recording_target target;
  target.set_delay(500us);
  target.set_hook([&](const storage_item&) {
    const uint64_t now = pool.queued_events();
    uint64_t seen = max_seen.load();
    while (now > seen && !max_seen.compare_exchange_weak(seen, now)) {
    }
  });
  generated_source source(1500,
                          [](uint32_t i) { return make_event(i, u"H", i % 3 == 0 ? u"x" : u"y"); });
  event_storage storage(10, 1000000, 100000);
  copy_outcome outcome;
  ASSERT_EQ(run(pool, storage, {&source}, target, outcome), 0);
  const worker_pool::stats stats = pool.statistics();
  EXPECT_GT(stats.submit_waits, 0u);  // the bound was reached and held
  EXPECT_LE(stats.peak_queued_events, 40u);
  EXPECT_GE(stats.peak_queued_events, 30u);
  EXPECT_LE(max_seen.load(), 40u);
  EXPECT_EQ(target.key_counts().size(), 1500u);
}

// An exception leaving the driver stops the writers before it propagates: nothing runs after
// the driver returns, and every event read is written, counted as failed, or still pending.
TEST(CopyDriver, ExceptionFromASourceStopsAndJoinsTheWritersFirst) {
  vector_source source(series(0, 1000, u"S"));
  source.throw_at(500);
  recording_target target;
  target.set_delay(200us);
  worker_pool pool(2, 3);
  event_storage storage(5, 1000000, 1000);
  copy_outcome outcome;
  EXPECT_THROW(run(pool, storage, {&source}, target, outcome), std::runtime_error);
  const size_t written_now = target.key_counts().size();
  EXPECT_FALSE(pool.submit(copy_task{}));
  std::this_thread::sleep_for(5ms);
  EXPECT_EQ(target.key_counts().size(), written_now);  // no writer is left running
  EXPECT_EQ(written_now + outcome.failed_events() + storage.pending(), 500u);
}

}  // namespace
}  // namespace repcopy
