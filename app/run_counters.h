#pragma once
// What a run has read, counted for the progress line and the JSON summary. The reading counts
// are written by the main thread only; the progress thread reads them while the copy runs.

#include <atomic>
#include <cstdint>

namespace repcopy {

struct run_counters {
  // From the survey of the source before the copy: the files the copy will read (their names
  // overlap the time window) and their bytes, and the files the window leaves out.
  std::atomic<uint64_t> files_total{0};
  std::atomic<uint64_t> bytes_total{0};
  std::atomic<uint64_t> files_skipped{0};
  bool surveyed = false;
  // While copying.
  std::atomic<uint64_t> files_read{0};
  std::atomic<uint64_t> bytes_read{0};
  std::atomic<uint64_t> events_read{0};
  std::atomic<uint64_t> unpacked_bytes_read{0};  // event content read, unpacked (progress rate)
};

}  // namespace repcopy
