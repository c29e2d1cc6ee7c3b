#pragma once
// The two interfaces of the copy engine: a source of events and a target that files batches.

#include <cstdint>

#include "model/filter_config.h"
#include "model/full_event.h"
#include "model/storage_item.h"

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

  void set_filter(const filter_config* filter) { filter_ = filter; }
  const filter_config* filter() const { return filter_; }

 protected:
  const filter_config* filter_;
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
};

}  // namespace repcopy
