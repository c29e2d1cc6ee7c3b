#include "copy/copy_driver.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <future>
#include <set>
#include <thread>
#include <utility>

#include "copy_fakes.h"
#include "tests/test_console.h"
#include "util/fatal.h"

namespace repcopy {
namespace {

using namespace std::chrono_literals;
using namespace testing_fakes;

// Runs the driver over sources and keeps what the target received.
struct copy_run {
  recording_target target;
  copy_outcome outcome;
  int32_t run(worker_pool& pool, event_storage& storage, std::vector<CommonSource*> sources) {
    return run_copy_driver(test_console(), pool, storage, sources, target, outcome);
  }
};
using ds_sizes = std::vector<std::pair<std::u16string, size_t>>;

// A source of runs of events of one data source each, keys numbering all events.
struct run_of {
  std::u16string ds;
  size_t count;
  size_t bytes = 8;
};
fn_source source_of(const std::vector<run_of>& runs) {
  std::vector<std::pair<std::u16string, size_t>> plan;  // data source and size of each event
  for (const run_of& r : runs) plan.insert(plan.end(), r.count, {r.ds, r.bytes});
  return fn_source(uint32_t(plan.size()), [plan](uint32_t i) {
    return make_event(i, u"SRV01", plan[i].first, u"CORP", plan[i].second);
  });
}

// A mixed load over four computers, four data sources and two sources (one empty in between),
// with sizes that make the byte, event and pending limits all fire. The second source has no
// domains: its known computers stay in "CORP", the new one files under "Unknown". Every batch
// carries the upper-cased computer key and the platform of the computer's first event.
class CopyDriverWriters : public ::testing::TestWithParam<int> {};

TEST_P(CopyDriverWriters, EveryEventIsWrittenOnceUnderItsEntryNames) {
  const std::u16string hosts[] = {u"SRV01", u"srv02", u"Srv03", u"web9"};
  const std::u16string names[] = {u"Security", u"System", u"Application", u"Setup"};
  auto make = [&](uint32_t key, uint32_t host, std::u16string domain) {
    full_event e = make_event(key, hosts[host], names[(key / 7) % 4], domain,
                              key % 11 == 0 ? 400 : 16, host == 3 ? u"web9.corp.local" : u"");
    e.platform_id = key <= 5000 ? 500 : 630;
    return e;
  };
  fn_source s1(5000, [&](uint32_t i) { return make(i, i % 3, u"CORP"); });
  fn_source s2(0, nullptr);
  fn_source s3(1000, [&](uint32_t i) { return make(5000 + i, i % 4 == 0 ? 3 : i % 3, u""); });
  copy_run r;
  worker_pool pool(test_console(), GetParam());
  event_storage storage(50, 2000, 300);
  ASSERT_EQ(r.run(pool, storage, {&s1, &s2, &s3}), 0);
  const auto counts = r.target.key_counts();
  ASSERT_EQ(counts.size(), 6000u);
  for (const auto& [k, n] : counts) ASSERT_EQ(n, 1) << "key " << k;
  std::set<std::u16string> computers;
  for (const written_batch& b : r.target.batches()) {
    EXPECT_LE(b.keys.size(), 50u);
    EXPECT_LE(b.data_bytes, 2000u);
    EXPECT_EQ(b.item.batch_count, b.keys.size());
    EXPECT_EQ(b.item.domain_name,
              std::u16string(b.item.computer_name == u"WEB9" ? u"Unknown" : u"CORP"));
    EXPECT_EQ(b.item.platform_id, 500u);
    computers.insert(b.item.computer_name);
  }
  EXPECT_EQ(computers, (std::set<std::u16string>{u"SRV01", u"SRV02", u"SRV03", u"WEB9"}));
  EXPECT_EQ(storage.pending(), 0u);
  EXPECT_LE(storage.peak_pending(), 300u);
  EXPECT_TRUE(r.outcome.complete());
  EXPECT_FALSE(pool.submit(copy_task{}));  // finished
}

INSTANTIATE_TEST_SUITE_P(Threads, CopyDriverWriters, ::testing::Values(1, 4));

// With one writer, batches arrive in the order they leave the storage.
TEST(CopyDriver, BatchesLeaveAtTheLimitsLargestFirst) {
  // The byte limit may be reached exactly; the event that would pass it opens the next batch.
  // The 10th pending event takes b before c (equal: b is first in key order although c came
  // first); the final drain takes the largest first, equals in key order.
  struct {
    std::array<int32_t, 3> limits;  // events, bytes, pending
    std::vector<run_of> runs;
    ds_sizes expected;
  } cases[] = {
      {{kBatchEventLimit, kBatchByteLimit, kPendingLimit},
       {{u"S", 2 * 64000 + 5}},
       {{u"S", 64000}, {u"S", 64000}, {u"S", 5}}},
      {{100, 1000, 10000},
       {{u"A", 2, 300}, {u"A", 1, 400}, {u"A", 1, 1}, {u"A", 1, 999}, {u"A", 1, 1}},
       {{u"A", 3}, {u"A", 2}, {u"A", 1}}},
      {{100, 1000000, 10},
       {{u"c", 4}, {u"b", 4}, {u"a", 4}, {u"d", 1}},
       {{u"b", 4}, {u"a", 4}, {u"c", 4}, {u"d", 1}}},
  };
  for (const auto& c : cases) {
    fn_source source = source_of(c.runs);
    copy_run r;
    worker_pool pool(test_console(), 1);
    event_storage storage(c.limits[0], c.limits[1], c.limits[2]);
    ASSERT_EQ(r.run(pool, storage, {&source}), 0);
    ds_sizes got;
    for (const written_batch& b : r.target.batches())
      got.emplace_back(b.item.ds_name, b.keys.size());
    EXPECT_EQ(got, c.expected) << "case " << &c - cases;
  }
}

// An event larger than the byte limit and the batches the target refuses or throws on are
// reported and counted; the run goes on and writes everything else.
TEST(CopyDriver, FailuresAreCountedAndTheRunGoesOn) {
  fn_source source = source_of({{u"App", 2, 10},
                                {u"App", 1, 1001},
                                {u"App", 2, 10},
                                {u"Bad", 25},
                                {u"Good", 12},
                                {u"Throws", 3}});
  copy_run r;
  worker_pool pool(test_console(), 2);
  event_storage storage(10, 1000, 1000);
  testing::internal::CaptureStderr();
  ASSERT_EQ(r.run(pool, storage, {&source}), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Event not copied: its data (1001 bytes) exceeds the batch limit of 1000 bytes; "
            "data source App, computer SRV01, domain CORP\n"
            "Batch not written: disk on fire\n");
  EXPECT_FALSE(r.outcome.complete());
  EXPECT_EQ(r.outcome.summary_line(),  // Bad: 10, 10, 5; Throws: 3
            "Copy incomplete: 4 batch(es) with 28 event(s) not written, 1 oversized event(s) "
            "dropped, 0 damaged source file(s), 0 unreadable source file(s) or directories, 0 "
            "source path(s) skipped, 0 source file(s) with names the target cannot take");
  const auto counts = r.target.key_counts();  // all but the oversized event and Throws
  EXPECT_EQ(counts.size(), 41u);
  EXPECT_EQ(counts.count(2), 0u);
}

// One writer held at the gate and the queue full of 1000 one-event tasks: the driver blocks in
// submit. Once the writer moves on (slowly), the driver calls finish with a full queue, which
// runs every task: every batch is written once, in order.
TEST(CopyDriver, FullQueueBlocksTheDriverWithoutLosingBatches) {
  std::promise<void> door;  // the writer waits until the test opens it
  std::shared_future<void> opened = door.get_future().share();
  copy_run r;
  r.target.hook = [&](const storage_item&) {
    opened.wait();
    std::this_thread::sleep_for(20us);
  };
  fn_source source(1002, [](uint32_t i) { return make_event(i, u"H", u"S"); });
  worker_pool pool(test_console(), 1);
  event_storage storage(1, 1000000, 10000);  // one event per batch
  std::atomic<bool> done{false};
  std::thread driver([&] {
    r.run(pool, storage, {&source});
    done = true;
  });

  for (int ms = 0; ms < 10000 && (pool.waiting_submitters() != 1 || pool.queued_tasks() != 1000);
       ++ms)
    std::this_thread::sleep_for(1ms);
  EXPECT_EQ(pool.waiting_submitters(), 1u);
  EXPECT_EQ(pool.queued_tasks(), 1000u);
  EXPECT_FALSE(done);
  door.set_value();
  driver.join();
  std::vector<uint32_t> keys, expected;
  for (const written_batch& b : r.target.batches())
    keys.insert(keys.end(), b.keys.begin(), b.keys.end());
  for (uint32_t i = 0; i < 1002; ++i) expected.push_back(i);
  EXPECT_EQ(keys, expected);
}

// Writers waiting for work are counted (the reading uses their processors meanwhile).
TEST(CopyDriver, WritersWaitingForWorkAreCountedAsIdle) {
  worker_pool pool(test_console(), 2);
  const auto wait_for_idle = [&](size_t n) {
    for (int ms = 0; ms < 10000 && pool.idle_threads() != n; ++ms) std::this_thread::sleep_for(1ms);
    return pool.idle_threads();
  };
  EXPECT_EQ(wait_for_idle(2), 2u);
  std::promise<void> door;
  std::shared_future<void> opened = door.get_future().share();
  ASSERT_TRUE(pool.submit({[&](storage_item&) {
                             opened.wait();
                             return 0;
                           },
                           storage_item{}}));
  EXPECT_EQ(wait_for_idle(1), 1u);
  door.set_value();
  EXPECT_EQ(wait_for_idle(2), 2u);
  pool.finish();
  EXPECT_EQ(pool.idle_threads(), 0u);
}

// With writers slower than the reader, the events held by queued tasks never pass the bound
// (two full batches per writer) while the driver keeps submitting.
TEST(CopyDriver, QueuedEventsStayWithinTheBoundWithASlowTarget) {
  worker_pool pool(test_console(), 2, 1000, 0, 10);  // bound 2 * 10 * 2 = 40 events
  copy_run r;
  r.target.hook = [](const storage_item&) { std::this_thread::sleep_for(500us); };
  fn_source source(1500, [](uint32_t i) { return make_event(i, u"H", i % 3 == 0 ? u"x" : u"y"); });
  event_storage storage(10, 1000000, 100000);
  ASSERT_EQ(r.run(pool, storage, {&source}), 0);
  const worker_pool::stats stats = pool.statistics();
  EXPECT_GT(stats.submit_waits, 0u);  // the bound was reached and held
  EXPECT_LE(stats.peak_queued_events, 40u);
  EXPECT_GE(stats.peak_queued_events, 30u);
  EXPECT_EQ(r.target.key_counts().size(), 1500u);
}

// An exception leaving the driver stops the writers before it propagates: nothing runs after
// the driver returns, and every event read is written, counted as failed, or still pending.
TEST(CopyDriver, ExceptionFromASourceStopsAndJoinsTheWritersFirst) {
  fn_source source(
      1000, [](uint32_t i) { return make_event(i, u"H", u"S"); }, 500);
  copy_run r;
  r.target.hook = [](const storage_item&) { std::this_thread::sleep_for(200us); };
  worker_pool pool(test_console(), 2, 3);
  event_storage storage(5, 1000000, 1000);
  EXPECT_THROW(r.run(pool, storage, {&source}), std::runtime_error);
  const size_t written_now = r.target.key_counts().size();
  EXPECT_FALSE(pool.submit(copy_task{}));
  std::this_thread::sleep_for(5ms);
  EXPECT_EQ(r.target.key_counts().size(), written_now);  // no writer is left running
  EXPECT_EQ(written_now + r.outcome.failed_events() + storage.pending(), 500u);
}

// A fatal stop on a writer thread (or, without threads, on the submitting one) reaches the main
// thread: the driver stops reading, the writers are joined, and the error leaves the driver
// unchanged instead of being counted as a failed batch.
TEST(CopyDriver, AFatalStopOnAWriterEndsTheRunOnTheMainThread) {
  for (int32_t threads : {0, 2}) {
    SCOPED_TRACE(threads);
    uint32_t read = 0;
    fn_source source(100000, [&](uint32_t i) {
      ++read;
      return make_event(i, u"H", u"S");
    });
    copy_run r;
    r.target.hook = [](const storage_item& item) {
      if (item.events.front().record_key >= 10) fatal_stop("=flush_items=\n");
    };
    worker_pool pool(test_console(), threads, 3);
    event_storage storage(5, 1000000, 1000);
    try {
      r.run(pool, storage, {&source});
      ADD_FAILURE() << "no fatal stop";
    } catch (const fatal_error& e) {
      EXPECT_EQ(e.marker(), "=flush_items=\n");
    }
    EXPECT_LT(read, 1000u) << "reading stops soon after the fatal stop";
    EXPECT_THROW(pool.submit(copy_task{}), fatal_error);  // the pool keeps it
  }
}

// A stop part-way: reading ends, the batch in hand is finished, queued and pending batches are
// not written and leave the data source's total, which then counts exactly what was written.
TEST(CopyDriver, StopFinishesTheBatchInHandAndCountsOnlyWhatWasWritten) {
  for (int threads : {0, 1}) {
    std::atomic<bool> stop{false}, in_hand{threads == 0};
    fn_source source(100, [&](uint32_t i) {
      if (i == 34) {  // 35 events are read
        while (!in_hand) std::this_thread::sleep_for(100us);
        stop = true;
      }
      return make_event(i, u"H", u"S");
    });
    copy_run r;
    // With a writer thread the first batch is in hand until the stop has come.
    if (threads > 0) {
      r.target.hook = [&](const storage_item&) {
        in_hand = true;
        while (!stop) std::this_thread::sleep_for(100us);
      };
    }
    worker_pool pool(test_console(), threads);
    event_storage storage(10, 1000000, 1000);
    const std::function<bool()> stopped = [&] { return stop.load(); };
    EXPECT_EQ(run_copy_driver(test_console(), pool, storage, {&source}, r.target, r.outcome, stopped),
              kCopyStopped);
    // Without threads every batch is written as it leaves the storage.
    const uint64_t written = threads == 0 ? 30 : 10;
    EXPECT_EQ(r.target.key_counts().size(), written) << threads;
    EXPECT_EQ(r.outcome.written_events(), written);
    EXPECT_EQ(r.outcome.failed_events(), 35 - written);
    EXPECT_EQ(r.outcome.failed_batches(), threads == 0 ? 1u : 3u);
    const ds_entry& ds = storage.domains().at(u"CORP").computers.at(u"H").data_sources.at(u"S");
    EXPECT_EQ(std::tuple(ds.total, ds.batch_count, storage.pending()),
              std::tuple(uint32_t(written), 0u, 0u));
  }
}

// A target with no space left stops the copy as a stop request does: reading ends, the batches not
// yet written are dropped and leave the totals, and the driver says why. The batch that met the
// full target failed and stays counted as failed.
TEST(CopyDriver, AFullTargetStopsReading) {
  for (int threads : {0, 1}) {
    SCOPED_TRACE(threads);
    copy_run r;
    uint32_t read = 0;
    std::atomic<bool> reached{false};
    fn_source source(100000, [&](uint32_t i) {
      ++read;
      if (threads > 0 && i == 20) {  // the writer fills the target while event 20 is read
        reached = true;
        while (!r.target.is_full) std::this_thread::sleep_for(100us);
      }
      return make_event(i, u"H", u"Bad");  // "Bad": the target fails the batch
    });
    // The first batch fills the target: at once without threads, else once event 20 is read.
    r.target.hook = [&](const storage_item&) {
      while (threads > 0 && !reached) std::this_thread::sleep_for(100us);
      r.target.is_full = true;
    };
    worker_pool pool(test_console(), threads);
    event_storage storage(10, 1000000, 1000);
    EXPECT_EQ(r.run(pool, storage, {&source}), kCopyTargetFull);
    // Without threads the first batch is written as it leaves, and reading stops at once.
    const uint32_t expected_read = threads == 0 ? 10 : 21;
    EXPECT_EQ(read, expected_read);
    EXPECT_EQ(r.outcome.written_events(), 0u);
    EXPECT_EQ(r.outcome.failed_events(), expected_read);
    EXPECT_FALSE(r.outcome.complete());
    const ds_entry& ds = storage.domains().at(u"CORP").computers.at(u"H").data_sources.at(u"Bad");
    EXPECT_EQ(std::tuple(ds.total, storage.pending()), std::tuple(10u, 0u));
  }
}

// Large events are bounded by their memory, not only by their number: batches leave at the batch
// memory limit, the largest batch leaves at the pending memory limit, and queued tasks never hold
// more than the queue's memory bound.
TEST(CopyDriver, LargeEventsAreBoundedByMemoryAsWellAsByCount) {
  const full_event sample = make_event(0, u"H", u"x", u"CORP", 100000);
  const uint64_t each = stored_event(sample).bytes();
  ASSERT_GE(each, 100000u);
  struct row {
    uint64_t batch_memory;    // in events' worth
    uint64_t pending_memory;  // in events' worth
    std::vector<size_t> expected;
  };
  const row rows[] = {
      // 10 events of one source, batch limit 4 events' memory: 4, 4, then the rest.
      {4, 1000, {4, 4, 2}},
      // Two sources alternating, pending limit 5: the largest leaves whenever 5 are pending.
      {1000, 5, {3, 4, 2, 1}},
  };
  for (const row& r : rows) {
    worker_pool pool(test_console(), 1);
    copy_run run;
    const bool two_sources = r.pending_memory < 1000;
    fn_source source(10, [&](uint32_t i) {
      return make_event(i, u"H", two_sources && i % 2 ? u"y" : u"x", u"CORP", 100000);
    });
    event_storage storage(1000, 100000000, 100000, r.batch_memory * each,
                          r.pending_memory * each);
    ASSERT_EQ(run.run(pool, storage, {&source}), 0);
    std::vector<size_t> sizes;
    for (const written_batch& b : run.target.batches()) sizes.push_back(b.keys.size());
    EXPECT_EQ(sizes, r.expected) << "row " << &r - rows;
  }
  // The queue: tasks of 2 events each, memory bound 5 events' worth. The writer holds its first
  // task until the reader has had to wait for room, so the queue is full at a fixed point
  // whatever the threads' speeds.
  worker_pool pool(test_console(), 1, 1000, 0, 64000, 5 * each);
  copy_run run;
  bool first = true;  // the writer thread's own
  run.target.hook = [&](const storage_item&) {
    if (!std::exchange(first, false)) return;
    while (pool.statistics().submit_waits == 0) std::this_thread::sleep_for(100us);
  };
  fn_source source(40, [](uint32_t i) { return make_event(i, u"H", u"x", u"CORP", 100000); });
  event_storage storage(2, 100000000, 100000);
  ASSERT_EQ(run.run(pool, storage, {&source}), 0);
  const worker_pool::stats stats = pool.statistics();
  EXPECT_GT(stats.submit_waits, 0u);
  EXPECT_LE(stats.peak_queued_memory, 5 * each);
  EXPECT_GE(stats.peak_queued_memory, 4 * each);
  EXPECT_EQ(run.target.key_counts().size(), 40u);
}

}  // namespace
}  // namespace repcopy
