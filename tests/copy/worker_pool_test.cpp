#include "copy/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "copy_fakes.h"

namespace repcopy {
namespace {

using namespace std::chrono_literals;

// Tasks numbered by their item's ds_total; the pool's single writer waits at the gate.
class WorkerPool : public ::testing::Test {
 protected:
  copy_task task(uint32_t number, size_t events) {
    copy_task t;
    t.item.ds_total = number;
    t.item.events.resize(events);
    t.call = [this](storage_item& item) -> int32_t {
      door_.pass();
      std::lock_guard<std::mutex> guard(lock_);
      ran_.push_back(item.ds_total);
      return 0;
    };
    return t;
  }
  std::vector<uint32_t> ran() {
    std::lock_guard<std::mutex> guard(lock_);
    return ran_;
  }
  static std::vector<uint32_t> numbers(uint32_t count) {
    std::vector<uint32_t> v;
    for (uint32_t i = 0; i < count; ++i) v.push_back(i);
    return v;
  }

  testing_fakes::gate door_;
  std::mutex lock_;
  std::vector<uint32_t> ran_;
};

TEST_F(WorkerPool, FinishRunsEveryQueuedTaskBeforeReturning) {
  worker_pool pool(1);
  for (uint32_t i = 0; i < 50; ++i) ASSERT_TRUE(pool.submit(task(i, 0)));
  door_.wait_for_arrivals(1);
  std::atomic<bool> finished{false};
  std::thread finisher([&] {
    pool.finish();
    finished = true;
  });
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(finished);  // the queue is not empty yet
  EXPECT_EQ(pool.queued_tasks(), 49u);
  door_.open();
  finisher.join();
  EXPECT_EQ(ran(), numbers(50));
  EXPECT_FALSE(pool.submit(task(99, 0)));  // a finished pool takes no work
}

// A task above the event bound still enters an empty queue (nothing could ever make room for
// it), but the next one waits until it has been taken.
TEST_F(WorkerPool, EventBoundAdmitsAnOversizedTaskIntoAnEmptyQueueOnly) {
  worker_pool pool(1, 1000, 10);
  ASSERT_TRUE(pool.submit(task(0, 5)));
  door_.wait_for_arrivals(1);
  ASSERT_TRUE(pool.submit(task(1, 50)));
  EXPECT_EQ(pool.queued_events(), 50u);
  std::thread reader([&] { pool.submit(task(2, 1)); });
  while (pool.waiting_submitters() != 1) std::this_thread::sleep_for(1ms);
  door_.open();
  reader.join();
  pool.finish();
  EXPECT_EQ(ran(), numbers(3));
  EXPECT_EQ(pool.statistics().peak_queued_events, 50u);
}

}  // namespace
}  // namespace repcopy
