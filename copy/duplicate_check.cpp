#include "copy/duplicate_check.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "filters/time_window.h"
#include "model/filter_config.h"
#include "platform/platform.h"
#include "util/text.h"

namespace repcopy {

duplicate_check_target::duplicate_check_target(message_sink& messages, CommonTarget& inner,
                                               TargetContents& contents, copy_outcome& outcome,
                                               bool hold_groups)
    : messages_(messages),
      inner_(inner),
      contents_(contents),
      outcome_(outcome),
      hold_groups_(hold_groups) {}

std::shared_ptr<duplicate_check_target::group_state> duplicate_check_target::group(
    const storage_item& item) {
  std::lock_guard<std::mutex> guard(groups_lock_);
  std::shared_ptr<group_state>& state = groups_[{item.computer_name, item.ds_name}];
  if (!state) state = std::make_shared<group_state>();
  return state;
}

// The writer threads of this run share one hold per group; the first takes it, the last lets it
// go, so other runs can come in between batches (and then see what this run wrote).
void duplicate_check_target::enter(group_state& state, const storage_item& item) {
  if (!hold_groups_) return;
  std::lock_guard<std::mutex> guard(state.hold_lock);
  if (state.holders++ == 0) state.hold = contents_.hold_group(item);
}

void duplicate_check_target::leave(group_state& state) {
  if (!hold_groups_) return;
  std::lock_guard<std::mutex> guard(state.hold_lock);
  if (--state.holders == 0) state.hold.reset();
}

namespace {

// The batch's earliest and latest event times as a time window.
filter_config time_span(const event_batch& events) {
  uint32_t first = events.front().event_time;
  uint32_t last = first;
  for (const stored_event& e : events) {
    first = std::min(first, e.event_time);
    last = std::max(last, e.event_time);
  }
  filter_config window;
  window.time_from = first;
  window.time_to = last;
  return window;
}

}  // namespace

void duplicate_check_target::read_overlapping(group_state& state, const storage_item& item) {
  std::vector<target_file> files;
  contents_.list_files(item, files);
  // Taken only when some file of the group is still unread: a walk over the whole batch.
  std::optional<filter_config> window;
  event_hasher hasher;
  std::vector<event_hash> hashes;
  for (const target_file& file : files) {
    if (state.own.count(file.path) != 0 || state.seen.count(file.path) != 0) continue;
    if (!window) window = time_span(item.events);
    if (!file_overlaps_window(*window, file.name)) continue;
    state.seen.insert(file.path);
    hashes.clear();
    const bool whole =
        contents_.read_events(file, [&](const full_event& e) { hashes.push_back(hasher(e)); });
    if (!whole) {
      // Its events are not trusted: the check goes on as if the file held none.
      outcome_.add_damaged_target_file();
      messages_.err(message_kind::error)
          << "Damaged target file, taken as holding no events: "
          << platform::display_name(file.path);
      continue;
    }
    for (const event_hash& h : hashes) state.index.add(h);
  }
}

void duplicate_check_target::account(group_state& state) {
  const uint64_t now = state.index.bytes();
  std::lock_guard<std::mutex> guard(groups_lock_);
  index_bytes_ = index_bytes_ - state.index_bytes + now;
  state.index_bytes = now;
  peak_index_bytes_ = std::max(peak_index_bytes_, index_bytes_);
}

// A group's index is given back once every batch of the group has been through the check: the
// last batch names how many there are, and earlier ones may still be in other writers' hands.
void duplicate_check_target::batch_done(group_state& state, uint32_t group_batches) {
  {
    std::lock_guard<std::mutex> guard(state.lock);
    ++state.batches_done;
    if (group_batches != 0) state.batches_total = group_batches;
    if (state.batches_total == 0 || state.batches_done < state.batches_total) return;
    state.index.clear();
    std::set<std::string>().swap(state.seen);
  }
  account(state);
}

int32_t duplicate_check_target::write_batch(storage_item item, uint64_t& events) {
  events = item.events.size();
  const std::shared_ptr<group_state> state = group(item);
  const uint32_t group_batches = item.group_batches;
  if (item.events.empty()) {
    const int32_t result = inner_.flush_items(std::move(item));
    batch_done(*state, group_batches);
    return result;
  }
  enter(*state, item);
  struct leaving {
    duplicate_check_target& check;
    group_state& state;
    ~leaving() { check.leave(state); }
  } hold_ends{*this, *state};
  event_batch kept;
  {
    std::lock_guard<std::mutex> guard(state->lock);
    read_overlapping(*state, item);
    if (state->index.empty()) {
      kept.swap(item.events);  // nothing of the group in the target: no event needs hashing
    } else {
      event_hasher hasher;
      std::vector<std::pair<event_hash, uint32_t>> hashes;
      hashes.reserve(item.events.size());
      for (const stored_event& e : item.events) hashes.emplace_back(hasher(e), uint32_t(hashes.size()));
      std::sort(hashes.begin(), hashes.end());
      std::vector<uint8_t> present(item.events.size());
      for (const uint32_t position : state->index.take_all(hashes)) present[position] = 1;
      for (size_t i = 0; i < item.events.size(); ++i) {
        if (!present[i]) kept.push_back(std::move(item.events[i]));
      }
    }
  }
  account(*state);
  const uint64_t skipped = events - kept.size();
  outcome_.add_already_in_target(skipped);
  item.events.swap(kept);
  item.batch_count = uint32_t(item.events.size());
  events = item.events.size();
  int32_t result = 0;
  if (!item.events.empty()) result = inner_.flush_items(std::move(item));
  batch_done(*state, group_batches);
  return result;
}

void duplicate_check_target::file_named(const storage_item& item, const std::string& path) {
  const std::shared_ptr<group_state> state = group(item);
  std::lock_guard<std::mutex> guard(state->lock);
  state->own.insert(path);
}

uint64_t duplicate_check_target::index_bytes() const {
  std::lock_guard<std::mutex> guard(groups_lock_);
  return index_bytes_;
}

uint64_t duplicate_check_target::peak_index_bytes() const {
  std::lock_guard<std::mutex> guard(groups_lock_);
  return peak_index_bytes_;
}

}  // namespace repcopy
