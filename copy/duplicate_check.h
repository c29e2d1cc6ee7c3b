#pragma once
// The duplicate check: a target in front of the real one that leaves out of every batch the
// events the target already holds, so that running a copy again writes only what is missing.
//
// An event is already there when the target holds an event of the same computer and data source
// with the same content (model/event_hash.h). Multiplicities count: of an event the batch holds
// k times (over the whole run) and the target n times before the run, max(0, k - n) are written.
// For each batch only the target files whose names' time range overlaps the batch's event times
// are read (a file that holds one of its events always does), each once per run; the files this
// run writes are never read, so duplicates inside the source are still copied. The index of a
// group is released when the group's last batch is written.
//
// While a batch of a group is checked and written the group is held against other runs into the
// same target (TargetContents::hold_group); another run then waits, and checks the files written
// meanwhile before it writes. Runs that write other groups never wait.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "copy/existing_events.h"
#include "model/copy_outcome.h"
#include "model/source_and_target.h"
#include "model/target_contents.h"
#include "util/message_sink.h"

namespace repcopy {

class duplicate_check_target : public CommonTarget {
 public:
  // hold_groups: hold each group against other runs while it is written (off for a dry run,
  // which creates nothing in the target).
  // messages gets the check's lines (a damaged target file) and must outlive the target.
  duplicate_check_target(message_sink& messages, CommonTarget& inner, TargetContents& contents,
                         copy_outcome& outcome, bool hold_groups = true);

  int32_t flush_items(storage_item item) override {
    uint64_t events = 0;
    return write_batch(std::move(item), events);
  }
  int32_t write_batch(storage_item item, uint64_t& events) override;
  bool full() const override { return inner_.full(); }

  // The inner target is about to write a file of item's group under path: the check never reads
  // it. Called on the writer thread, before the file appears.
  void file_named(const storage_item& item, const std::string& path);

  // Bytes held by the indexes now, and at most at one time (for tests and benchmarks).
  uint64_t index_bytes() const;
  uint64_t peak_index_bytes() const;

 private:
  struct group_state {
    std::mutex hold_lock;  // holders and hold
    uint32_t holders = 0;
    std::unique_ptr<TargetContents::group_hold> hold;
    std::mutex lock;  // everything below
    existing_events index;
    uint64_t index_bytes = 0;
    std::set<std::string> seen;  // files read into the index, or found damaged
    std::set<std::string> own;   // files this run writes
    uint32_t batches_done = 0;      // batches of the group through the check
    uint32_t batches_total = 0;     // known from the group's last batch; 0 before
  };
  using group_key = std::pair<std::u16string, std::u16string>;  // computer, data source

  std::shared_ptr<group_state> group(const storage_item& item);
  void enter(group_state& state, const storage_item& item);
  void leave(group_state& state);
  // Reads into the index every file of the group not read yet whose times overlap those of the
  // batch's events.
  void read_overlapping(group_state& state, const storage_item& item);
  void account(group_state& state);
  void batch_done(group_state& state, uint32_t group_batches);

  message_sink& messages_;
  CommonTarget& inner_;
  TargetContents& contents_;
  copy_outcome& outcome_;
  bool hold_groups_;
  mutable std::mutex groups_lock_;
  std::map<group_key, std::shared_ptr<group_state>> groups_;
  uint64_t index_bytes_ = 0;  // under groups_lock_
  uint64_t peak_index_bytes_ = 0;
};

}  // namespace repcopy
