#pragma once
// worker_pool: a fixed set of writer threads behind a bounded first-in-first-out queue of
// copy_tasks. The reading thread submits; the writers take tasks and run them.
//
// The queue has two bounds. The task bound (1000) comes from the system's design; it bounds
// tasks, not memory, since one task may carry a batch of 64000 events. The event bound limits the
// events held by queued tasks (by default two full batches per writer thread), so together with
// the event storage's own pending limit the events in memory stay bounded whatever the size of the
// repository. The memory bound does the same in bytes (storage_item::footprint), so that large
// events cannot fill the memory before the event bound is reached. submit() waits while any bound
// is reached; a task larger than a bound is still accepted by an empty queue, so nothing can wait
// forever.
//
// A fatal stop on a writer thread (a task throwing fatal_error) must end the run from the main
// thread: the pool keeps the first one, stops taking tasks, drops the queue, and the main thread
// gets the error back from submit(), finish() or rethrow_fatal().

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "model/storage_item.h"
#include "util/message_sink.h"

namespace repcopy {

// One unit of work: the callable is run on a writer thread with the task's own item.
struct copy_task {
  std::function<int32_t(storage_item&)> call;
  storage_item item;
};

inline constexpr uint32_t kQueueCapacity = 1000;
inline constexpr uint64_t kQueuedBatchesPerWriter = 2;
// Memory of queued events per writer thread, for the default memory bound: a third of a batch at
// the event storage's memory limit. A full batch still enters an empty queue, so a writer that
// finishes finds its next batch waiting, and the reading, several times as fast as the writers,
// fills the queue again while they work; more queued events only raised the peak (by 64 MiB on
// a hard 1.2 M-event copy).
inline constexpr uint64_t kQueuedMemoryPerWriter = uint64_t(16) << 20;

class worker_pool {
 public:
  // Counters for tests and benchmarks.
  struct stats {
    uint64_t submitted = 0;
    uint64_t peak_queued_events = 0;  // largest number of events held by queued tasks
    uint64_t peak_queued_memory = 0;  // largest memory held by the events of queued tasks
    uint64_t submit_waits = 0;        // submits that had to wait for room
  };
  // What abort() threw away.
  struct discarded {
    uint64_t tasks = 0;
    uint64_t events = 0;
  };

  // Starts max(threads, 0) writer threads at once. event_bound 0 means the default,
  // kQueuedBatchesPerWriter * batch_events * max(threads, 1). A pool without threads runs each
  // task on the submitting thread.
  // memory_bound 0 means kQueuedMemoryPerWriter * max(threads, 1).
  // A task's failure other than a fatal stop is reported to messages, which must outlive the
  // pool.
  worker_pool(message_sink& messages, int32_t threads, uint32_t capacity = kQueueCapacity,
              uint64_t event_bound = 0, uint32_t batch_events = 64000, uint64_t memory_bound = 0);
  // Stops and joins the threads if finish() or abort() has not; tasks still queued are dropped.
  // Never throws.
  ~worker_pool();
  worker_pool(const worker_pool&) = delete;
  worker_pool& operator=(const worker_pool&) = delete;

  // Moves the task into the queue, waiting while the queue holds `capacity` tasks or while the
  // task's events would pass the event bound of a non-empty queue. Returns false (and runs
  // nothing) once finish() or abort() has been called. Throws the fatal_error of a task once one
  // has been raised.
  bool submit(copy_task task);
  // Lets the writers empty the queue, then joins them in start order. Every task submitted before
  // returns has run. A failed join throws std::system_error; then the fatal_error of a task, if
  // one was raised.
  void finish();
  // Throws the fatal_error a task raised, if any. Cheap enough to call per event.
  void rethrow_fatal() const {
    if (fatal_raised_.load(std::memory_order_acquire)) std::rethrow_exception(fatal_);
  }
  // Drops the tasks still queued, lets the writers complete the task in hand and joins them.
  // For the exception path; never throws.
  discarded abort() noexcept;

  int32_t thread_count() const { return static_cast<int32_t>(threads_.size()); }
  uint32_t capacity() const { return capacity_; }
  uint64_t event_bound() const { return event_bound_; }
  uint64_t memory_bound() const { return memory_bound_; }
  size_t queued_tasks() const;
  uint64_t queued_events() const;
  // Threads currently blocked in submit().
  size_t waiting_submitters() const;
  // Writer threads waiting for a task: a processor the writers leave idle. Lock-free, so other
  // threads may poll it.
  size_t idle_threads() const { return idle_threads_.load(std::memory_order_relaxed); }
  stats statistics() const;

 private:
  void worker_loop();
  bool take(copy_task& task);
  void run_task(copy_task& task) noexcept;
  void keep_fatal(std::exception_ptr error) noexcept;

  message_sink& messages_;
  const uint32_t capacity_;
  const uint64_t event_bound_;
  const uint64_t memory_bound_;
  mutable std::mutex lock_;
  std::condition_variable signal_;
  std::deque<copy_task> queue_;
  uint64_t queued_events_ = 0;
  uint64_t queued_memory_ = 0;
  size_t waiting_submitters_ = 0;
  std::atomic<size_t> idle_threads_{0};
  bool stop_ = false;
  stats stats_;
  std::exception_ptr fatal_;  // set once, under lock_, before fatal_raised_
  std::atomic<bool> fatal_raised_{false};
  std::vector<std::thread> threads_;
};

}  // namespace repcopy
