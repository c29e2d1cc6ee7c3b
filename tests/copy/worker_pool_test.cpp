#include "copy/worker_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "copy_fakes.h"

namespace repcopy {
namespace {

using namespace std::chrono_literals;
using testing_fakes::gate;

// Records the order in which tasks ran; each task is numbered by its item's ds_total.
class run_log {
 public:
  copy_task task(uint32_t number, size_t events = 0, gate* wait_at = nullptr) {
    copy_task t;
    t.item.ds_total = number;
    t.item.events.resize(events);
    t.call = [this, wait_at](storage_item& item) -> int32_t {
      if (wait_at != nullptr) wait_at->pass();
      std::lock_guard<std::mutex> guard(lock_);
      ran_.push_back(item.ds_total);
      return 0;
    };
    return t;
  }
  std::vector<uint32_t> ran() const {
    std::lock_guard<std::mutex> guard(lock_);
    return ran_;
  }

 private:
  mutable std::mutex lock_;
  std::vector<uint32_t> ran_;
};

void wait_until(const std::function<bool()>& condition) {
  while (!condition()) std::this_thread::sleep_for(1ms);
}

std::vector<uint32_t> numbers(uint32_t count) {
  std::vector<uint32_t> v(count);
  for (uint32_t i = 0; i < count; ++i) v[i] = i;
  return v;
}

// One writer held at the gate, 1000 tasks queued: the next submit blocks until the writer takes
// one, and no task is lost or run twice. With one writer tasks run in submission order.
TEST(WorkerPool, FullQueueBlocksSubmitWithoutLosingTasks) {
  gate door;
  run_log log;
  worker_pool pool(1);
  ASSERT_EQ(pool.capacity(), 1000u);
  ASSERT_TRUE(pool.submit(log.task(0, 0, &door)));
  door.wait_for_arrivals(1);  // the writer holds task 0
  for (uint32_t i = 1; i <= 1000; ++i) ASSERT_TRUE(pool.submit(log.task(i)));
  EXPECT_EQ(pool.queued_tasks(), 1000u);

  std::atomic<bool> submitted{false};
  std::thread reader([&] {
    pool.submit(log.task(1001));
    submitted = true;
  });
  wait_until([&] { return pool.waiting_submitters() == 1; });
  EXPECT_FALSE(submitted);
  EXPECT_EQ(pool.queued_tasks(), 1000u);

  door.open();
  reader.join();
  pool.finish();
  EXPECT_EQ(log.ran(), numbers(1002));
  EXPECT_EQ(pool.statistics().submit_waits, 1u);
}

TEST(WorkerPool, FinishRunsEveryQueuedTaskBeforeReturning) {
  gate door;
  run_log log;
  worker_pool pool(1);
  for (uint32_t i = 0; i < 50; ++i) ASSERT_TRUE(pool.submit(log.task(i, 0, &door)));
  door.wait_for_arrivals(1);
  std::atomic<bool> finished{false};
  std::thread finisher([&] {
    pool.finish();
    finished = true;
  });
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(finished);  // the queue is not empty yet
  EXPECT_EQ(pool.queued_tasks(), 49u);
  door.open();
  finisher.join();
  EXPECT_EQ(log.ran(), numbers(50));
  EXPECT_FALSE(pool.submit(log.task(99)));  // a finished pool takes no work
}

TEST(WorkerPool, EveryTaskRunsOnceWithSeveralWriters) {
  run_log log;
  worker_pool pool(4, 8);  // a small queue, so submits wait often
  for (uint32_t i = 0; i < 2000; ++i) ASSERT_TRUE(pool.submit(log.task(i, 1)));
  pool.finish();
  std::vector<uint32_t> ran = log.ran();
  std::sort(ran.begin(), ran.end());
  EXPECT_EQ(ran, numbers(2000));
  EXPECT_EQ(pool.queued_events(), 0u);
}

TEST(WorkerPool, DefaultEventBoundIsTwoFullBatchesPerWriter) {
  EXPECT_EQ(worker_pool(3).event_bound(), 2u * 64000u * 3u);
  EXPECT_EQ(worker_pool(0).event_bound(), 2u * 64000u);
  EXPECT_EQ(worker_pool(2, 1000, 0, 10).event_bound(), 40u);
  EXPECT_EQ(worker_pool(2, 1000, 77).event_bound(), 77u);
}

// A task above the event bound still enters an empty queue (nothing could ever make room for
// it), but the next one waits until it has been taken.
TEST(WorkerPool, EventBoundAdmitsAnOversizedTaskIntoAnEmptyQueueOnly) {
  gate door;
  run_log log;
  worker_pool pool(1, 1000, 10);
  ASSERT_TRUE(pool.submit(log.task(0, 5, &door)));
  door.wait_for_arrivals(1);
  ASSERT_TRUE(pool.submit(log.task(1, 50)));
  EXPECT_EQ(pool.queued_events(), 50u);
  std::thread reader([&] { pool.submit(log.task(2, 1)); });
  wait_until([&] { return pool.waiting_submitters() == 1; });
  door.open();
  reader.join();
  pool.finish();
  EXPECT_EQ(log.ran(), numbers(3));
  EXPECT_EQ(pool.statistics().peak_queued_events, 50u);
}

TEST(WorkerPool, SubmitWaitsWhileQueuedEventsWouldPassTheBound) {
  gate door;
  run_log log;
  worker_pool pool(1, 1000, 10);
  ASSERT_TRUE(pool.submit(log.task(0, 0, &door)));
  door.wait_for_arrivals(1);
  for (uint32_t i = 1; i <= 3; ++i) ASSERT_TRUE(pool.submit(log.task(i, 3)));  // 9 queued
  ASSERT_TRUE(pool.submit(log.task(4, 1)));                                    // 10: the bound
  std::thread reader([&] { pool.submit(log.task(5, 1)); });
  wait_until([&] { return pool.waiting_submitters() == 1; });
  EXPECT_EQ(pool.queued_events(), 10u);
  door.open();
  reader.join();
  pool.finish();
  EXPECT_EQ(log.ran(), numbers(6));
  EXPECT_EQ(pool.statistics().peak_queued_events, 10u);
}

TEST(WorkerPool, AbortDropsQueuedTasksAndJoins) {
  gate door;
  run_log log;
  worker_pool pool(1);
  for (uint32_t i = 0; i < 10; ++i) ASSERT_TRUE(pool.submit(log.task(i, 2, &door)));
  door.wait_for_arrivals(1);
  worker_pool::discarded dropped;
  std::thread aborter([&] { dropped = pool.abort(); });
  wait_until([&] { return pool.queued_tasks() == 0; });
  door.open();  // the writer completes the task in hand
  aborter.join();
  EXPECT_EQ(dropped.tasks, 9u);
  EXPECT_EQ(dropped.events, 18u);
  EXPECT_EQ(log.ran(), numbers(1));
  EXPECT_FALSE(pool.submit(log.task(10)));
}

TEST(WorkerPool, DestructorStopsAndJoinsAPoolThatWasNotFinished) {
  run_log log;
  {
    worker_pool pool(3);
    for (uint32_t i = 0; i < 100; ++i) pool.submit(log.task(i));
  }
  EXPECT_LE(log.ran().size(), 100u);
}

TEST(WorkerPool, ThrowingTaskIsReportedAndTheWriterGoesOn) {
  run_log log;
  worker_pool pool(1);
  copy_task bad;
  bad.call = [](storage_item&) -> int32_t { throw std::runtime_error("boom"); };
  testing::internal::CaptureStderr();
  ASSERT_TRUE(pool.submit(std::move(bad)));
  ASSERT_TRUE(pool.submit(log.task(1)));
  pool.finish();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "writer task failed: boom\n");
  EXPECT_EQ(log.ran(), std::vector<uint32_t>{1});
}

TEST(WorkerPool, WithoutThreadsTasksRunOnTheSubmittingThread) {
  run_log log;
  worker_pool pool(0);
  EXPECT_EQ(pool.thread_count(), 0);
  ASSERT_TRUE(pool.submit(log.task(0)));
  EXPECT_EQ(log.ran(), numbers(1));  // already run
  pool.finish();
  EXPECT_FALSE(pool.submit(log.task(1)));
}

}  // namespace
}  // namespace repcopy
