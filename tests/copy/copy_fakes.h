#pragma once
// Test doubles for the copy engine: events built from a few names, a source over a list of
// events, a thread-safe target that records what it was given, and a gate that holds writers.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "container/full_event.h"
#include "copy/common.h"
#include "copy/storage_item.h"

namespace repcopy::testing_fakes {

// The record key numbers events, so tests can tell every event apart.
inline full_event make_event(uint32_t key, std::u16string host, std::u16string data_source,
                             std::u16string domain = u"CORP", size_t data_bytes = 8,
                             std::u16string computer = {}) {
  full_event e;
  e.origin_flag = 1;
  e.record_key = key;
  e.host_computer = std::move(host);
  e.computer = computer.empty() ? e.host_computer : std::move(computer);
  e.under_data_source = std::move(data_source);
  e.domain = std::move(domain);
  e.platform_id = 500;
  e.computer_type = 1;
  e.event_id = 4624;
  e.event_time = 1700000000 + key;
  e.data.assign(data_bytes, static_cast<uint8_t>(key));
  return e;
}

class vector_source : public CommonSource {
 public:
  explicit vector_source(std::vector<full_event> events) : events_(std::move(events)) {}
  int32_t next_event(full_event& out) override {
    if (next_ == events_.size()) return 1;
    if (throw_at_ && next_ == *throw_at_) throw std::runtime_error("source failed");
    out = events_[next_++];
    return 0;
  }
  void throw_at(size_t index) { throw_at_ = index; }

 private:
  std::vector<full_event> events_;
  size_t next_ = 0;
  std::optional<size_t> throw_at_;
};

// Produces count events on demand, without holding them all.
class generated_source : public CommonSource {
 public:
  generated_source(uint32_t count, std::function<full_event(uint32_t)> make)
      : count_(count), make_(std::move(make)) {}
  int32_t next_event(full_event& out) override {
    if (next_ == count_) return 1;
    out = make_(next_++);
    return 0;
  }

 private:
  uint32_t count_;
  uint32_t next_ = 0;
  std::function<full_event(uint32_t)> make_;
};

// A door the writers wait at until the test opens it; counts who arrived.
class gate {
 public:
  void pass() {
    std::unique_lock<std::mutex> guard(lock_);
    arrived_ += 1;
    changed_.notify_all();
    changed_.wait(guard, [&] { return open_; });
  }
  void open() {
    std::lock_guard<std::mutex> guard(lock_);
    open_ = true;
    changed_.notify_all();
  }
  void wait_for_arrivals(int count) {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [&] { return arrived_ >= count; });
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  bool open_ = false;
  int arrived_ = 0;
};

struct written_batch {
  std::u16string domain_name;
  std::u16string computer_name;
  std::u16string ds_name;
  uint32_t platform_id = 0;
  uint32_t os_major = 0;
  uint32_t os_minor = 0;
  uint32_t computer_type = 0;
  uint32_t batch_count = 0;
  uint64_t data_bytes = 0;
  std::vector<uint32_t> keys;
};

// Records every batch; can be told to fail, to throw, to be slow, or to run a hook first.
class recording_target : public CommonTarget {
 public:
  int32_t flush_items(storage_item item) override {
    if (hook_) hook_(item);
    if (delay_.count() > 0) std::this_thread::sleep_for(delay_);
    written_batch b;
    b.domain_name = item.domain_name;
    b.computer_name = item.computer_name;
    b.ds_name = item.ds_name;
    b.platform_id = item.platform_id;
    b.os_major = item.os_major;
    b.os_minor = item.os_minor;
    b.computer_type = item.computer_type;
    b.batch_count = item.batch_count;
    for (const full_event& e : item.events) {
      b.keys.push_back(e.record_key);
      b.data_bytes += e.data.size();
    }
    const bool fail = fail_ds_ == b.ds_name;
    if (throw_ds_ == b.ds_name) throw std::runtime_error("disk on fire");
    std::lock_guard<std::mutex> guard(lock_);
    batches_.push_back(std::move(b));
    return fail ? -14 : 0;
  }

  void fail_data_source(std::u16string name) { fail_ds_ = std::move(name); }
  void throw_on_data_source(std::u16string name) { throw_ds_ = std::move(name); }
  void set_delay(std::chrono::microseconds delay) { delay_ = delay; }
  void set_hook(std::function<void(const storage_item&)> hook) { hook_ = std::move(hook); }

  std::vector<written_batch> batches() const {
    std::lock_guard<std::mutex> guard(lock_);
    return batches_;
  }
  // How often each record key was written.
  std::map<uint32_t, int> key_counts() const {
    std::map<uint32_t, int> counts;
    for (const written_batch& b : batches())
      for (uint32_t k : b.keys) counts[k] += 1;
    return counts;
  }

 private:
  mutable std::mutex lock_;
  std::vector<written_batch> batches_;
  std::u16string fail_ds_ = u"\uFFFF-none";
  std::u16string throw_ds_ = u"\uFFFF-none";
  std::chrono::microseconds delay_{0};
  std::function<void(const storage_item&)> hook_;
};

}  // namespace repcopy::testing_fakes
