#pragma once
// Test doubles for the copy engine: numbered events, a source producing them on demand, and a
// thread-safe target recording what it was given.

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/full_event.h"
#include "model/source_and_target.h"
#include "model/storage_item.h"

namespace repcopy::testing_fakes {

// The record key numbers events, so tests can tell every event apart.
inline full_event make_event(uint32_t key, std::u16string host, std::u16string data_source,
                             std::u16string domain = u"CORP", size_t data_bytes = 8,
                             std::u16string computer = {}) {
  full_event e;
  e.record_key = key;
  e.host_computer = std::move(host);
  e.computer = computer.empty() ? e.host_computer : std::move(computer);
  e.under_data_source = std::move(data_source);
  e.domain = std::move(domain);
  e.platform_id = 500;
  e.computer_type = 1;
  e.data.assign(data_bytes, static_cast<uint8_t>(key));
  return e;
}

// Yields make(0) .. make(count - 1); throws instead of yielding event throw_at.
class fn_source : public CommonSource {
 public:
  fn_source(uint32_t count, std::function<full_event(uint32_t)> make, int64_t throw_at = -1)
      : count_(count), make_(std::move(make)), throw_at_(throw_at) {}
  int32_t next_stored(stored_event& out) override {
    if (next_ == count_) return 1;
    if (next_ == throw_at_) throw std::runtime_error("source failed");
    out = stored_event(make_(uint32_t(next_++)));
    return 0;
  }

 private:
  int64_t count_, next_ = 0;
  std::function<full_event(uint32_t)> make_;
  int64_t throw_at_;
};

struct written_batch {
  storage_item item;  // without its events
  std::vector<uint32_t> keys;
  uint64_t data_bytes = 0;
};

// Records every batch after running the hook. Data source "Bad" fails, "Throws" throws.
class recording_target : public CommonTarget {
 public:
  std::function<void(const storage_item&)> hook;
  std::atomic<bool> is_full{false};  // what full() answers
  bool full() const override { return is_full.load(); }

  int32_t flush_items(storage_item item) override {
    if (hook) hook(item);
    written_batch b;
    for (const stored_event& e : item.events) {
      b.keys.push_back(e.record_key);
      b.data_bytes += e.data.size();
    }
    item.events.clear();
    b.item = std::move(item);
    if (b.item.ds_name == u"Throws") throw std::runtime_error("disk on fire");
    std::lock_guard<std::mutex> guard(lock_);
    batches_.push_back(std::move(b));
    return batches_.back().item.ds_name == u"Bad" ? -14 : 0;
  }
  // Read once the copy has finished (the writers are joined); batches hold move-only events.
  const std::deque<written_batch>& batches() const { return batches_; }
  // How often each record key was written.
  std::map<uint32_t, int> key_counts() const {
    std::map<uint32_t, int> counts;
    for (const written_batch& b : batches())
      for (uint32_t k : b.keys) counts[k] += 1;
    return counts;
  }

 private:
  mutable std::mutex lock_;
  std::deque<written_batch> batches_;
};

}  // namespace repcopy::testing_fakes
