#include "copy/copy_driver.h"

#include <exception>
#include <iostream>
#include <utility>

#include "filters/event_id_filter.h"
#include "util/fatal.h"
#include "util/text.h"

namespace repcopy {
namespace {

class copy_driver {
 public:
  copy_driver(worker_pool& pool, event_storage& storage, CommonTarget& target,
              const filter_config& filter, copy_outcome& outcome)
      : pool_(pool), storage_(storage), target_(target), filter_(filter), outcome_(outcome) {}

  void copy_source(CommonSource& source) {
    while (source.next_event(event_) == 0) {
      pool_.rethrow_fatal();  // a writer's fatal stop ends the reading too
      if (event_passes(filter_, event_.event_id, event_.event_time)) store_event();
      event_.reset();
    }
  }

  // After the last source every batch still pending leaves, largest first.
  void drain() {
    while (storage_.take_largest(item_) == 0) submit_item();
  }

 private:
  void store_event() {
    int32_t result = storage_.add(std::move(event_), item_);
    if (result == kBatchBytesFull) {
      // The event would overflow its batch: the batch leaves and the event opens the next one.
      if (storage_.take_named(item_) == 0) submit_item();
      result = storage_.add(std::move(event_), item_);
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
    std::cerr << "Event not copied: its data (" << event_.data.size()
              << " bytes) exceeds the batch limit of " << storage_.batch_byte_limit()
              << " bytes; data source " << to_utf8(event_.under_data_source) << ", computer "
              << to_utf8(item_.computer_name) << ", domain " << to_utf8(item_.domain_name)
              << std::endl;
  }

  // The item moves into the task: nothing reads it after submission.
  void submit_item() {
    copy_task task;
    task.call = [&target = target_, &outcome = outcome_](storage_item& item) -> int32_t {
      const uint64_t events = item.events.size();
      int32_t result = -1;
      try {
        result = target.flush_items(std::move(item));
      } catch (const fatal_error&) {
        throw;  // the pool carries it to the main thread
      } catch (const std::exception& e) {
        std::cerr << "Batch not written: " << e.what() << std::endl;
      } catch (...) {
        std::cerr << "Batch not written" << std::endl;
      }
      if (result != 0) outcome.add_failed_batch(events);
      return result;
    };
    const uint64_t events = item_.events.size();
    task.item = std::move(item_);
    item_ = storage_item{};
    // Only a pool that was already stopped refuses work.
    if (!pool_.submit(std::move(task))) outcome_.add_failed_batch(events);
  }

  worker_pool& pool_;
  event_storage& storage_;
  CommonTarget& target_;
  const filter_config& filter_;
  copy_outcome& outcome_;
  full_event event_;
  storage_item item_;
};

}  // namespace

int32_t run_copy_driver(worker_pool& pool, event_storage& storage,
                        const std::vector<CommonSource*>& sources, CommonTarget& target,
                        const filter_config& filter, copy_outcome& outcome) {
  try {
    copy_driver driver(pool, storage, target, filter, outcome);
    for (CommonSource* source : sources)
      if (source != nullptr) driver.copy_source(*source);
    driver.drain();
    pool.finish();
    return 0;
  } catch (...) {
    // Writers must not outlive the pool, nor keep writing for a run that has already failed.
    const worker_pool::discarded dropped = pool.abort();
    outcome.add_failed_batches(dropped.tasks, dropped.events);
    throw;
  }
}

}  // namespace repcopy
