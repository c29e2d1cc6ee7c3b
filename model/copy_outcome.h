#pragma once
// What did not make it into the target: counted from the reader (damaged source files), the
// driver (events too large for any batch) and the writer threads (batches that failed). A run
// with any of these ends with exit code 3 instead of 0. The batches written are counted too.

#include <atomic>
#include <cstdint>
#include <string>

namespace repcopy {

inline constexpr int kExitPartial = 3;

class copy_outcome {
 public:
  void add_failed_batch(uint64_t events) {
    failed_batches_.fetch_add(1, std::memory_order_relaxed);
    failed_events_.fetch_add(events, std::memory_order_relaxed);
  }
  void add_failed_batches(uint64_t batches, uint64_t events) {
    failed_batches_.fetch_add(batches, std::memory_order_relaxed);
    failed_events_.fetch_add(events, std::memory_order_relaxed);
  }
  void add_written_batch(uint64_t events) {
    written_batches_.fetch_add(1, std::memory_order_relaxed);
    written_events_.fetch_add(events, std::memory_order_relaxed);
  }
  void add_dropped_event() { dropped_events_.fetch_add(1, std::memory_order_relaxed); }
  void add_damaged_file() { damaged_files_.fetch_add(1, std::memory_order_relaxed); }

  uint64_t failed_batches() const { return failed_batches_.load(); }
  uint64_t failed_events() const { return failed_events_.load(); }
  uint64_t written_batches() const { return written_batches_.load(); }
  uint64_t written_events() const { return written_events_.load(); }
  uint64_t dropped_events() const { return dropped_events_.load(); }
  uint64_t damaged_files() const { return damaged_files_.load(); }
  bool complete() const {
    return failed_batches() == 0 && dropped_events() == 0 && damaged_files() == 0;
  }
  // The closing line printed on standard error when the copy is not complete.
  std::string summary_line() const {
    return "Copy incomplete: " + std::to_string(failed_batches()) + " batch(es) with " +
           std::to_string(failed_events()) + " event(s) not written, " +
           std::to_string(dropped_events()) + " oversized event(s) dropped, " +
           std::to_string(damaged_files()) + " damaged source file(s)";
  }

 private:
  std::atomic<uint64_t> failed_batches_{0};
  std::atomic<uint64_t> failed_events_{0};
  std::atomic<uint64_t> dropped_events_{0};
  std::atomic<uint64_t> written_batches_{0};
  std::atomic<uint64_t> written_events_{0};
  std::atomic<uint64_t> damaged_files_{0};
};

}  // namespace repcopy
