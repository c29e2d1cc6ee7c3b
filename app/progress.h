#pragma once
// The progress line: while the copy runs, one self-updating line on standard error (a terminal)
// with the share of source bytes read, files, events read and written, the reading speed, and
// the elapsed and remaining time. At most four updates a second; cleared when stopped.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "app/run_counters.h"

namespace repcopy {

// The figures of one update.
struct progress_figures {
  uint64_t files_read = 0, files_total = 0;
  uint64_t bytes_read = 0, bytes_total = 0;
  uint64_t events_read = 0, events_written = 0;
  uint64_t elapsed_ns = 0;
};

// One line of text without line end, e.g.
// "42% 1234/8011 files, events 512.0k read 448.0k written, 12.3 MB/s, 0:05 (0:07 left)".
std::string progress_text(const progress_figures& f);

class progress_line {
 public:
  static constexpr uint64_t kIntervalNs = 250000000;  // four updates a second at most

  // written: events written so far (read from another thread). Starts its thread at once.
  progress_line(const run_counters& counters, std::function<uint64_t()> written);
  // Stops the thread and clears the line.
  ~progress_line() { stop(); }
  progress_line(const progress_line&) = delete;
  progress_line& operator=(const progress_line&) = delete;

  // Stops the updates and clears the line (before the summary is printed). Idempotent.
  void stop();

 private:
  void run();
  progress_figures figures() const;

  const run_counters& counters_;
  std::function<uint64_t()> written_;
  uint64_t start_ns_;
  std::mutex lock_;
  std::condition_variable wake_;
  bool stopping_ = false;
  bool shown_ = false;
  std::thread thread_;
};

}  // namespace repcopy
