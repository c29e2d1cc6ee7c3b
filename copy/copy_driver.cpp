#include "copy/copy_driver.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "util/fatal.h"
#include "util/text.h"

namespace repcopy {
namespace {

class copy_driver {
 public:
  copy_driver(message_sink& messages, worker_pool& pool, event_storage& storage,
              CommonTarget& target, copy_outcome& outcome,
              const std::function<bool()>& stop_requested)
      : messages_(messages),
        pool_(pool),
        storage_(storage),
        target_(target),
        outcome_(outcome),
        stop_requested_(stop_requested) {}

  // True once a stop was requested or the target is full; remembered, so a stop that came after
  // the last write does not make a complete copy look stopped.
  bool stopped() {
    if (stop_requested_ && stop_requested_()) {
      stop_seen_.store(true, std::memory_order_relaxed);
      return true;
    }
    if (!target_.full()) return false;
    full_seen_.store(true, std::memory_order_relaxed);
    return true;
  }
  bool stop_seen() const { return stop_seen_.load(); }
  bool full_seen() const { return full_seen_.load(); }

  // Events come packed as batches keep them (stored_event) and move into the storage. The
  // source has applied the run's filter: every event it gives is copied.
  void copy_source(CommonSource& source) {
    while (!stopped() && source.next_stored(event_) == 0) {
      pool_.rethrow_fatal();  // a writer's fatal stop ends the reading too
      store_event();
    }
  }

  // After the last source every batch still pending leaves, largest first. After a stop they
  // stay unwritten.
  void drain() {
    while (storage_.take_largest(item_) == 0) {
      if (stopped()) {
        not_written(item_.p_ds, item_.events.size());
        item_ = storage_item{};
      } else {
        // Reading has ended: no later batch of its data source.
        item_.group_batches = ++submitted_[item_.p_ds];
        submit_item();
      }
    }
  }

  // With the writers joined: batches that were never written leave their data sources' totals.
  void take_back_unwritten() {
    for (const auto& [ds, events] : unwritten_) storage_.take_back(*ds, events);
    unwritten_.clear();
  }

 private:
  void store_event() {
    int32_t result = storage_.add(event_, item_);
    if (result == kBatchBytesFull) {
      // The event would overflow its batch: the batch leaves and the event opens the next one.
      if (storage_.take_named(item_) == 0) submit_item();
      result = storage_.add(event_, item_);
      if (result == kBatchBytesFull) {
        report_oversized();
        return;
      }
    }
    if (result == kPendingFull) {
      if (storage_.take_largest(item_) == 0) submit_item();
    } else if (result == kBatchEventsFull) {
      if (storage_.take_named(item_) == 0) submit_item();
    }
  }

  // An event whose data alone passes the byte limit can never be stored; it is reported and
  // counted as not copied instead of vanishing.
  void report_oversized() {
    outcome_.add_dropped_event();
    messages_.err(message_kind::error)
        << "Event not copied: its data (" << event_.data.size()
        << " bytes) exceeds the batch limit of " << storage_.batch_byte_limit()
        << " bytes; data source " << to_utf8(event_.under_data_source) << ", computer "
        << to_utf8(item_.computer_name) << ", domain " << to_utf8(item_.domain_name);
  }

  // A batch left unwritten by a stop; called by the main thread and by writers.
  void not_written(ds_entry* ds, uint64_t events) {
    outcome_.add_failed_batch(events);
    take_back_later(ds, events);
  }
  // Events of ds that do not reach the target, taken off its total once the writers are joined.
  void take_back_later(ds_entry* ds, uint64_t events) {
    std::lock_guard<std::mutex> hold(unwritten_lock_);
    if (ds != nullptr) unwritten_.emplace_back(ds, uint32_t(events));
  }

  // The item moves into the task: nothing reads it after submission.
  void submit_item() {
    if (item_.group_batches == 0) ++submitted_[item_.p_ds];
    copy_task task;
    task.call = [this, &target = target_, &outcome = outcome_](storage_item& item) -> int32_t {
      const uint64_t events = item.events.size();
      ds_entry* const ds = item.p_ds;
      if (stopped()) {
        // A stopped copy starts no new batch; the batches in hand are finished.
        not_written(item.p_ds, events);
        return -1;
      }
      int32_t result = -1;
      uint64_t left = events;  // events still to be written: the target may hold some already
      try {
        result = target.write_batch(std::move(item), left);
      } catch (const fatal_error&) {
        throw;  // the pool carries it to the main thread
      } catch (const std::exception& e) {
        messages_.err(message_kind::error) << "Batch not written: " << e.what();
      } catch (...) {
        messages_.err(message_kind::error) << "Batch not written";
      }
      left = std::min(left, events);
      // Events the target already held leave their data source's total like unwritten ones.
      if (left < events) take_back_later(ds, events - left);
      if (result != 0) {
        outcome.add_failed_batch(left);
      } else if (left != 0) {
        outcome.add_written_batch(left);
      }
      return result;
    };
    const uint64_t events = item_.events.size();
    task.item = std::move(item_);
    item_ = storage_item{};
    // Only a pool that was already stopped refuses work.
    if (!pool_.submit(std::move(task))) outcome_.add_failed_batch(events);
  }

  message_sink& messages_;
  worker_pool& pool_;
  event_storage& storage_;
  CommonTarget& target_;
  copy_outcome& outcome_;
  const std::function<bool()>& stop_requested_;
  std::atomic<bool> stop_seen_{false};
  std::atomic<bool> full_seen_{false};
  stored_event event_;
  storage_item item_;
  std::mutex unwritten_lock_;
  std::vector<std::pair<ds_entry*, uint32_t>> unwritten_;  // guarded while writers run
  std::map<const ds_entry*, uint32_t> submitted_;  // batches submitted per data source (reader)
};

}  // namespace

int32_t run_copy_driver(message_sink& messages, worker_pool& pool, event_storage& storage,
                        const std::vector<CommonSource*>& sources, CommonTarget& target,
                        copy_outcome& outcome, const std::function<bool()>& stop_requested) {
  // Queued tasks refer to the driver: it outlives the pool's abort below.
  copy_driver driver(messages, pool, storage, target, outcome, stop_requested);
  try {
    for (CommonSource* source : sources)
      if (source != nullptr) driver.copy_source(*source);
    driver.drain();
    pool.finish();
    driver.take_back_unwritten();
    if (driver.stop_seen()) return kCopyStopped;
    return driver.full_seen() ? kCopyTargetFull : 0;
  } catch (...) {
    // Writers must not outlive the pool, nor keep writing for a run that has already failed.
    const worker_pool::discarded dropped = pool.abort();
    outcome.add_failed_batches(dropped.tasks, dropped.events);
    throw;
  }
}

}  // namespace repcopy
