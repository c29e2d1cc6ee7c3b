#pragma once
// The console while a copy runs: console_output stands between every line the program prints and
// the terminal (it drops notices with -q, and takes the progress line away before a line is
// written), and progress_line draws one self-updating line on standard error (a
// terminal) with the share of the work written, files, events read and written, the unpacked
// MB/s and events/s, and the elapsed and remaining time. At most four updates a second; the line
// fits the terminal's width and is cleared when stopped.

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>

#include "app/run_counters.h"
#include "util/message_sink.h"

namespace repcopy {

// The figures of one update.
struct progress_figures {
  uint64_t files_read = 0, files_total = 0;
  uint64_t bytes_read = 0, bytes_total = 0;  // source file bytes, for the share read
  uint64_t events_read = 0, events_written = 0;
  uint64_t unpacked_bytes_read = 0;  // event content as read, unpacked
  uint64_t elapsed_ns = 0;
};

// Terminal columns when the terminal does not say.
inline constexpr unsigned kDefaultColumns = 80;

// One line of text without line end, at most columns - 1 characters (the last column is left
// free, so that no terminal wraps the line):
// "21% 1234/8011 files, events 512.0k read 448.0k written, 12.8 MB/s, 89.6k ev/s, 0:05 (0:17 left)"
// or, where that does not fit, "21% events 512.0k read 448.0k written, 12.8 MB/s, 89.6k ev/s,
// 0:17 left", else "21% 448.0k written, 12.8 MB/s, 89.6k ev/s, 0:17 left" (cut to fit).
// The share done and the time left follow the events written: the events the whole source holds
// are estimated from the events read per source byte read.
std::string progress_text(const progress_figures& f, unsigned columns = kDefaultColumns);

// The program's console: the message sink the entry point makes and hands down, so every line of
// the run passes here. Thread-safe (one lock held across each write); the progress line is drawn
// through it too: a write takes the progress line away, writes its lines to their stream and
// draws the progress line again, so no line ever lands on a progress fragment.
//
// -q: notices are dropped from the console (not from the log); summaries, warnings and errors
// stay. --log FILE: every line, dropped or not, is appended to the log with its UTC time and
// its declared kind.
class console_output : public message_sink {
 public:
  // The streams default to the process's standard output and error; the progress line goes to
  // err.
  explicit console_output(bool drop_notices = false);
  console_output(std::ostream& out, std::ostream& err, bool drop_notices = false);
  ~console_output() override;
  void write(message_kind kind, message_stream stream, std::string_view lines) override;
  // Replaces the progress line drawn before with text.
  void draw_progress(const std::string& text);
  void clear_progress();
  // -q: notices are dropped from the console (not from the log).
  void set_drop_notices(bool drop);
  // Appends to the log file at path (UTF-8); false with the system's reason in error.
  bool open_log(const std::string& path, std::string& error);
  // A line written past the streams (straight to the descriptor), for the log only.
  void log_line(message_kind kind, std::string_view line);

 private:
  void clear_locked();
  void log_locked(std::string_view kind, std::string_view line);

  std::mutex lock_;
  std::ostream& out_;
  std::ostream& err_;
  bool drop_notices_;
  bool shown_ = false;
  std::string progress_;  // the progress line drawn last
  std::FILE* log_ = nullptr;
};

// The process's own console (standard output and error, no log, nothing dropped): for the lines
// of a part of the program that runs without a run's console, as tests call it.
console_output& plain_console();

class progress_line {
 public:
  static constexpr uint64_t kIntervalNs = 250000000;  // four updates a second at most

  // written: events written so far (read from another thread). Starts its thread at once.
  progress_line(const run_counters& counters, std::function<uint64_t()> written,
                console_output& console);
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
  console_output& console_;
  uint64_t start_ns_;
  std::mutex lock_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace repcopy
