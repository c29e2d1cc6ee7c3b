#pragma once
// The two interfaces of the copy engine: a source of events and a target that files batches.

#include <cstdint>
#include <utility>

#include "model/filter_config.h"
#include "model/full_event.h"
#include "model/storage_item.h"
#include "model/stored_event.h"

namespace repcopy {

class CommonSource {
 public:
  explicit CommonSource(const filter_config* filter = nullptr) : filter_(filter) {}
  virtual ~CommonSource() = default;
  CommonSource(const CommonSource&) = delete;
  CommonSource& operator=(const CommonSource&) = delete;

  // Replaces every field of out with the next event and returns 0, or returns nonzero when there
  // are no more. out's old contents may be kept (their memory reused for later events).
  virtual int32_t next_event(full_event& out) = 0;

  // The next event as batches keep it (see next_event). This one packs next_event's event; a
  // source that reads ahead on other threads packs its events there.
  virtual int32_t next_stored(stored_event& out) {
    const int32_t result = next_event(scratch_);
    if (result == 0) out = stored_event(scratch_);
    return result;
  }

  void set_filter(const filter_config* filter) { filter_ = filter; }
  const filter_config* filter() const { return filter_; }

 protected:
  const filter_config* filter_;

 private:
  full_event scratch_;  // reused from event to event: its memory goes back to the source
};

class CommonTarget {
 public:
  CommonTarget() = default;
  virtual ~CommonTarget() = default;
  CommonTarget(const CommonTarget&) = delete;
  CommonTarget& operator=(const CommonTarget&) = delete;

  // Writes one batch; 0 on success, a negative code on failure. Called from several writer
  // threads at once with different items.
  virtual int32_t flush_items(storage_item item) = 0;

  // flush_items for the copy driver, which counts what reached the target: events is the
  // number of events of the batch that are still to be written when it returns (a target that
  // leaves out events the target already holds lowers it; 0 with result 0 means no file was
  // needed).
  virtual int32_t write_batch(storage_item item, uint64_t& events) {
    events = item.events.size();
    return flush_items(std::move(item));
  }

  // True once the target can take no more files (its file system, or the quota on it, is full):
  // the copy then stops reading. Safe to call from any thread.
  virtual bool full() const { return false; }
};

}  // namespace repcopy
