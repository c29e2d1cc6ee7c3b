#pragma once
// What did not make it into the target: counted from the reader (damaged, unreadable and
// skipped source files and directories), the driver (events too large for any batch) and the
// writer threads (batches that failed, and the source files whose names the target could not
// take). A run with any of these ends with exit code 3 instead of 0. The batches written are
// counted too.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>
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
  // Events left out because the target already held them (the duplicate check).
  void add_already_in_target(uint64_t events) {
    already_in_target_.fetch_add(events, std::memory_order_relaxed);
  }
  // A target file the duplicate check could not read: taken as holding no events.
  void add_damaged_target_file() { damaged_target_files_.fetch_add(1, std::memory_order_relaxed); }
  void add_dropped_event() { dropped_events_.fetch_add(1, std::memory_order_relaxed); }
  void add_damaged_file() { damaged_files_.fetch_add(1, std::memory_order_relaxed); }
  // A source file or directory that could not be read (no access, a read error).
  void add_unreadable() { unreadable_.fetch_add(1, std::memory_order_relaxed); }
  // An unreadable directory: counted with the unreadable files, and on its own for the summary.
  void add_unreadable_directory() {
    add_unreadable();
    unreadable_directories_.fetch_add(1, std::memory_order_relaxed);
  }
  // A source path left out on purpose (too long for the path limit).
  void add_skipped() { skipped_.fetch_add(1, std::memory_order_relaxed); }
  // A source file some of whose events were in a batch that failed because a name it carries
  // cannot be a target directory name. Each file is counted once.
  void add_name_failed_file(const std::string& path) {
    std::lock_guard<std::mutex> lock(name_failed_mutex_);
    name_failed_files_.insert(path);
  }

  uint64_t failed_batches() const { return failed_batches_.load(); }
  uint64_t failed_events() const { return failed_events_.load(); }
  uint64_t written_batches() const { return written_batches_.load(); }
  uint64_t written_events() const { return written_events_.load(); }
  uint64_t dropped_events() const { return dropped_events_.load(); }
  uint64_t damaged_files() const { return damaged_files_.load(); }
  uint64_t already_in_target() const { return already_in_target_.load(); }
  uint64_t damaged_target_files() const { return damaged_target_files_.load(); }
  uint64_t unreadable() const { return unreadable_.load(); }
  uint64_t unreadable_directories() const { return unreadable_directories_.load(); }
  uint64_t skipped() const { return skipped_.load(); }
  uint64_t name_failed_files() const {
    std::lock_guard<std::mutex> lock(name_failed_mutex_);
    return name_failed_files_.size();
  }
  bool complete() const {
    return failed_batches() == 0 && dropped_events() == 0 && damaged_files() == 0 &&
           unreadable() == 0 && skipped() == 0 && name_failed_files() == 0 &&
           damaged_target_files() == 0;
  }
  // The closing line printed on standard error when the copy is not complete. rerun_hint adds
  // that running the same command again copies what is missing (after a stop or failed
  // batches: the duplicate check leaves out what did reach the target).
  std::string summary_line(bool rerun_hint = false) const {
    return "Copy incomplete: " + std::to_string(failed_batches()) + " batch(es) with " +
           std::to_string(failed_events()) + " event(s) not written, " +
           std::to_string(dropped_events()) + " oversized event(s) dropped, " +
           std::to_string(damaged_files()) + " damaged source file(s), " +
           std::to_string(unreadable()) + " unreadable source file(s) or directories, " +
           std::to_string(skipped()) + " source path(s) skipped, " +
           std::to_string(name_failed_files()) +
           " source file(s) with names the target cannot take" +
           (damaged_target_files() != 0
                ? ", " + std::to_string(damaged_target_files()) + " damaged target file(s)"
                : std::string()) +
           (rerun_hint ? "; run the same command again to copy the rest" : "");
  }
  // What reached the target; printed at the end of every run that wrote or failed to write.
  std::string written_line() const {
    return "Written: " + std::to_string(written_batches()) + " file(s) with " +
           std::to_string(written_events()) + " event(s)";
  }
  // Printed after the written line while the duplicate check is on.
  std::string already_line() const {
    return "Already in the target, not copied: " + std::to_string(already_in_target()) +
           " event(s)";
  }

 private:
  std::atomic<uint64_t> failed_batches_{0};
  std::atomic<uint64_t> failed_events_{0};
  std::atomic<uint64_t> dropped_events_{0};
  std::atomic<uint64_t> written_batches_{0};
  std::atomic<uint64_t> written_events_{0};
  std::atomic<uint64_t> damaged_files_{0};
  std::atomic<uint64_t> already_in_target_{0};
  std::atomic<uint64_t> damaged_target_files_{0};
  std::atomic<uint64_t> unreadable_{0};
  std::atomic<uint64_t> unreadable_directories_{0};
  std::atomic<uint64_t> skipped_{0};
  mutable std::mutex name_failed_mutex_;
  std::set<std::string> name_failed_files_;
};

}  // namespace repcopy
