#pragma once
// The two interfaces of the copy engine: a source of events and a target that files batches.

#include <cstdint>
#include <utility>

#include "model/storage_item.h"
#include "model/stored_event.h"

namespace repcopy {

class CommonSource {
 public:
  CommonSource() = default;
  virtual ~CommonSource() = default;
  CommonSource(const CommonSource&) = delete;
  CommonSource& operator=(const CommonSource&) = delete;

  // Replaces out with the next event, as batches keep it, and returns 0, or returns nonzero when
  // there are no more. out's old contents may be kept (their memory reused for later events).
  virtual int32_t next_stored(stored_event& out) = 0;
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
