#include "copy/worker_pool.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "util/fatal.h"

namespace repcopy {

worker_pool::worker_pool(message_sink& messages, int32_t threads, uint32_t capacity,
                         uint64_t event_bound, uint32_t batch_events, uint64_t memory_bound)
    : messages_(messages),
      capacity_(std::max<uint32_t>(capacity, 1)),
      event_bound_(event_bound != 0
                       ? event_bound
                       : kQueuedBatchesPerWriter * std::max<uint64_t>(batch_events, 1) *
                             static_cast<uint64_t>(std::max(threads, 1))),
      memory_bound_(memory_bound != 0
                        ? memory_bound
                        : kQueuedMemoryPerWriter * static_cast<uint64_t>(std::max(threads, 1))) {
  threads_.reserve(static_cast<size_t>(std::max(threads, 0)));
  try {
    for (int32_t i = 0; i < threads; ++i) threads_.emplace_back(&worker_pool::worker_loop, this);
  } catch (...) {
    abort();  // threads already started must not outlive a pool that was never built
    throw;
  }
}

worker_pool::~worker_pool() { abort(); }

// A writer thread must not end by an exception (that would end the process), and the callable is
// the target's code: a fatal stop is kept for the main thread, anything else is reported and the
// writer goes on with the next task.
void worker_pool::run_task(copy_task& task) noexcept {
  try {
    if (task.call) task.call(task.item);
  } catch (const fatal_error&) {
    keep_fatal(std::current_exception());
  } catch (const std::exception& e) {
    messages_.err(message_kind::error) << "writer task failed: " << e.what();
  } catch (...) {
    messages_.err(message_kind::error) << "writer task failed";
  }
}

// The first fatal stop wins; the queue is dropped, as the run ends, and waiting submitters wake.
void worker_pool::keep_fatal(std::exception_ptr error) noexcept {
  std::deque<copy_task> dropped;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (fatal_raised_.load(std::memory_order_relaxed)) return;
    fatal_ = std::move(error);
    fatal_raised_.store(true, std::memory_order_release);
    stop_ = true;
    dropped.swap(queue_);
    queued_events_ = 0;
  }
  signal_.notify_all();
}

bool worker_pool::submit(copy_task task) {
  rethrow_fatal();
  const uint64_t events = task.item.events.size();
  const uint64_t memory = task.item.footprint;
  if (threads_.empty()) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (stop_) return false;
      stats_.submitted += 1;
    }
    run_task(task);
    rethrow_fatal();
    return true;
  }
  std::unique_lock<std::mutex> guard(lock_);
  auto full = [&] {
    return queue_.size() >= capacity_ ||
           (!queue_.empty() &&
            (queued_events_ + events > event_bound_ || queued_memory_ + memory > memory_bound_));
  };
  if (!stop_ && full()) {
    stats_.submit_waits += 1;
    waiting_submitters_ += 1;
    signal_.wait(guard, [&] { return stop_ || !full(); });
    waiting_submitters_ -= 1;
  }
  if (fatal_raised_.load(std::memory_order_relaxed)) {
    guard.unlock();
    rethrow_fatal();
  }
  if (stop_) return false;
  queue_.push_back(std::move(task));
  queued_events_ += events;
  queued_memory_ += memory;
  stats_.submitted += 1;
  stats_.peak_queued_events = std::max(stats_.peak_queued_events, queued_events_);
  stats_.peak_queued_memory = std::max(stats_.peak_queued_memory, queued_memory_);
  guard.unlock();
  signal_.notify_all();
  return true;
}

// Waits for a task; false when the stop flag is set and the queue is empty.
bool worker_pool::take(copy_task& task) {
  std::unique_lock<std::mutex> guard(lock_);
  if (!stop_ && queue_.empty()) {
    idle_threads_.fetch_add(1, std::memory_order_relaxed);
    signal_.wait(guard, [&] { return stop_ || !queue_.empty(); });
    idle_threads_.fetch_sub(1, std::memory_order_relaxed);
  }
  if (queue_.empty()) return false;
  task = std::move(queue_.front());
  queue_.pop_front();
  queued_events_ -= task.item.events.size();
  queued_memory_ -= task.item.footprint;
  const bool wake = waiting_submitters_ > 0;
  guard.unlock();
  if (wake) signal_.notify_all();
  return true;
}

void worker_pool::worker_loop() {
  copy_task task;
  while (take(task)) {
    run_task(task);
    task = copy_task{};  // release the batch before waiting for the next one
  }
}

void worker_pool::finish() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stop_ = true;
  }
  signal_.notify_all();
  for (std::thread& t : threads_)
    if (t.joinable()) t.join();
  rethrow_fatal();
}

worker_pool::discarded worker_pool::abort() noexcept {
  discarded dropped;
  std::deque<copy_task> queued;
  {
    std::lock_guard<std::mutex> guard(lock_);
    stop_ = true;
    queued.swap(queue_);
    queued_events_ = 0;
    queued_memory_ = 0;
  }
  signal_.notify_all();
  dropped.tasks = queued.size();
  for (const copy_task& task : queued) dropped.events += task.item.events.size();
  for (std::thread& t : threads_) {
    if (!t.joinable()) continue;
    try {
      t.join();
    } catch (...) {
      // Joining from a writer itself: the thread can only be let go.
      try {
        t.detach();
      } catch (...) {
      }
    }
  }
  return dropped;
}

size_t worker_pool::queued_tasks() const {
  std::lock_guard<std::mutex> guard(lock_);
  return queue_.size();
}

uint64_t worker_pool::queued_events() const {
  std::lock_guard<std::mutex> guard(lock_);
  return queued_events_;
}

size_t worker_pool::waiting_submitters() const {
  std::lock_guard<std::mutex> guard(lock_);
  return waiting_submitters_;
}

worker_pool::stats worker_pool::statistics() const {
  std::lock_guard<std::mutex> guard(lock_);
  return stats_;
}

}  // namespace repcopy
