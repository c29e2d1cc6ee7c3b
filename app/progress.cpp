#include "app/progress.h"

#include <chrono>
#include <cstdio>

#include "platform/process.h"

namespace repcopy {

namespace {

// "512", "51.2k", "5.1M".
std::string short_count(uint64_t n) {
  char buf[32];
  if (n < 10000) {
    std::snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(n));
  } else if (n < 10000000) {
    std::snprintf(buf, sizeof buf, "%.1fk", double(n) / 1e3);
  } else {
    std::snprintf(buf, sizeof buf, "%.1fM", double(n) / 1e6);
  }
  return buf;
}

// "m:ss", or "h:mm:ss" from an hour on.
std::string clock_text(uint64_t seconds) {
  char buf[32];
  if (seconds >= 3600) {
    std::snprintf(buf, sizeof buf, "%llu:%02llu:%02llu",
                  static_cast<unsigned long long>(seconds / 3600),
                  static_cast<unsigned long long>(seconds / 60 % 60),
                  static_cast<unsigned long long>(seconds % 60));
  } else {
    std::snprintf(buf, sizeof buf, "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
  }
  return buf;
}

// Erases the terminal line the cursor stands on.
constexpr const char* kClearLine = "\r\033[K";

}  // namespace

std::string progress_text(const progress_figures& f) {
  const double seconds = double(f.elapsed_ns) / 1e9;
  const unsigned percent =
      f.bytes_total == 0 ? 0
                         : unsigned(std::min<uint64_t>(100, f.bytes_read * 100 / f.bytes_total));
  const double rate = seconds > 0 ? double(f.bytes_read) / 1e6 / seconds : 0;
  std::string left = "-:--";
  if (f.bytes_read > 0 && f.bytes_total >= f.bytes_read) {
    left =
        clock_text(uint64_t(seconds * double(f.bytes_total - f.bytes_read) / double(f.bytes_read)));
  }
  char buf[160];
  std::snprintf(buf, sizeof buf,
                "%u%% %llu/%llu files, events %s read %s written, %.1f MB/s, %s (%s left)", percent,
                static_cast<unsigned long long>(f.files_read),
                static_cast<unsigned long long>(f.files_total), short_count(f.events_read).c_str(),
                short_count(f.events_written).c_str(), rate, clock_text(uint64_t(seconds)).c_str(),
                left.c_str());
  return buf;
}

progress_line::progress_line(const run_counters& counters, std::function<uint64_t()> written)
    : counters_(counters),
      written_(std::move(written)),
      start_ns_(platform::monotonic_nanoseconds()),
      thread_([this] { run(); }) {}

progress_figures progress_line::figures() const {
  progress_figures f;
  f.files_read = counters_.files_read.load();
  f.files_total = counters_.files_total.load();
  f.bytes_read = counters_.bytes_read.load();
  f.bytes_total = counters_.bytes_total.load();
  f.events_read = counters_.events_read.load();
  f.events_written = written_ ? written_() : 0;
  f.elapsed_ns = platform::monotonic_nanoseconds() - start_ns_;
  return f;
}

void progress_line::run() {
  std::unique_lock<std::mutex> hold(lock_);
  while (!stopping_) {
    platform::write_standard_error(kClearLine + progress_text(figures()));
    shown_ = true;
    wake_.wait_for(hold, std::chrono::nanoseconds(kIntervalNs), [this] { return stopping_; });
  }
  if (shown_) platform::write_standard_error(kClearLine);
}

void progress_line::stop() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

}  // namespace repcopy
